#include "fuzz/fuzz_game.h"

#include <minizip/zip.h>

#include <cstdlib>

namespace fuzz {

std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& entries) {
  engine::test::MemoryFileSystem file_system;
  zlib_filefunc64_def functions = file_system.ZipFileFunctions();
  zipFile zip = zipOpen2_64("a.zip", APPEND_STATUS_CREATE, nullptr, &functions);
  if (zip == nullptr) std::abort();
  for (const auto& [name, content] : entries) {
    if (zipOpenNewFileInZip64(zip, name.c_str(), nullptr, nullptr, 0, nullptr, 0, nullptr,
                              Z_DEFLATED, 6, 0) != ZIP_OK ||
        zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size())) != ZIP_OK ||
        zipCloseFileInZip(zip) != ZIP_OK) {
      std::abort();
    }
  }
  if (zipClose(zip, nullptr) != ZIP_OK) std::abort();
  return file_system.files.at("a.zip");
}

}  // namespace fuzz
