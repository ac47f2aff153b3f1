#include "tools/patchpack/formats/patch_stream_reader.h"

#include <string>
#include <utility>

#include "payload/patch_stream.h"

namespace patchpack {
namespace {

// The cursor's handler cannot know where it stopped; the reader adds that.
struct Overrun {};
[[noreturn]] void ThrowOverrun() { throw Overrun{}; }

payload::FileEntry ReadFile(payload::PatchStream& stream, std::string name) {
  std::uint32_t size = stream.ReadU32();
  std::span<const std::uint8_t> content = stream.TakeBytes(size);
  return {std::move(name), payload::Bytes(content.begin(), content.end())};
}

payload::PatchDescription ReadSections(payload::PatchStream& stream) {
  payload::PatchDescription description;
  description.version = stream.ReadU32();
  for (std::string name = stream.ReadName(); !name.empty(); name = stream.ReadName()) {
    description.loose_files.push_back(ReadFile(stream, std::move(name)));
  }
  for (std::string path = stream.ReadName(); !path.empty(); path = stream.ReadName()) {
    payload::ArchiveRecord archive;
    archive.path = std::move(path);
    for (std::string name = stream.ReadName(); !name.empty(); name = stream.ReadName()) {
      archive.new_entries.push_back(ReadFile(stream, std::move(name)));
    }
    for (std::string name = stream.ReadName(); !name.empty(); name = stream.ReadName()) {
      archive.drop_names.push_back(std::move(name));
    }
    description.archives.push_back(std::move(archive));
  }
  for (std::string path = stream.ReadName(); !path.empty(); path = stream.ReadName()) {
    description.deletions.push_back(std::move(path));
  }
  return description;
}

}  // namespace

payload::PatchDescription ReadPatchDescription(std::unique_ptr<std::uint8_t[]> block,
                                               std::uint32_t size) {
  payload::PatchStream stream(std::move(block), size, &ThrowOverrun);
  payload::PatchDescription description;
  try {
    description = ReadSections(stream);
  } catch (const Overrun&) {
    throw MalformedStream("a record starting before offset " + std::to_string(stream.offset()) +
                          " runs past the end of the " + std::to_string(size) + "-byte stream");
  }
  if (!stream.IsFullyConsumed()) {
    throw MalformedStream(std::to_string(size - stream.offset()) +
                          " bytes follow the end of the deletion list");
  }
  return description;
}

}  // namespace patchpack
