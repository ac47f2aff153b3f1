#include "bundle/stub_image.h"

#include <cstring>
#include <optional>

#include "base/little_endian.h"

namespace bundle {
namespace {

// Little-endian reads that refuse to leave the image; a truncated or hostile
// file must not send the parser outside its bytes.
class ImageReader {
 public:
  explicit ImageReader(std::span<const std::uint8_t> image) : image_(image) {}

  std::optional<std::uint64_t> Read(std::uint64_t offset, std::size_t size) const {
    return base::LoadLittleEndianAt(image_, offset, size);
  }

  std::optional<std::span<const std::uint8_t>> Bytes(std::uint64_t offset,
                                                     std::uint64_t size) const {
    return base::BytesWithin(image_, offset, size);
  }

 private:
  std::span<const std::uint8_t> image_;
};

struct Section {
  std::uint64_t name = 0;  // offset into the section-name table
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

constexpr std::uint8_t kElfMagic[] = {0x7f, 'E', 'L', 'F'};
constexpr std::uint8_t kClass64 = 2;
constexpr std::uint8_t kLittleEndian = 1;
constexpr std::size_t kSectionHeaderSize = 64;

}  // namespace

bool IsKnownStub(std::span<const std::uint8_t> image) {
  if (image.size() < 64 || std::memcmp(image.data(), kElfMagic, sizeof kElfMagic) != 0 ||
      image[4] != kClass64 || image[5] != kLittleEndian) {
    return false;
  }
  ImageReader reader(image);
  const std::uint64_t table = *reader.Read(0x28, 8);
  const std::uint64_t entry_size = *reader.Read(0x3A, 2);
  const std::uint64_t count = *reader.Read(0x3C, 2);
  const std::uint64_t names_index = *reader.Read(0x3E, 2);
  if (entry_size != kSectionHeaderSize || names_index >= count) return false;

  auto section_at = [&](std::uint64_t index) -> std::optional<Section> {
    const std::uint64_t at = table + index * kSectionHeaderSize;
    auto name = reader.Read(at, 4);
    auto offset = reader.Read(at + 0x18, 8);
    auto size = reader.Read(at + 0x20, 8);
    if (!name || !offset || !size) return std::nullopt;
    return Section{*name, *offset, *size};
  };
  std::optional<Section> names = section_at(names_index);
  if (!names) return false;
  auto name_table = reader.Bytes(names->offset, names->size);
  if (!name_table) return false;

  for (std::uint64_t index = 0; index < count; ++index) {
    std::optional<Section> section = section_at(index);
    if (!section) return false;
    // The name must fit in the table with its terminating NUL.
    const std::size_t wanted = kStubSectionName.size();
    if (section->name > name_table->size() || name_table->size() - section->name <= wanted) {
      continue;
    }
    const auto* name = name_table->data() + section->name;
    if (std::memcmp(name, kStubSectionName.data(), wanted) != 0 || name[wanted] != 0) continue;
    auto content = reader.Bytes(section->offset, section->size);
    return content && content->size() >= sizeof kStubMarker &&
           std::memcmp(content->data(), kStubMarker, sizeof kStubMarker) == 0;
  }
  return false;
}

}  // namespace bundle
