#include <vector>

#include "engine/embedded_payload.h"
#include "shell/console/own_bundle.h"

namespace engine {

std::optional<std::span<const std::uint8_t>> FindEmbeddedPayload() {
  // Read once and kept for the life of the process, as a resource belongs to
  // the executable image: the run reads its payload in place.
  static const std::optional<std::vector<std::uint8_t>> payload =
      console::ReadOwnBundlePart(console::BundlePart::Payload);
  if (!payload) return std::nullopt;
  return std::span<const std::uint8_t>(*payload);
}

}  // namespace engine
