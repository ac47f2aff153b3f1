#include "tools/patchpack/formats/pe_resources.h"

#include <algorithm>
#include <map>
#include <optional>
#include <span>
#include <tuple>

#include "base/little_endian.h"

namespace patchpack::pe {
namespace {

constexpr std::uint32_t kHighBit = 0x80000000;
constexpr std::size_t kDirectorySize = 16, kEntrySize = 8, kDataEntrySize = 16;
constexpr std::size_t kMostResources = 65536;

char16_t Upper(char16_t unit) { return unit >= u'a' && unit <= u'z' ? unit - 32 : unit; }

// Reads within the resource section, refusing to leave it.
class TreeReader {
 public:
  explicit TreeReader(std::span<const std::uint8_t> tree) : tree_(tree) {}

  std::uint32_t Get(std::uint64_t at, std::size_t size) const {
    const std::optional<std::uint64_t> value = base::LoadLittleEndianAt(tree_, at, size);
    if (!value) throw PeError("the resource directory runs past its section");
    return static_cast<std::uint32_t>(*value);
  }

  ResourceId Id(std::uint32_t field) const {
    if ((field & kHighBit) == 0) return ResourceId::Numbered(static_cast<std::uint16_t>(field));
    const std::uint32_t at = field & ~kHighBit;
    const std::uint32_t length = Get(at, 2);
    std::u16string name;
    for (std::uint32_t i = 0; i < length; ++i) {
      name.push_back(static_cast<char16_t>(Get(at + 2 + 2 * std::uint64_t{i}, 2)));
    }
    return ResourceId::Named(std::move(name));
  }

 private:
  std::span<const std::uint8_t> tree_;
};

void Put(payload::Bytes& out, std::size_t at, std::uint32_t value, std::size_t size = 4) {
  base::StoreLittleEndian(std::span(out).subspan(at, size), value);
}

std::size_t Align8(std::size_t value) { return (value + 7) & ~std::size_t{7}; }

}  // namespace

bool ComesBefore(const ResourceId& a, const ResourceId& b) {
  const bool a_named = !a.name.empty(), b_named = !b.name.empty();
  if (a_named != b_named) return a_named;
  if (!a_named) return a.number < b.number;
  const auto upper_less = [](char16_t x, char16_t y) { return Upper(x) < Upper(y); };
  if (std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                   upper_less)) {
    return true;
  }
  if (std::lexicographical_compare(b.name.begin(), b.name.end(), a.name.begin(), a.name.end(),
                                   upper_less)) {
    return false;
  }
  return a.name < b.name;
}

std::string Describe(const ResourceId& id) {
  if (id.name.empty()) return std::to_string(id.number);
  std::string text = "\"";
  for (char16_t unit : id.name) text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  return text + "\"";
}

std::vector<Resource> ReadResources(const PeImage& image) {
  std::vector<Resource> resources;
  const DataDirectory directory = image.Directory(kResourceDirectory);
  if (directory.size == 0) return resources;
  const Section* section = nullptr;
  for (const Section& candidate : image.sections()) {
    if (candidate.virtual_address == directory.rva) section = &candidate;
  }
  if (section == nullptr) throw PeError("the resource directory does not start a section");
  const auto tree_bytes = image.At(section->virtual_address, section->raw_size);
  if (!tree_bytes) throw PeError("the resource section lies outside the file");
  const TreeReader tree(*tree_bytes);

  // Three levels exactly: a deeper tree, or a loop, is refused.
  auto walk = [&](auto& self, std::uint32_t at, int level, Resource& path) -> void {
    const std::uint32_t count = tree.Get(at + 12, 2) + tree.Get(at + 14, 2);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint64_t entry = at + kDirectorySize + kEntrySize * std::uint64_t{i};
      const std::uint32_t name = tree.Get(entry, 4);
      const std::uint32_t target = tree.Get(entry + 4, 4);
      if (level == 0) path.type = tree.Id(name);
      if (level == 1) path.name = tree.Id(name);
      if (level == 2) path.language = static_cast<std::uint16_t>(name);
      const bool is_directory = (target & kHighBit) != 0;
      if (is_directory != (level < 2)) throw PeError("the resource tree is not three levels deep");
      if (is_directory) {
        self(self, target & ~kHighBit, level + 1, path);
        continue;
      }
      const std::uint32_t data_rva = tree.Get(target, 4);
      const std::uint32_t size = tree.Get(target + 4, 4);
      const auto data = image.At(data_rva, size);
      if (!data) throw PeError("resource " + Describe(path.type) + " lies outside the image");
      // Entries that share a directory could make a small hostile tree list
      // the same data without end.
      if (resources.size() == kMostResources) throw PeError("the resource tree is too large");
      Resource found = path;
      found.code_page = tree.Get(target + 8, 4);
      found.data.assign(data->begin(), data->end());
      resources.push_back(std::move(found));
    }
  };
  Resource path;
  walk(walk, 0, 0, path);
  return resources;
}

const Resource* FindResource(const std::vector<Resource>& resources, const ResourceId& type,
                             const ResourceId& name) {
  for (const Resource& resource : resources) {
    if (resource.type == type && resource.name == name) return &resource;
  }
  return nullptr;
}

void SetResource(std::vector<Resource>& resources, const ResourceId& type, const ResourceId& name,
                 std::uint16_t language, payload::Bytes data) {
  if (const Resource* old = FindResource(resources, type, name)) language = old->language;
  std::erase_if(resources, [&](const Resource& resource) {
    return resource.type == type && resource.name == name;
  });
  resources.push_back({.type = type, .name = name, .language = language, .data = std::move(data)});
}

