#include "engine/archive/zip64_end_record.h"

#include <array>
#include <cstddef>
#include <vector>

#include "base/little_endian.h"
#include "engine/archive/layer_stream.h"
#include "engine/archive/zip_records.h"

namespace engine {
namespace {

using namespace zip_records;

// "Version 4.5": the first to know Zip64.
constexpr std::uint16_t kZip64Version = 45;

}  // namespace

bool CompleteZip64End(const zlib_filefunc64_def& file_functions, const std::string& path,
                      std::uint64_t entry_count) {
  LayerStream archive(
      file_functions, path,
      ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_WRITE | ZLIB_FILEFUNC_MODE_EXISTING);
  if (!archive.is_open() || !archive.Seek(0, ZLIB_FILEFUNC_SEEK_END)) return false;
  const std::uint64_t size = archive.Tell();
  if (size == static_cast<std::uint64_t>(-1) || size < kZip64LocatorSize + kEndSize) return false;

  // minizip writes no archive comment here, so the end record closes the
  // file, and a locator, if any, stands right before it.
  std::array<std::uint8_t, kZip64LocatorSize + kEndSize> tail{};
  if (!archive.Seek(size - tail.size(), ZLIB_FILEFUNC_SEEK_SET) ||
      !archive.Read(tail.data(), tail.size())) {
    return false;
  }
  const std::uint8_t* end = tail.data() + kZip64LocatorSize;
  if (base::LoadLittleEndian({end, 4}) != kEndSignature) return false;
  if (base::LoadLittleEndian({tail.data(), 4}) == kZip64LocatorSignature) return archive.Close();

  const std::uint64_t directory_size = base::LoadLittleEndian({end + 12, 4});
  const std::uint64_t directory_offset = base::LoadLittleEndian({end + 16, 4});
  const std::uint64_t zip64_end_offset = size - kEndSize;

  std::vector<std::uint8_t> records;
  base::AppendLittleEndian(records, kZip64EndSignature, 4);
  base::AppendLittleEndian(records, kZip64EndSize - 12, 8);  // the size of what follows this field
  base::AppendLittleEndian(records, kZip64Version, 2);       // made by
  base::AppendLittleEndian(records, kZip64Version, 2);       // needed to extract
  base::AppendLittleEndian(records, 0, 4);                   // this disk
  base::AppendLittleEndian(records, 0, 4);                   // disk of the central directory
  base::AppendLittleEndian(records, entry_count, 8);         // entries on this disk
  base::AppendLittleEndian(records, entry_count, 8);         // entries in all
  base::AppendLittleEndian(records, directory_size, 8);
  base::AppendLittleEndian(records, directory_offset, 8);
  base::AppendLittleEndian(records, kZip64LocatorSignature, 4);
  base::AppendLittleEndian(records, 0, 4);  // disk of the Zip64 end record
  base::AppendLittleEndian(records, zip64_end_offset, 8);
  base::AppendLittleEndian(records, 1, 4);  // disks in all
  // The end record as minizip wrote it: counts 0xFFFF send readers to the
  // Zip64 record.
  records.insert(records.end(), end, end + kEndSize);

  return archive.Seek(zip64_end_offset, ZLIB_FILEFUNC_SEEK_SET) &&
         archive.Write(records.data(), records.size()) && archive.Close();
}

}  // namespace engine
