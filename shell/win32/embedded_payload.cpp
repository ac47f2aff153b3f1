// The image maps the resource read-only: its bytes are used in place.
#include "shell/win32/embedded_payload.h"

#include <windows.h>

namespace shell::win32 {

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

}  // namespace shell::win32