payload::Bytes BuildResourceSection(std::vector<Resource> resources, std::uint32_t rva) {
  auto key_less = [](const Resource& a, const Resource& b) {
    if (!(a.type == b.type)) return ComesBefore(a.type, b.type);
    if (!(a.name == b.name)) return ComesBefore(a.name, b.name);
    return a.language < b.language;
  };
  std::sort(resources.begin(), resources.end(), key_less);

  // The tree as ranges of the sorted list: per type, per name, the languages.
  struct NameNode {
    std::size_t first = 0, count = 0, offset = 0;
  };
  struct TypeNode {
    std::vector<NameNode> names;
    std::size_t offset = 0;
  };
  std::vector<TypeNode> types;
  for (std::size_t i = 0; i < resources.size(); ++i) {
    if (i == 0 || !(resources[i].type == resources[i - 1].type)) types.emplace_back();
    auto& names = types.back().names;
    if (names.empty() || !(resources[i].name == resources[i - 1].name)) names.push_back({i, 0, 0});
    ++names.back().count;
  }

  std::size_t end = kDirectorySize + kEntrySize * types.size();
  for (TypeNode& type : types) {
    type.offset = end;
    end += kDirectorySize + kEntrySize * type.names.size();
  }
  for (TypeNode& type : types) {
    for (NameNode& name : type.names) {
      name.offset = end;
      end += kDirectorySize + kEntrySize * name.count;
    }
  }
  const std::size_t data_entries = end;
  end += kDataEntrySize * resources.size();
  std::map<std::u16string, std::size_t> strings;
  for (const Resource& resource : resources) {
    for (const ResourceId* id : {&resource.type, &resource.name}) {
      if (!id->name.empty() && strings.emplace(id->name, end).second) {
        end += 2 + 2 * id->name.size();
      }
    }
  }
  std::vector<std::size_t> data_offsets;
  for (const Resource& resource : resources) {
    end = Align8(end);
    data_offsets.push_back(end);
    end += resource.data.size();
  }
  if (std::uint64_t{rva} + end > UINT32_MAX) throw PeError("the resources exceed 4 GiB");

  payload::Bytes out(Align8(end), 0);
  auto id_field = [&](const ResourceId& id) -> std::uint32_t {
    return id.name.empty() ? id.number : kHighBit | static_cast<std::uint32_t>(strings[id.name]);
  };
  // A directory header: no characteristics, time stamp or version, so the
  // section depends on the resources alone.
  auto directory = [&](std::size_t at, std::size_t named, std::size_t numbered) {
    Put(out, at + 12, static_cast<std::uint32_t>(named), 2);
    Put(out, at + 14, static_cast<std::uint32_t>(numbered), 2);
  };
  auto count_named = [](auto first, auto last, auto id_of) {
    return static_cast<std::size_t>(
        std::count_if(first, last, [&](const auto& node) { return !id_of(node).name.empty(); }));
  };

  auto type_id = [&](const TypeNode& type) -> const ResourceId& {
    return resources[type.names.front().first].type;
  };
  const std::size_t named_types = count_named(types.begin(), types.end(), type_id);
  directory(0, named_types, types.size() - named_types);
  for (std::size_t t = 0; t < types.size(); ++t) {
    const TypeNode& type = types[t];
    Put(out, kDirectorySize + kEntrySize * t, id_field(type_id(type)));
    Put(out, kDirectorySize + kEntrySize * t + 4,
        kHighBit | static_cast<std::uint32_t>(type.offset));
    auto name_id = [&](const NameNode& name) -> const ResourceId& {
      return resources[name.first].name;
    };
    const std::size_t named = count_named(type.names.begin(), type.names.end(), name_id);
    directory(type.offset, named, type.names.size() - named);
    for (std::size_t n = 0; n < type.names.size(); ++n) {
      const NameNode& name = type.names[n];
      const std::size_t entry = type.offset + kDirectorySize + kEntrySize * n;
      Put(out, entry, id_field(name_id(name)));
      Put(out, entry + 4, kHighBit | static_cast<std::uint32_t>(name.offset));
      directory(name.offset, 0, name.count);
      for (std::size_t l = 0; l < name.count; ++l) {
        const std::size_t index = name.first + l;
        const std::size_t language_entry = name.offset + kDirectorySize + kEntrySize * l;
        Put(out, language_entry, resources[index].language);
        Put(out, language_entry + 4,
            static_cast<std::uint32_t>(data_entries + kDataEntrySize * index));
      }
    }
  }
  for (std::size_t index = 0; index < resources.size(); ++index) {
    const std::size_t at = data_entries + kDataEntrySize * index;
    Put(out, at, rva + static_cast<std::uint32_t>(data_offsets[index]));
    Put(out, at + 4, static_cast<std::uint32_t>(resources[index].data.size()));
    Put(out, at + 8, resources[index].code_page);
    std::copy(resources[index].data.begin(), resources[index].data.end(),
              out.begin() + static_cast<std::ptrdiff_t>(data_offsets[index]));
  }
  for (const auto& [name, at] : strings) {
    Put(out, at, static_cast<std::uint32_t>(name.size()), 2);
    for (std::size_t i = 0; i < name.size(); ++i) Put(out, at + 2 + 2 * i, name[i], 2);
  }
  return out;
}

}  // namespace patchpack::pe
