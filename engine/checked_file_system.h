// A FileSystem that forwards to another one and makes the archive layer's
// failures impossible to miss. minizip does not check every result of its
// file layer: a failed tell or seek while it writes an archive goes unseen,
// and the archive it then closes "successfully" is unreadable. Through this
// wrapper, a stream on which any seek, tell or write failed reports an error
// when minizip asks, and fails its close, which minizip does check.
#pragma once

#include <set>

#include "engine/file_system.h"

namespace engine {

class CheckedFileSystem final : public FileSystem {
 public:
  explicit CheckedFileSystem(FileSystem& base) : base_(base) {}

  bool MakeDirectory(const std::string& path) override { return base_.MakeDirectory(path); }
  std::unique_ptr<WritableFile> OpenForWriting(const std::string& path) override {
    return base_.OpenForWriting(path);
  }
  std::optional<std::string> ReadWholeFile(const std::string& path) override {
    return base_.ReadWholeFile(path);
  }
  bool FlushToDisk(const std::string& path) override { return base_.FlushToDisk(path); }
  bool RemoveFile(const std::string& path) override { return base_.RemoveFile(path); }
  bool RenameReplacing(const std::string& from, const std::string& to) override {
    return base_.RenameReplacing(from, to);
  }
  zlib_filefunc64_def ZipFileFunctions() override;

  // For the archive layer's callbacks, which reach this object through the
  // table's opaque pointer.
  const zlib_filefunc64_def& base_zip_functions() const { return base_zip_functions_; }
  std::set<voidpf>& failed_streams() { return failed_streams_; }

 private:
  FileSystem& base_;
  zlib_filefunc64_def base_zip_functions_{};
  std::set<voidpf> failed_streams_;
};

}  // namespace engine
