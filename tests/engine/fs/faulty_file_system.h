// A FileSystem that forwards every call to another one, counts the calls and
// makes a chosen one fail, including each call that minizip makes through the
// archive file layer. One clean run counts the failure points of a patch; a
// run per point then shows how each failure is handled.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/fs/forwarding_file_system.h"

namespace engine::test {

class FaultyFileSystem final : public ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;

  // The 1-based call that fails; 0 lets every call through.
  int fail_at = 0;
  // Or the first call whose line (below) equals this one.
  std::string fail_call;
  // One line per call, "<Operation> <path>", in order ("FreeSpace" alone;
  // the path of a rename or a link is its new name); the archive layer's
  // calls are "Zip<Operation> <path>".
  std::vector<std::string> calls;
  // Called with each call's line before the call goes ahead.
  std::function<void(const std::string& call)> before_call;

  bool MakeDirectory(const std::string& path) override;
  std::unique_ptr<WritableFile> OpenForWriting(const std::string& path) override;
  std::optional<std::string> ReadWholeFile(const std::string& path) override;
  bool Exists(const std::string& path) override;
  std::optional<std::uint64_t> FileSize(const std::string& path) override;
  std::optional<VolumeSpace> FreeSpace() override;
  TargetState ProbeTarget(const std::string& path) override;
  bool FlushToDisk(const std::string& path) override;
  bool FlushFolderOf(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool LinkFile(const std::string& existing, const std::string& link) override;
  bool RenameReplacing(const std::string& from, const std::string& to) override;

  // Records a call; true when this one is to fail. Public for the file
  // wrapper.
  bool Fails(const std::string& call);

 protected:
  // A failed read or write leaves the stream's error indicator set, as a C
  // stream's would be; a failed seek or tell, like fseek and ftell, only
  // reports through its result.
  voidpf ZipOpen(const char* name, int mode) override;
  uLong ZipRead(voidpf stream, void* buffer, uLong size) override;
  uLong ZipWrite(voidpf stream, const void* buffer, uLong size) override;
  ZPOS64_T ZipTell(voidpf stream) override;
  long ZipSeek(voidpf stream, ZPOS64_T offset, int origin) override;
  int ZipClose(voidpf stream) override;
  int ZipError(voidpf stream) override;

 private:
  // The name each open archive stream was opened with, for the call lines.
  std::map<voidpf, std::string> open_archives_;
  // Archive streams on which a read or write failed.
  std::set<voidpf> streams_in_error_;
};

}  // namespace engine::test
