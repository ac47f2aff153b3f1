#include "tools/patchpack/payload_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/patchpack/command_line.h"

namespace patchpack {
namespace {

[[noreturn]] void Fail(const std::filesystem::path& path, int error) {
  throw CommandError("cannot write " + path.string() + ": " + std::strerror(error));
}

}  // namespace

PayloadOutput::PayloadOutput(const std::filesystem::path& destination)
    : destination_(destination), partial_(destination) {
  partial_ += ".partial";
  // A folder at the destination would only be found by the final rename.
  struct stat status {};
  if (::stat(destination_.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    Fail(destination_, EISDIR);
  }
  fd_ = ::open(partial_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd_ < 0) Fail(partial_, errno);
}

PayloadOutput::~PayloadOutput() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) ::unlink(partial_.c_str());
}

void PayloadOutput::Write(std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) Fail(partial_, errno);
    done += static_cast<std::size_t>(put);
  }
}

void PayloadOutput::Commit() {
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail(partial_, errno);
  if (::rename(partial_.c_str(), destination_.c_str()) != 0) Fail(destination_, errno);
  committed_ = true;
}

}  // namespace patchpack
