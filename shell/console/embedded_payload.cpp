#include "shell/console/embedded_payload.h"

#include <vector>

#include "shell/console/own_bundle.h"

namespace console {

std::optional<std::span<const std::uint8_t>> FindEmbeddedPayload() {
  // Read once and kept for the life of the process, as a resource belongs to
  // the executable image: the run reads its payload in place.
  static const std::optional<std::vector<std::uint8_t>> payload =
      ReadOwnBundlePart(BundlePart::Payload);
  if (!payload) return std::nullopt;
  return std::span<const std::uint8_t>(*payload);
}

}  // namespace console
