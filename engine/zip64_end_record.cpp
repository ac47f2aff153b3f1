#include "engine/zip64_end_record.h"

#include <array>
#include <cstddef>
#include <vector>

#include "engine/layer_stream.h"

namespace engine {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kLocatorSize = 20;
// "Version 4.5": the first to know Zip64.
constexpr std::uint16_t kZip64Version = 45;

std::uint32_t ReadU32(const std::uint8_t* at) {
  return std::uint32_t{at[0]} | (std::uint32_t{at[1]} << 8) | (std::uint32_t{at[2]} << 16) |
         (std::uint32_t{at[3]} << 24);
}

void Put(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

bool CompleteZip64End(const zlib_filefunc64_def& file_functions, const std::string& path,
                      std::uint64_t entry_count) {
  LayerStream archive(
      file_functions, path,
      ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_WRITE | ZLIB_FILEFUNC_MODE_EXISTING);
  if (!archive.is_open() || !archive.Seek(0, ZLIB_FILEFUNC_SEEK_END)) return false;
  const std::uint64_t size = archive.Tell();
  if (size == static_cast<std::uint64_t>(-1) || size < kLocatorSize + kEndSize) return false;

  // minizip writes no archive comment here, so the end record closes the
  // file, and a locator, if any, stands right before it.
  std::array<std::uint8_t, kLocatorSize + kEndSize> tail{};
  if (!archive.Seek(size - tail.size(), ZLIB_FILEFUNC_SEEK_SET) ||
      !archive.Read(tail.data(), tail.size())) {
    return false;
  }
  const std::uint8_t* end = tail.data() + kLocatorSize;
  if (ReadU32(end) != kEndSignature) return false;
  if (ReadU32(tail.data()) == kZip64LocatorSignature) return archive.Close();

  const std::uint64_t directory_size = ReadU32(end + 12);
  const std::uint64_t directory_offset = ReadU32(end + 16);
  const std::uint64_t zip64_end_offset = size - kEndSize;

  std::vector<std::uint8_t> records;
  Put(records, kZip64EndSignature, 4);
  Put(records, kZip64EndSize - 12, 8);  // the size of what follows this field
  Put(records, kZip64Version, 2);       // made by
  Put(records, kZip64Version, 2);       // needed to extract
  Put(records, 0, 4);                   // this disk
  Put(records, 0, 4);                   // disk of the central directory
  Put(records, entry_count, 8);         // entries on this disk
  Put(records, entry_count, 8);         // entries in all
  Put(records, directory_size, 8);
  Put(records, directory_offset, 8);
  Put(records, kZip64LocatorSignature, 4);
  Put(records, 0, 4);  // disk of the Zip64 end record
  Put(records, zip64_end_offset, 8);
  Put(records, 1, 4);  // disks in all
  // The end record as minizip wrote it: counts 0xFFFF send readers to the
  // Zip64 record.
  records.insert(records.end(), end, end + kEndSize);

  return archive.Seek(zip64_end_offset, ZLIB_FILEFUNC_SEEK_SET) &&
         archive.Write(records.data(), records.size()) && archive.Close();
}

}  // namespace engine
