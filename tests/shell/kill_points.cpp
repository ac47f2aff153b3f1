// A preload library for the crash-consistency test: it counts the calls
// through which the installer changes names on disk (creations, links,
// renames, removals, new folders and flushes) and kills the process with SIGKILL just
// before the one numbered PI_KILL_AT, as a power cut or a kill from the task
// manager would stop it. With PI_CALL_LOG it appends one line per counted
// call to that file instead, which tells the test how many instants there
// are and where the commit begins. The product knows nothing of it.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<long> counted{0};

long KillAt() {
  static const long at = [] {
    const char* text = std::getenv("PI_KILL_AT");
    return text == nullptr ? 0L : std::atol(text);
  }();
  return at;
}

// Counts a call, logs it, and kills the process when it is the chosen one.
void Count(const char* call, const char* first, const char* second = "") {
  const long number = ++counted;
  if (const char* log = std::getenv("PI_CALL_LOG")) {
    const int fd = static_cast<int>(
        syscall(SYS_openat, AT_FDCWD, log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (fd >= 0) {
      char line[4200];
      const int length = std::snprintf(line, sizeof line, "%s %s %s\n", call, first, second);
      if (length > 0) {
        [[maybe_unused]] const ssize_t written = write(fd, line, static_cast<std::size_t>(length));
      }
      close(fd);
    }
  }
  if (number == KillAt()) raise(SIGKILL);
}

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0) {
    va_list arguments;
    va_start(arguments, flags);
    mode = va_arg(arguments, mode_t);
    va_end(arguments);
    Count("create", path);
  }
  static auto next = Next<int (*)(const char*, int, ...)>("open");
  return next(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0) {
    va_list arguments;
    va_start(arguments, flags);
    mode = va_arg(arguments, mode_t);
    va_end(arguments);
    Count("create", path);
  }
  static auto next = Next<int (*)(const char*, int, ...)>("open64");
  return next(path, flags, mode);
}

// The installer works relative to the folders it holds open, so the *at
// forms are where most of its changes go through.
int openat(int directory, const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0) {
    va_list arguments;
    va_start(arguments, flags);
    mode = va_arg(arguments, mode_t);
    va_end(arguments);
    Count("create", path);
  }
  static auto next = Next<int (*)(int, const char*, int, ...)>("openat");
  return next(directory, path, flags, mode);
}

int openat64(int directory, const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0) {
    va_list arguments;
    va_start(arguments, flags);
    mode = va_arg(arguments, mode_t);
    va_end(arguments);
    Count("create", path);
  }
  static auto next = Next<int (*)(int, const char*, int, ...)>("openat64");
  return next(directory, path, flags, mode);
}

int renameat(int from_directory, const char* from, int to_directory, const char* to) {
  Count("rename", from, to);
  static auto next = Next<int (*)(int, const char*, int, const char*)>("renameat");
  return next(from_directory, from, to_directory, to);
}

int unlinkat(int directory, const char* path, int flags) {
  Count("unlink", path);
  static auto next = Next<int (*)(int, const char*, int)>("unlinkat");
  return next(directory, path, flags);
}

int mkdirat(int directory, const char* path, mode_t mode) {
  Count("mkdir", path);
  static auto next = Next<int (*)(int, const char*, mode_t)>("mkdirat");
  return next(directory, path, mode);
}

int rename(const char* from, const char* to) {
  Count("rename", from, to);
  static auto next = Next<int (*)(const char*, const char*)>("rename");
  return next(from, to);
}

int unlink(const char* path) {
  Count("unlink", path);
  static auto next = Next<int (*)(const char*)>("unlink");
  return next(path);
}

int linkat(int from_directory, const char* from, int to_directory, const char* to, int flags) {
  Count("link", from, to);
  static auto next = Next<int (*)(int, const char*, int, const char*, int)>("linkat");
  return next(from_directory, from, to_directory, to, flags);
}

int fsync(int fd) {
  Count("fsync", "");
  static auto next = Next<int (*)(int)>("fsync");
  return next(fd);
}

}  // extern "C"
