#include "tools/patchpack/formats/zip_reader.h"

#include <limits>

#include "tools/patchpack/report/command_error.h"

namespace patchpack {
namespace {

// Longer than any name the installer can take, so that such a name shows up
// whole instead of cut short.
constexpr std::size_t kNameBuffer = 65536;

constexpr uLong kEncryptedFlag = 0x0001;  // bit 0 of the general-purpose flag

}  // namespace

ZipReader::ZipReader(const std::filesystem::path& path, std::string shown)
    : file_(unzOpen64(path.string().c_str())), shown_(std::move(shown)) {
  if (!file_) throw CommandError(shown_ + ": not a readable zip archive");
  std::string name(kNameBuffer, '\0');
  int result = unzGoToFirstFile(file_.get());
  while (result == UNZ_OK) {
    unz_file_info64 info{};
    ZipEntry entry;
    if (unzGetCurrentFileInfo64(file_.get(), &info, name.data(), name.size(), nullptr, 0, nullptr,
                                0) != UNZ_OK ||
        unzGetFilePos64(file_.get(), &entry.position) != UNZ_OK) {
      throw CommandError(shown_ + ": its central directory is damaged");
    }
    entry.name.assign(name.data(), std::min<std::size_t>(info.size_filename, name.size() - 1));
    entry.crc = static_cast<std::uint32_t>(info.crc);
    entry.size = info.uncompressed_size;
    entry.method = static_cast<int>(info.compression_method);
    entry.encrypted = (info.flag & kEncryptedFlag) != 0;
    entries_.push_back(std::move(entry));
    result = unzGoToNextFile(file_.get());
  }
  if (result != UNZ_END_OF_LIST_OF_FILE) {
    throw CommandError(shown_ + ": its central directory is damaged");
  }
}

payload::Bytes ZipReader::Content(const ZipEntry& entry) {
  auto fail = [&](const std::string& what) {
    return CommandError(shown_ + ": entry '" + entry.name + "' " + what);
  };
  if (entry.size > std::numeric_limits<std::uint32_t>::max()) {
    throw fail("is 4 GiB or more, more than a patch can carry");
  }
  if (unzGoToFilePos64(file_.get(), &entry.position) != UNZ_OK ||
      unzOpenCurrentFile(file_.get()) != UNZ_OK) {
    throw fail("cannot be opened (encrypted, or compressed by an unknown method)");
  }
  payload::Bytes content(static_cast<std::size_t>(entry.size));
  std::size_t done = 0;
  int read = 1;
  while (done < content.size() && read > 0) {
    unsigned chunk = static_cast<unsigned>(
        std::min<std::size_t>(content.size() - done, std::numeric_limits<int>::max()));
    read = unzReadCurrentFile(file_.get(), content.data() + done, chunk);
    if (read > 0) done += static_cast<std::size_t>(read);
  }
  // Reading one byte more proves the entry holds no more than its stated
  // size; closing checks the CRC-32 once everything was read.
  std::uint8_t extra = 0;
  bool overlong = read >= 0 && unzReadCurrentFile(file_.get(), &extra, 1) != 0;
  bool close_failed = unzCloseCurrentFile(file_.get()) != UNZ_OK;
  if (read < 0 || done != content.size() || overlong || close_failed) {
    throw fail("is damaged: its data does not match its size or CRC-32");
  }
  return content;
}

}  // namespace patchpack
