// The file system on POSIX. Patches are made for Windows, whose paths use
// backslashes and whose names match regardless of letter case, so each path
// is mapped the way Windows would find it: backslashes become slashes, and
// every component that already exists is matched without regard to ASCII
// case. A component that does not exist yet keeps the patch's spelling.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "base/case_insensitive_name.h"
#include "base/unique_fd.h"
#include "engine/fs/early_write_out_posix.h"
#include "engine/fs/file_system.h"
#include "engine/fs/zip_layer_posix.h"

namespace engine {
namespace {

bool Exists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

struct DirectoryCloser {
  void operator()(DIR* directory) const { closedir(directory); }
};

// The entry of `directory` that matches `name` ignoring case, chosen by the
// rule every lookup of a game path shares.
std::string FindIgnoringCase(const std::string& directory, const std::string& name) {
  std::unique_ptr<DIR, DirectoryCloser> listing(
      opendir(directory.empty() ? "." : directory.c_str()));
  if (!listing) return name;
  base::CaseInsensitiveChoice choice(name);
  while (const dirent* entry = readdir(listing.get())) choice.Offer(entry->d_name);
  return choice.chosen().value_or(name);
}

std::string Resolve(const std::string& stream_path) {
  std::string resolved;
  std::size_t start = 0;
  if (!stream_path.empty() && (stream_path[0] == '\\' || stream_path[0] == '/')) {
    resolved.push_back('/');
    start = 1;
  }
  while (start <= stream_path.size()) {
    std::size_t end = stream_path.find_first_of("\\/", start);
    if (end == std::string::npos) end = stream_path.size();
    std::string component = stream_path.substr(start, end - start);
    if (!component.empty() && component != "." && component != "..") {
      const std::string exact = resolved + component;
      if (!Exists(exact)) component = FindIgnoringCase(resolved, component);
    }
    resolved += component;
    if (end < stream_path.size()) resolved += '/';
    start = end + 1;
  }
  return resolved;
}

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

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string ParentDirectory(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A name created, renamed or removed only survives a power cut once its
// directory is on the disk too.
bool FlushDirectoryOf(const std::string& resolved) {
  base::UniqueFd directory(open(ParentDirectory(resolved).c_str(), O_RDONLY | O_CLOEXEC));
  return directory.get() >= 0 && fsync(directory.get()) == 0;
}

// Creates a file of our own at a resolved path and returns its descriptor,
// or -1. Whatever stands at the name goes first: a leftover of an earlier
// run, or a link that someone put there to have us write elsewhere. unlink
// removes the link itself, and refuses a directory, which the open then
// refuses too. O_EXCL with O_NOFOLLOW fails should anything appear at the
// name in between.
int CreateOwnFile(const std::string& resolved) {
  unlink(resolved.c_str());
  return open(resolved.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

class PosixFileSystem final : public FileSystem {
 public:
  bool MakeDirectory(const std::string& path) override {
    return mkdir(Resolve(path).c_str(), 0777) == 0;
  }

  std::unique_ptr<WritableFile> OpenForWriting(const std::string& path) override {
    const int fd = CreateOwnFile(Resolve(path));
    if (fd < 0) return nullptr;
    return std::make_unique<PosixWritableFile>(fd);
  }

  std::optional<std::string> ReadWholeFile(const std::string& path) override {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(Resolve(path).c_str(), "rb"));
    if (!file) return std::nullopt;
    std::string contents;
    char chunk[4096];
    std::size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
      contents.append(chunk, count);
    }
    if (std::ferror(file.get())) return std::nullopt;
    return contents;
  }

  bool Exists(const std::string& path) override { return engine::Exists(Resolve(path)); }

  std::optional<std::uint64_t> FileSize(const std::string& path) override {
    struct stat status;
    if (stat(Resolve(path).c_str(), &status) != 0) return std::nullopt;
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
  // stands in its way.
  TargetState ProbeTarget(const std::string& path) override {
    struct stat status;
    if (lstat(Resolve(path).c_str(), &status) != 0) {
      return errno == ENOENT ? TargetState::kMissing : TargetState::kBlocked;
    }
    return S_ISDIR(status.st_mode) ? TargetState::kBlocked : TargetState::kReplaceable;
  }

  bool FlushToDisk(const std::string& path) override {
    base::UniqueFd file(open(Resolve(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    return file.get() >= 0 && fsync(file.get()) == 0;
  }

  bool FlushFolderOf(const std::string& path) override { return FlushDirectoryOf(Resolve(path)); }

  bool RemoveFile(const std::string& path) override { return unlink(Resolve(path).c_str()) == 0; }

  // The new name has come either way, so a failure to flush it cannot be
  // undone and is not reported, here and in the rename below.
  bool LinkFile(const std::string& existing, const std::string& link) override {
    const std::string name = Resolve(link);
    if (linkat(AT_FDCWD, Resolve(existing).c_str(), AT_FDCWD, name.c_str(), 0) != 0) return false;
    FlushDirectoryOf(name);
    return true;
  }

  bool RenameReplacing(const std::string& from, const std::string& to) override {
    const std::string target = Resolve(to);
    if (rename(Resolve(from).c_str(), target.c_str()) != 0) return false;
    FlushDirectoryOf(target);
    return true;
  }

  zlib_filefunc64_def ZipFileFunctions() override { return zip_layer_.functions(); }

 private:
  ZipLayerPosix zip_layer_{Resolve, CreateOwnFile};
};

}  // namespace

FileSystem& NativeFileSystem() {
  static PosixFileSystem file_system;
  return file_system;
}

}  // namespace engine
