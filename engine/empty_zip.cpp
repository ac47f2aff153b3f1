#include "engine/empty_zip.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace engine {
namespace {

constexpr std::size_t kEndRecordSize = 22;
constexpr std::array<std::uint8_t, 4> kEndRecordSignature = {'P', 'K', 5, 6};

}  // namespace

bool IsZipWithoutEntries(const zlib_filefunc64_def& file_functions, const std::string& path) {
  voidpf stream = file_functions.zopen64_file(
      file_functions.opaque, path.c_str(), ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING);
  if (stream == nullptr) return false;
  std::array<std::uint8_t, kEndRecordSize> record{};
  const uLong read = file_functions.zread_file(file_functions.opaque, stream, record.data(),
                                               static_cast<uLong>(record.size()));
  file_functions.zclose_file(file_functions.opaque, stream);
  if (read != record.size()) return false;
  // After the signature: disk numbers, entry counts, directory size and
  // offset, all zero; only the comment length may be anything.
  return std::equal(kEndRecordSignature.begin(), kEndRecordSignature.end(), record.begin()) &&
         std::all_of(record.begin() + 4, record.begin() + 20,
                     [](std::uint8_t b) { return b == 0; });
}

}  // namespace engine
