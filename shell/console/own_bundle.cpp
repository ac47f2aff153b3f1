#include "shell/console/own_bundle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/unique_fd.h"
#include "base/whole_transfer_posix.h"
#include "bundle/bundle_format.h"

namespace console {

std::optional<std::vector<std::uint8_t>> ReadOwnBundlePart(BundlePart part) {
  base::UniqueFd file(::open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
  struct stat status {};
  if (!file.valid() || ::fstat(file.get(), &status) != 0) return std::nullopt;
  const auto file_size = static_cast<std::uint64_t>(status.st_size);
  if (file_size < bundle::kFooterSize) return std::nullopt;

  std::uint8_t footer[bundle::kFooterSize];
  if (base::ReadWholeAt(file.get(), footer, sizeof footer, file_size - sizeof footer).done !=
      sizeof footer) {
    return std::nullopt;
  }
  const std::optional<bundle::BundleLayout> layout = bundle::DecodeFooter(footer, file_size);
  if (!layout) return std::nullopt;

  const bool payload = part == BundlePart::Payload;
  const std::uint64_t offset = payload ? layout->payload_offset() : layout->messages_offset();
  const std::uint64_t size = payload ? layout->payload_size : layout->messages_size;
  if (size == 0) return std::nullopt;
  std::vector<std::uint8_t> bytes(size);
  if (base::ReadWholeAt(file.get(), bytes.data(), size, offset).done != size) return std::nullopt;
  return bytes;
}

}  // namespace console
