#include "tools/patchpack/formats/zip_shape.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <vector>

#include "base/little_endian.h"
#include "engine/archive/zip_records.h"

namespace patchpack {
namespace {

namespace zr = engine::zip_records;

// The marker that the first part of a spanned or split archive starts with
// (the data-descriptor signature), and the one of an archive once meant to
// be split that ended up in one piece.
constexpr std::uint32_t kSpannedMarker = 0x08074b50;
constexpr std::uint32_t kUnsplitMarker = 0x30304b50;

constexpr std::size_t kMaxComment = 0xFFFF;

// A disk number of all ones defers to the Zip64 end record, which one file
// of an archive over 64 Ki entries or 4 GiB carries; it means no split.
constexpr std::uint64_t kDeferredTo64 = 0xFFFF;

std::uint64_t Field(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t size) {
  return base::LoadLittleEndian({bytes.data() + at, size});
}

}  // namespace

ZipShape ShapeOfFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  if (!in) return ZipShape::NotZip;
  const auto size = static_cast<std::uint64_t>(in.tellg());
  if (size < 4) return ZipShape::NotZip;

  std::vector<std::uint8_t> head(4);
  in.seekg(0);
  in.read(reinterpret_cast<char*>(head.data()), 4);
  // The end record is within its own size and the longest comment of the end.
  const std::size_t tail_size =
      static_cast<std::size_t>(std::min<std::uint64_t>(size, zr::kEndSize + kMaxComment));
  std::vector<std::uint8_t> tail(tail_size);
  in.seekg(static_cast<std::streamoff>(size - tail_size));
  in.read(reinterpret_cast<char*>(tail.data()), static_cast<std::streamsize>(tail_size));
  if (!in) return ZipShape::NotZip;

  const std::uint64_t signature = Field(head, 0, 4);
  if (signature == kSpannedMarker || signature == kUnsplitMarker) return ZipShape::Split;

  // The last end record signature, where minizip, and so the installer,
  // looks for it; a comment that runs past the end does not stop it.
  bool has_end = false;
  for (std::size_t at = tail_size >= zr::kEndSize ? tail_size - zr::kEndSize + 1 : 0; at-- > 0;) {
    if (Field(tail, at, 4) != zr::kEndSignature) continue;
    const std::uint64_t disk = Field(tail, at + 4, 2);
    const std::uint64_t directory_disk = Field(tail, at + 6, 2);
    if ((disk != 0 && disk != kDeferredTo64) ||
        (directory_disk != 0 && directory_disk != kDeferredTo64)) {
      return ZipShape::Split;
    }
    has_end = true;
    break;
  }
  if (signature == zr::kLocalSignature || signature == zr::kEndSignature) return ZipShape::Zip;
  return has_end ? ZipShape::Embedded : ZipShape::NotZip;
}

}  // namespace patchpack
