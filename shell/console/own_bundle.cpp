#include "shell/console/own_bundle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/unique_fd.h"
#include "bundle/bundle_format.h"

namespace console {
namespace {

bool ReadExactly(int fd, std::uint8_t* out, std::uint64_t size, std::uint64_t offset) {
  while (size > 0) {
    const ssize_t got = ::pread(fd, out, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    size -= static_cast<std::uint64_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadOwnBundlePart(BundlePart part) {
  base::UniqueFd file(::open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
  struct stat status {};
  if (!file.valid() || ::fstat(file.get(), &status) != 0) return std::nullopt;
  const auto file_size = static_cast<std::uint64_t>(status.st_size);
  if (file_size < bundle::kFooterSize) return std::nullopt;

  std::uint8_t footer[bundle::kFooterSize];
  if (!ReadExactly(file.get(), footer, sizeof footer, file_size - sizeof footer)) {
    return std::nullopt;
  }
  const std::optional<bundle::BundleLayout> layout = bundle::DecodeFooter(footer, file_size);
  if (!layout) return std::nullopt;

  const bool payload = part == BundlePart::Payload;
  const std::uint64_t offset = payload ? layout->payload_offset() : layout->messages_offset();
  const std::uint64_t size = payload ? layout->payload_size : layout->messages_size;
  if (size == 0) return std::nullopt;
  std::vector<std::uint8_t> bytes(size);
  if (!ReadExactly(file.get(), bytes.data(), size, offset)) return std::nullopt;
  return bytes;
}

}  // namespace console
