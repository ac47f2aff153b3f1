#include "tools/patchpack/source_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/patchpack/command_line.h"

namespace patchpack {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

[[noreturn]] void FailWithErrno(const std::string& shown_as) {
  throw CommandError("cannot read " + shown_as + ": " + std::strerror(errno));
}

struct stat RegularFileStatus(int fd, const std::string& shown_as) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) FailWithErrno(shown_as);
  if (S_ISDIR(status.st_mode)) throw CommandError(shown_as + " is a folder, not a file");
  if (!S_ISREG(status.st_mode)) throw CommandError(shown_as + " is not a regular file");
  return status;
}

int OpenForReading(const std::filesystem::path& file, const std::string& shown_as) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) FailWithErrno(shown_as);
  return fd;
}

}  // namespace

std::uint64_t SourceFileSize(const std::filesystem::path& file, const std::string& shown_as) {
  FileDescriptor fd(OpenForReading(file, shown_as));
  return static_cast<std::uint64_t>(RegularFileStatus(fd.get(), shown_as).st_size);
}

payload::Bytes ReadWholeSourceFile(const std::filesystem::path& file, const std::string& shown_as) {
  FileDescriptor fd(OpenForReading(file, shown_as));
  struct stat status = RegularFileStatus(fd.get(), shown_as);
  payload::Bytes content(static_cast<std::size_t>(status.st_size));
  std::size_t done = 0;
  while (done < content.size()) {
    ssize_t got = ::read(fd.get(), content.data() + done, content.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) FailWithErrno(shown_as);
    if (got == 0) throw CommandError("cannot read " + shown_as + ": the file became shorter");
    done += static_cast<std::size_t>(got);
  }
  return content;
}

}  // namespace patchpack
