#include "engine/archive/stored_entry.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "base/little_endian.h"
#include "engine/archive/layer_stream.h"
#include "engine/archive/zip_records.h"

namespace engine {
namespace {

using namespace zip_records;

// The end record's comment length is 16 bits: the record lies within this
// many bytes of the end of the file.
constexpr std::size_t kEndSearchSize = 0xFFFF + kEndSize;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
// A 32-bit field with this value has its real value in the Zip64 extra.
constexpr std::uint32_t kInZip64Extra = 0xFFFFFFFF;

// Replaces each of `fields` that holds the marker by the next 8 bytes of the
// Zip64 extra field, in the order the format gives them. False when a marked
// field finds no value.
bool ApplyZip64Extra(const std::vector<std::uint8_t>& extra, std::uint64_t* const (&fields)[3]) {
  for (std::size_t at = 0; at + 4 <= extra.size();) {
    const std::uint64_t id = base::LoadLittleEndian({&extra[at], 2});
    const std::size_t size = base::LoadLittleEndian({&extra[at + 2], 2});
    if (at + 4 + size > extra.size()) break;
    if (id == kZip64ExtraId) {
      std::size_t used = 0;
      for (std::uint64_t* field : fields) {
        if (*field != kInZip64Extra) continue;
        if (used + 8 > size) return false;
        *field = base::LoadLittleEndian({&extra[at + 4 + used], 8});
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

std::optional<std::uint64_t> FindArchiveStart(LayerStream& archive) {
  if (!archive.Seek(0, ZLIB_FILEFUNC_SEEK_END)) return std::nullopt;
  const std::uint64_t size = archive.Tell();
  if (size == static_cast<std::uint64_t>(-1) || size < kEndSize) return std::nullopt;
  const std::uint64_t tail_start = size - std::min<std::uint64_t>(size, kEndSearchSize);
  std::vector<std::uint8_t> tail(size - tail_start);
  if (!archive.Seek(tail_start, ZLIB_FILEFUNC_SEEK_SET) ||
      !archive.Read(tail.data(), tail.size())) {
    return std::nullopt;
  }

  // The last end record in the file is the one minizip takes.
  for (std::size_t at = tail.size() - kEndSize + 1; at-- > 0;) {
    if (base::LoadLittleEndian({&tail[at], 4}) != kEndSignature) continue;
    const std::uint64_t end_position = tail_start + at;
    std::uint64_t record_position = end_position;
    std::uint64_t directory_size = base::LoadLittleEndian({&tail[at + 12], 4});
    std::uint64_t directory_offset = base::LoadLittleEndian({&tail[at + 16], 4});
    // With a Zip64 end record, minizip takes the directory from it, and the
    // distance from that record's position.
    std::uint8_t locator[kZip64LocatorSize];
    std::uint8_t zip64_end[kZip64EndSize];
    if (end_position >= kZip64LocatorSize &&
        archive.Seek(end_position - kZip64LocatorSize, ZLIB_FILEFUNC_SEEK_SET) &&
        archive.Read(locator, sizeof locator) &&
        base::LoadLittleEndian({locator, 4}) == kZip64LocatorSignature &&
        archive.Seek(base::LoadLittleEndian({locator + 8, 8}), ZLIB_FILEFUNC_SEEK_SET) &&
        archive.Read(zip64_end, sizeof zip64_end) &&
        base::LoadLittleEndian({zip64_end, 4}) == kZip64EndSignature) {
      record_position = base::LoadLittleEndian({locator + 8, 8});
      directory_size = base::LoadLittleEndian({zip64_end + 40, 8});
      directory_offset = base::LoadLittleEndian({zip64_end + 48, 8});
    }
    if (directory_offset > record_position || directory_size > record_position - directory_offset) {
      return std::nullopt;
    }
    return record_position - directory_offset - directory_size;
  }
  return std::nullopt;
}

std::optional<StoredEntry> LocateStoredEntry(LayerStream& directory, LayerStream& data,
                                             std::uint64_t archive_start,
                                             std::uint64_t central_offset) {
  central_offset += archive_start;
  std::uint8_t central[kCentralSize];
  if (!directory.Seek(central_offset, ZLIB_FILEFUNC_SEEK_SET) ||
      !directory.Read(central, sizeof central) ||
      base::LoadLittleEndian({central, 4}) != kCentralSignature) {
    return std::nullopt;
  }
  StoredEntry entry;
  entry.compressed_size = base::LoadLittleEndian({central + 20, 4});
  entry.uncompressed_size = base::LoadLittleEndian({central + 24, 4});
  std::uint64_t local_offset = base::LoadLittleEndian({central + 42, 4});
  const std::size_t name_length = base::LoadLittleEndian({central + 28, 2});
  std::vector<std::uint8_t> extra(base::LoadLittleEndian({central + 30, 2}));
  if (!directory.Seek(central_offset + kCentralSize + name_length, ZLIB_FILEFUNC_SEEK_SET) ||
      (!extra.empty() && !directory.Read(extra.data(), extra.size())) ||
      !ApplyZip64Extra(extra, {&entry.uncompressed_size, &entry.compressed_size, &local_offset})) {
    return std::nullopt;
  }

  local_offset += archive_start;
  std::uint8_t local[kLocalSize];
  if (!data.Seek(local_offset, ZLIB_FILEFUNC_SEEK_SET) || !data.Read(local, sizeof local) ||
      base::LoadLittleEndian({local, 4}) != kLocalSignature) {
    return std::nullopt;
  }
  entry.data_offset = local_offset + kLocalSize + base::LoadLittleEndian({local + 26, 2}) +
                      base::LoadLittleEndian({local + 28, 2});
  return entry;
}

bool IsCentralDirectoryEnd(LayerStream& archive, std::uint64_t offset) {
  std::uint8_t signature[4];
  if (!archive.Seek(offset, ZLIB_FILEFUNC_SEEK_SET) || !archive.Read(signature, sizeof signature)) {
    return false;
  }
  const std::uint64_t found = base::LoadLittleEndian({signature, 4});
  return found == kEndSignature || found == kZip64EndSignature || found == kDigitalSignature;
}

}  // namespace engine
