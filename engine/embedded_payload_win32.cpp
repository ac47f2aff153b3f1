// On Windows the payload is the resource "PATCHDATA" 101 of the running
// executable, which the image maps read-only: its bytes are used in place.
#include <windows.h>

#include "engine/embedded_payload.h"

namespace engine {

std::optional<std::span<const std::uint8_t>> FindEmbeddedPayload() {
  HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(101), "PATCHDATA");
  if (resource == nullptr) return std::nullopt;
  HGLOBAL loaded = LoadResource(nullptr, resource);
  if (loaded == nullptr) return std::nullopt;
  const void* bytes = LockResource(loaded);
  if (bytes == nullptr) return std::nullopt;
  const DWORD size = SizeofResource(nullptr, resource);
  return std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(bytes), size);
}

}  // namespace engine
