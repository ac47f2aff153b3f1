// A FileSystem that forwards to another one and makes the archive layer's
// failures impossible to miss. minizip does not check every result of its
// file layer: a failed tell or seek while it writes an archive goes unseen,
// and the archive it then closes "successfully" is unreadable. Through this
// wrapper, a stream on which any seek, tell or write failed reports an error
// when minizip asks, and fails its close, which minizip does check.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <utility>

#include "engine/fs/forwarding_file_system.h"

namespace engine {

class CheckedFileSystem final : public ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;

  // What this wrapper keeps belongs to the archive layer's streams, which
  // work beside the run never touches.
  std::unique_ptr<WorkBeside> StartBeside(std::function<void()> work) override {
    return base().StartBeside(std::move(work));
  }

 protected:
  uLong ZipWrite(voidpf stream, const void* buffer, uLong size) override;
  ZPOS64_T ZipTell(voidpf stream) override;
  long ZipSeek(voidpf stream, ZPOS64_T offset, int origin) override;
  int ZipClose(voidpf stream) override;
  int ZipError(voidpf stream) override;

 private:
  std::set<voidpf> failed_streams_;
};

}  // namespace engine
