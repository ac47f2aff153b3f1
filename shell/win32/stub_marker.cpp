// The marker by which patchpack attach knows this executable for the Windows
// stub. It lives in a PE section of its own, which only the stub has; `used`
// keeps it although nothing refers to it.
#include <array>

#include "bundle/stub_image.h"

namespace {

[[gnu::used, gnu::section(".pi_stub")]] constexpr std::array kMarker =
    std::to_array(bundle::kWindowsStubMarker);

}  // namespace
