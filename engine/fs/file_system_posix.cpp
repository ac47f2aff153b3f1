// The file system on POSIX. Patches are made for Windows, whose paths use
// backslashes and whose names match regardless of letter case, so each path
// is found the way Windows would find it: backslashes separate, and every
// component that already exists is matched without regard to ASCII case. A
// component that does not exist yet keeps the patch's spelling. Every path
// is found beneath the game folder without following any link, and every
// call works on the folder descriptor that finding it gave
// (path_beneath_posix.h).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <utility>

#include "base/unique_fd.h"
#include "engine/fs/early_write_out_posix.h"
#include "engine/fs/file_system.h"
#include "engine/fs/path_beneath_posix.h"
#include "engine/fs/thread_beside.h"
#include "engine/fs/zip_layer_posix.h"

namespace engine {
namespace {

// Written through its descriptor, so that each large write can be handed
// to the device at once (see early_write_out_posix.h).
class PosixWritableFile final : public WritableFile {
 public:
  explicit PosixWritableFile(int fd) : fd_(fd) {}

  bool Write(std::span<const std::uint8_t> data) override {
    if (!WriteAllAt(fd_.get(), offset_, data.data(), data.size())) return false;
    offset_ += static_cast<off_t>(data.size());
    return true;
  }

  bool Close() override { return ::close(fd_.release()) == 0; }

