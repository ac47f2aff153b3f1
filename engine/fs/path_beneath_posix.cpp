#include "engine/fs/path_beneath_posix.h"

#include <dirent.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <vector>

#include "base/case_insensitive_name.h"

namespace engine {
namespace {

// Each folder on the way is opened as itself: O_NOFOLLOW refuses a link at
// the name, O_DIRECTORY anything else that is not a folder.
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

struct DirectoryCloser {
  void operator()(DIR* directory) const { closedir(directory); }
};

// The entry of folder `dir` that matches `name` ignoring case, chosen by the
// rule every lookup of a game path shares; nullopt when none does.
std::optional<std::string> FindIgnoringCase(int dir, const std::string& name) {
  // fdopendir takes the descriptor it is given; the walk keeps its own.
  const int listing_fd = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing_fd < 0) return std::nullopt;
  std::unique_ptr<DIR, DirectoryCloser> listing(fdopendir(listing_fd));
  if (!listing) {
    ::close(listing_fd);
    return std::nullopt;
  }
  base::CaseInsensitiveChoice choice(name);
  while (const dirent* entry = readdir(listing.get())) choice.Offer(entry->d_name);
  return choice.chosen();
}

// Splits a stream path at either separator. Empty and "." components name
// the folder they stand in and are dropped; a path that starts at a root or
// climbs out with ".." is refused (false).
bool SplitComponents(const std::string& stream_path, std::vector<std::string>& components) {
  if (!stream_path.empty() && (stream_path[0] == '\\' || stream_path[0] == '/')) return false;
  std::size_t start = 0;
  while (start <= stream_path.size()) {
    std::size_t end = stream_path.find_first_of("\\/", start);
    if (end == std::string::npos) end = stream_path.size();
    std::string component = stream_path.substr(start, end - start);
    if (component == "..") return false;
    if (!component.empty() && component != ".") components.push_back(std::move(component));
    start = end + 1;
  }
  return !components.empty();
}

// Whether the kernel has openat2; learnt from the first call that says not.
std::atomic<bool> kernel_has_openat2{true};

// The folder the stream spells, opened in one call by the kernel's own
// walk, which refuses any link on the way and any way out of the game
// folder. Fails (-1) on any name that is not spelled as on disk, and the
// walk below then looks for it letter case aside.
int OpenFoldersAtOnce(const std::vector<std::string>& components) {
  if (!kernel_has_openat2.load(std::memory_order_relaxed)) return -1;
  std::string joined;
  for (std::size_t i = 0; i + 1 < components.size(); ++i) {
    if (i > 0) joined += '/';
    joined += components[i];
  }
  open_how how{};
  how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  const long fd = syscall(SYS_openat2, AT_FDCWD, joined.c_str(), &how, sizeof how);
  if (fd < 0 && errno == ENOSYS) kernel_has_openat2.store(false, std::memory_order_relaxed);
  return static_cast<int>(fd);
}

// Opens the folder `name` in folder `dir`, in the exact spelling if it
// exists, else in another letter case.
int OpenFolder(int dir, const std::string& name) {
  const int fd = openat(dir, name.c_str(), kFolderFlags);
  if (fd >= 0 || errno != ENOENT) return fd;
  const std::optional<std::string> other = FindIgnoringCase(dir, name);
  if (!other) {
    errno = ENOENT;
    return -1;
  }
  return openat(dir, other->c_str(), kFolderFlags);
}

}  // namespace

std::optional<PathBeneath> FindBeneath(const std::string& stream_path) {
  std::vector<std::string> components;
  if (!SplitComponents(stream_path, components)) {
    errno = EXDEV;
    return std::nullopt;
  }
  PathBeneath found;
  if (components.size() > 1) {
    base::UniqueFd folder(OpenFoldersAtOnce(components));
    // Otherwise (a name in another letter case, an older kernel, a link on
    // the way) the walk, one folder at a time, has the last word.
    if (!folder.valid()) {
      for (std::size_t i = 0; i + 1 < components.size(); ++i) {
        base::UniqueFd next(OpenFolder(folder.valid() ? folder.get() : AT_FDCWD, components[i]));
        if (!next.valid()) return std::nullopt;
        folder = std::move(next);
      }
    }
    found.folder = std::move(folder);
  }
  found.name = std::move(components.back());
  struct stat status;
  if (fstatat(found.dir(), found.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 &&
      errno == ENOENT) {
    if (std::optional<std::string> other = FindIgnoringCase(found.dir(), found.name)) {
      found.name = std::move(*other);
    }
  }
  return found;
}

int OpenBeneath(const std::string& stream_path, int flags) {
  const std::optional<PathBeneath> path = FindBeneath(stream_path);
  if (!path) return -1;
  // O_NONBLOCK keeps a pipe planted at the name from holding the open up;
  // it changes nothing for a regular file, the only kind we open.
  base::UniqueFd fd(openat(path->dir(), path->name.c_str(),
                           (flags & ~O_CREAT) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat status;
  if (!fd.valid() || fstat(fd.get(), &status) != 0) return -1;
  if (!S_ISREG(status.st_mode)) {
    errno = EINVAL;
    return -1;
  }
  return fd.release();
}

int CreateOwnFileBeneath(const std::string& stream_path) {
  const std::optional<PathBeneath> path = FindBeneath(stream_path);
  if (!path) return -1;
  unlinkat(path->dir(), path->name.c_str(), 0);
  return openat(path->dir(), path->name.c_str(),
                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

bool FlushFolder(const PathBeneath& path) {
  if (path.folder.valid()) return fsync(path.folder.get()) == 0;
  base::UniqueFd game_folder(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return game_folder.valid() && fsync(game_folder.get()) == 0;
}

}  // namespace engine
