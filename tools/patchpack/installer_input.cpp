#include "tools/patchpack/installer_input.h"

#include <span>

#include "bundle/bundle_format.h"
#include "tools/patchpack/source_file.h"

namespace patchpack {

InstallerInput ReadInstallerInput(const std::filesystem::path& file, const std::string& shown_as) {
  payload::Bytes bytes = ReadWholeSourceFile(file, shown_as);
  InstallerInput input;
  std::optional<bundle::BundleLayout> layout;
  if (bytes.size() >= bundle::kFooterSize) {
    std::span<const std::uint8_t> footer(bytes.data() + bytes.size() - bundle::kFooterSize,
                                         bundle::kFooterSize);
    layout = bundle::DecodeFooter(footer, bytes.size());
  }
  if (!layout) {
    input.payload = std::move(bytes);
    return input;
  }
  auto slice = [&](std::uint64_t offset, std::uint64_t size) {
    return payload::Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                          bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
  };
  input.is_installer = true;
  input.payload = slice(layout->payload_offset(), layout->payload_size);
  if (layout->messages_size != 0) {
    input.messages = slice(layout->messages_offset(), layout->messages_size);
  }
  return input;
}

}  // namespace patchpack
