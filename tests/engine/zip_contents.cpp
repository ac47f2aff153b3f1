#include "zip_contents.h"

#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <filesystem>
#include <stdexcept>

namespace engine::test {

void WriteZip(const std::string& path, const ZipEntries& entries) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent);
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) throw std::runtime_error("cannot create " + path);
  for (const auto& [name, content] : entries) {
    if (zipOpenNewFileInZip64(zip, name.c_str(), nullptr, nullptr, 0, nullptr, 0, nullptr,
                              Z_DEFLATED, 6, 0) != ZIP_OK ||
        zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size())) != ZIP_OK ||
        zipCloseFileInZip(zip) != ZIP_OK) {
      zipClose(zip, nullptr);
      throw std::runtime_error("cannot write " + name + " into " + path);
    }
  }
  if (zipClose(zip, nullptr) != ZIP_OK) throw std::runtime_error("cannot close " + path);
}

std::optional<ZipEntries> ReadZip(const std::string& path) {
  unzFile zip = unzOpen64(path.c_str());
  if (zip == nullptr) return std::nullopt;
  ZipEntries entries;
  bool sound = true;
  int status = unzGoToFirstFile(zip);
  for (; status == UNZ_OK && sound; status = unzGoToNextFile(zip)) {
    char name[512];
    unz_file_info64 info{};
    sound =
        unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) == UNZ_OK &&
        unzOpenCurrentFile(zip) == UNZ_OK;
    if (!sound) break;
    std::string content(info.uncompressed_size, '\0');
    const int got = unzReadCurrentFile(zip, content.data(), static_cast<unsigned>(content.size()));
    // Closing checks the CRC once everything has been read.
    sound = got == static_cast<int>(content.size()) && unzCloseCurrentFile(zip) == UNZ_OK;
    entries.emplace_back(name, std::move(content));
  }
  unzClose(zip);
  if (!sound || status != UNZ_END_OF_LIST_OF_FILE) return std::nullopt;
  return entries;
}

}  // namespace engine::test
