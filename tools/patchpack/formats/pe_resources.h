// The resources of a PE image as a flat list, read from the image's resource
// directory tree and written back as a new tree. The tree has three levels,
// type, name and language; an id at the first two is a number or a name,
// stored as a counted UTF-16 string. Windows looks entries up by binary
// search, so each directory lists its named entries first, in the order of
// their upper-cased units, then its numbered ones ascending; the writer keeps
// that order whatever the order of the list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "payload/payload_writer.h"
#include "tools/patchpack/formats/pe_image.h"

namespace patchpack::pe {

struct ResourceId {
  std::u16string name;  // such as u"PATCHDATA"; empty for a numbered id
  std::uint16_t number = 0;

  static ResourceId Named(std::u16string name) { return {std::move(name), 0}; }
  static ResourceId Numbered(std::uint16_t number) { return {u"", number}; }
  bool operator==(const ResourceId&) const = default;
};

// The order of entries in a resource directory.
bool ComesBefore(const ResourceId& a, const ResourceId& b);

// "PATCHDATA", "101": for messages.
std::string Describe(const ResourceId& id);

struct Resource {
  ResourceId type;
  ResourceId name;
  std::uint16_t language = 0;
  std::uint32_t code_page = 0;
  payload::Bytes data;
};

// Every resource of the image, in the tree's order; none when the image has
// no resource directory. Throws PeError for a tree that leaves its section,
// is deeper or shallower than three levels, or whose data lies outside the
// image's sections.
std::vector<Resource> ReadResources(const PeImage& image);

// The first resource of that type and name, in whatever language.
const Resource* FindResource(const std::vector<Resource>& resources, const ResourceId& type,
                             const ResourceId& name);

// Puts `data` in place of every language of (type, name): it keeps the
// language of the resource it replaces, or takes `language` when new.
void SetResource(std::vector<Resource>& resources, const ResourceId& type, const ResourceId& name,
                 std::uint16_t language, payload::Bytes data);

// The contents of a resource section at `rva` that holds `resources`: the
// directories, then the data entries, then the names, then the data, each
// resource's bytes aligned to 8.
payload::Bytes BuildResourceSection(std::vector<Resource> resources, std::uint32_t rva);

}  // namespace patchpack::pe
