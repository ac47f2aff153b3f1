#include "engine/stored_entry.h"

#include <cstddef>
#include <vector>

#include "engine/layer_stream.h"

namespace engine {
namespace {

constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kDigitalSignature = 0x05054b50;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
// A 32-bit field with this value has its real value in the Zip64 extra.
constexpr std::uint32_t kInZip64Extra = 0xFFFFFFFF;

std::uint64_t Little(const std::uint8_t* at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}

// Replaces each of `fields` that holds the marker by the next 8 bytes of the
// Zip64 extra field, in the order the format gives them. False when a marked
// field finds no value.
bool ApplyZip64Extra(const std::vector<std::uint8_t>& extra, std::uint64_t* const (&fields)[3]) {
  for (std::size_t at = 0; at + 4 <= extra.size();) {
    const std::uint64_t id = Little(&extra[at], 2);
    const std::size_t size = Little(&extra[at + 2], 2);
    if (at + 4 + size > extra.size()) break;
    if (id == kZip64ExtraId) {
      std::size_t used = 0;
      for (std::uint64_t* field : fields) {
        if (*field != kInZip64Extra) continue;
        if (used + 8 > size) return false;
        *field = Little(&extra[at + 4 + used], 8);
        used += 8;
      }
      return true;
    }
    at += 4 + size;
  }
  for (std::uint64_t* field : fields) {
    if (*field == kInZip64Extra) return false;
  }
  return true;
}

}  // namespace

std::optional<StoredEntry> LocateStoredEntry(LayerStream& archive, std::uint64_t central_offset) {
  std::uint8_t central[kCentralSize];
  if (!archive.Seek(central_offset, ZLIB_FILEFUNC_SEEK_SET) ||
      !archive.Read(central, sizeof central) || Little(central, 4) != kCentralSignature) {
    return std::nullopt;
  }
  StoredEntry entry;
  entry.compressed_size = Little(central + 20, 4);
  entry.uncompressed_size = Little(central + 24, 4);
  std::uint64_t local_offset = Little(central + 42, 4);
  const std::size_t name_length = Little(central + 28, 2);
  std::vector<std::uint8_t> extra(Little(central + 30, 2));
  if (!archive.Seek(central_offset + kCentralSize + name_length, ZLIB_FILEFUNC_SEEK_SET) ||
      (!extra.empty() && !archive.Read(extra.data(), extra.size())) ||
      !ApplyZip64Extra(extra, {&entry.uncompressed_size, &entry.compressed_size, &local_offset})) {
    return std::nullopt;
  }

  std::uint8_t local[kLocalSize];
  if (!archive.Seek(local_offset, ZLIB_FILEFUNC_SEEK_SET) || !archive.Read(local, sizeof local) ||
      Little(local, 4) != kLocalSignature) {
    return std::nullopt;
  }
  entry.data_offset = local_offset + kLocalSize + Little(local + 26, 2) + Little(local + 28, 2);
  return entry;
}

bool IsCentralDirectoryEnd(LayerStream& archive, std::uint64_t offset) {
  std::uint8_t signature[4];
  if (!archive.Seek(offset, ZLIB_FILEFUNC_SEEK_SET) || !archive.Read(signature, sizeof signature)) {
    return false;
  }
  const std::uint64_t found = Little(signature, 4);
  return found == kEndSignature || found == kZip64EndSignature || found == kDigitalSignature;
}

}  // namespace engine
