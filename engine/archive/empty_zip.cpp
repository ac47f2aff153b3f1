#include "engine/archive/empty_zip.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "base/little_endian.h"
#include "engine/archive/layer_stream.h"
#include "engine/archive/zip_records.h"

namespace engine {
bool IsZipWithoutEntries(const zlib_filefunc64_def& file_functions, const std::string& path) {
  LayerStream file(file_functions, path, ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING);
  std::array<std::uint8_t, zip_records::kEndSize> record{};
  if (!file.is_open() || !file.Read(record.data(), record.size())) return false;
  // After the signature: disk numbers, entry counts, directory size and
  // offset, all zero; only the comment length may be anything.
  return base::LoadLittleEndian({record.data(), 4}) == zip_records::kEndSignature &&
         std::all_of(record.begin() + 4, record.begin() + 20,
                     [](std::uint8_t b) { return b == 0; });
}

}  // namespace engine
