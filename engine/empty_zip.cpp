#include "engine/empty_zip.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "engine/layer_stream.h"

namespace engine {
namespace {

constexpr std::size_t kEndRecordSize = 22;
constexpr std::array<std::uint8_t, 4> kEndRecordSignature = {'P', 'K', 5, 6};

}  // namespace

bool IsZipWithoutEntries(const zlib_filefunc64_def& file_functions, const std::string& path) {
  LayerStream file(file_functions, path, ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING);
  std::array<std::uint8_t, kEndRecordSize> record{};
  if (!file.is_open() || !file.Read(record.data(), record.size())) return false;
  // After the signature: disk numbers, entry counts, directory size and
  // offset, all zero; only the comment length may be anything.
  return std::equal(kEndRecordSignature.begin(), kEndRecordSignature.end(), record.begin()) &&
         std::all_of(record.begin() + 4, record.begin() + 20,
                     [](std::uint8_t b) { return b == 0; });
}

}  // namespace engine