 private:
  base::UniqueFd fd_;
  off_t offset_ = 0;
};

// The status of the entry at a stream path itself, a link included, as
// lstat gives it; false when there is none or it cannot be reached.
bool StatusBeneath(const std::string& stream_path, struct stat& status) {
  const std::optional<PathBeneath> path = FindBeneath(stream_path);
  return path && fstatat(path->dir(), path->name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

// An flock on the lock file's descriptor, released when the descriptor
// closes (or the process ends, however it ends). The file is removed first,
// while the lock is still held: a run that opened it before then and locks
// it after finds, by the check in TakeLock, that it no longer has the name.
class PosixFolderLock final : public FolderLock {
 public:
  PosixFolderLock(PathBeneath path, base::UniqueFd fd)
      : path_(std::move(path)), fd_(std::move(fd)) {}
  ~PosixFolderLock() override { unlinkat(path_.dir(), path_.name.c_str(), 0); }
  PosixFolderLock(const PosixFolderLock&) = delete;
  PosixFolderLock& operator=(const PosixFolderLock&) = delete;

 private:
  PathBeneath path_;
  base::UniqueFd fd_;
};

// Opens the lock file of a folder and locks it; null when another run holds
// it or it cannot be had, with errno set (ESTALE: the file lost its name).
// O_CREAT without O_EXCL opens the file that is there, and with O_NOFOLLOW
// refuses a link at the name, dangling or not.
// The lock counts only if the file still bears the name once locked: the run
// that held it removes it before it lets go.
std::unique_ptr<FolderLock> TakeLock(const std::string& lock_path) {
  std::optional<PathBeneath> path = FindBeneath(lock_path);
  if (!path) return nullptr;
  base::UniqueFd fd(openat(path->dir(), path->name.c_str(),
                           O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
  struct stat opened;
  if (!fd.valid() || fstat(fd.get(), &opened) != 0) return nullptr;
  if (!S_ISREG(opened.st_mode)) {
    errno = EINVAL;
    return nullptr;
  }
  if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return nullptr;
  struct stat named;
  if (fstatat(path->dir(), path->name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
      named.st_dev != opened.st_dev || named.st_ino != opened.st_ino) {
    errno = ESTALE;
    return nullptr;
  }
  return std::make_unique<PosixFolderLock>(std::move(*path), std::move(fd));
}

class PosixFileSystem final : public FileSystem {
 public:
  bool MakeDirectory(const std::string& path) override {
    const std::optional<PathBeneath> found = FindBeneath(path);
    return found && mkdirat(found->dir(), found->name.c_str(), 0777) == 0;
  }

  std::unique_ptr<WritableFile> OpenForWriting(const std::string& path) override {
    const int fd = CreateOwnFileBeneath(path);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixWritableFile>(fd);
  }

  std::optional<std::string> ReadWholeFile(const std::string& path) override {
    base::UniqueFd file(OpenBeneath(path, O_RDONLY));
    if (!file.valid()) return std::nullopt;
    std::string contents;
    char chunk[4096];
    for (;;) {
      const ssize_t count = ::read(file.get(), chunk, sizeof chunk);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) return std::nullopt;
      if (count == 0) return contents;
      contents.append(chunk, static_cast<std::size_t>(count));
    }
  }

  bool Exists(const std::string& path) override {
    struct stat status;
    return StatusBeneath(path, status);
  }

  // The size of a regular file only: a link's own size is not a file's.
  std::optional<std::uint64_t> FileSize(const std::string& path) override {
    struct stat status;
    if (!StatusBeneath(path, status) || !S_ISREG(status.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(status.st_size);
  }

  // f_frsize is the unit in which blocks are handed out and counted;
  // f_bsize, the size for efficient writes, stands in where it is not set.
  std::optional<VolumeSpace> FreeSpace() override {
    struct statvfs volume;
    if (statvfs(".", &volume) != 0) return std::nullopt;
    const std::uint64_t unit = volume.f_frsize != 0 ? volume.f_frsize : volume.f_bsize;
    return VolumeSpace{std::uint64_t{volume.f_bavail} * unit, std::max<std::uint64_t>(unit, 1)};
  }

  // rename(2) replaces files whatever their mode bits; only a directory
  // stands in its way. A folder on the way that does not exist yet makes
  // the target one the patch adds; a link or a file where a folder should
  // be blocks it.
  TargetState ProbeTarget(const std::string& path) override {
    const std::optional<PathBeneath> found = FindBeneath(path);
    if (!found) return errno == ENOENT ? TargetState::kMissing : TargetState::kBlocked;
    struct stat status;
    if (fstatat(found->dir(), found->name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
      return errno == ENOENT ? TargetState::kMissing : TargetState::kBlocked;
    }
    return S_ISDIR(status.st_mode) ? TargetState::kBlocked : TargetState::kReplaceable;
  }

  bool FlushToDisk(const std::string& path) override {
    base::UniqueFd file(OpenBeneath(path, O_RDONLY));
    return file.valid() && fsync(file.get()) == 0;
  }

  bool FlushFolderOf(const std::string& path) override {
    const std::optional<PathBeneath> found = FindBeneath(path);
    return found && FlushFolder(*found);
  }

  bool RemoveFile(const std::string& path) override {
    const std::optional<PathBeneath> found = FindBeneath(path);
    return found && unlinkat(found->dir(), found->name.c_str(), 0) == 0;
  }

  // linkat without AT_SYMLINK_FOLLOW links a link itself, never its target.
  // The new name has come either way, so a failure to flush it cannot be
  // undone and is not reported, here and in the rename below.
  bool LinkFile(const std::string& existing, const std::string& link) override {
    const std::optional<PathBeneath> from = FindBeneath(existing);
    const std::optional<PathBeneath> to = FindBeneath(link);
    if (!from || !to ||
        linkat(from->dir(), from->name.c_str(), to->dir(), to->name.c_str(), 0) != 0) {
      return false;
    }
    FlushFolder(*to);
    return true;
  }

  bool RenameReplacing(const std::string& from, const std::string& to) override {
    const std::optional<PathBeneath> source = FindBeneath(from);
    const std::optional<PathBeneath> target = FindBeneath(to);
    if (!source || !target ||
        renameat(source->dir(), source->name.c_str(), target->dir(), target->name.c_str()) != 0) {
      return false;
    }
    FlushFolder(*target);
    return true;
  }

  // Each call above finds its path afresh and keeps nothing; the archive
  // layer's state is its streams', which work beside the run never opens.
  std::unique_ptr<WorkBeside> StartBeside(std::function<void()> work) override {
    return StartOnThreadBeside(std::move(work));
  }

  zlib_filefunc64_def ZipFileFunctions() override { return zip_layer_.functions(); }

  // A run that finds the file gone from under its lock tries again: the
  // run before it has just finished.
  std::unique_ptr<FolderLock> LockGameFolder(const std::string& lock_path) override {
    constexpr int kAttempts = 3;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      if (std::unique_ptr<FolderLock> lock = TakeLock(lock_path)) return lock;
      if (errno != ESTALE) return nullptr;
    }
    return nullptr;
  }

 private:
  ZipLayerPosix zip_layer_;
};

}  // namespace

FileSystem& NativeFileSystem() {
  static PosixFileSystem file_system;
  return file_system;
}

}  // namespace engine
