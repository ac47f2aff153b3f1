// A FileSystem that forwards every call to another one, counts the calls and
// makes a chosen one fail, including each call that minizip makes through the
// archive file layer. One clean run counts the failure points of a patch; a
// run per point then shows how each failure is handled.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/file_system.h"

namespace engine::test {

class FaultyFileSystem final : public FileSystem {
 public:
  explicit FaultyFileSystem(FileSystem& base) : base_(base) {}

  // The 1-based call that fails; 0 lets every call through.
  int fail_at = 0;
  // Or the first call whose line (below) equals this one.
  std::string fail_call;
  // One line per call, "<Operation> <path>", in order; the archive layer's
  // calls are "Zip<Operation> <path>".
  std::vector<std::string> calls;

  bool MakeDirectory(const std::string& path) override;
  std::unique_ptr<WritableFile> OpenForWriting(const std::string& path) override;
  std::optional<std::string> ReadWholeFile(const std::string& path) override;
  bool FlushToDisk(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool RenameReplacing(const std::string& from, const std::string& to) override;
  zlib_filefunc64_def ZipFileFunctions() override;

  // Records a call; true when this one is to fail. Public for the file and
  // archive wrappers.
  bool Fails(const std::string& call);
  const zlib_filefunc64_def& base_zip_functions() const { return base_zip_functions_; }
  // The name each open archive stream was opened with, for the call lines.
  std::map<voidpf, std::string> open_archives;
  // Archive streams on which a read or write failed.
  std::set<voidpf> streams_in_error;

 private:
  FileSystem& base_;
  // The table of the base file system, which the archive wrappers call.
  zlib_filefunc64_def base_zip_functions_{};
};

}  // namespace engine::test
