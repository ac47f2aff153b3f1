// patchpack's reader of the signer's name in a Windows executable's
// certificate table, which anybody who hands an author a stub can write.
// Any table gives a name or nothing: at most 256 bytes, none of them a
// control character, and no read outside the table (the sanitizers watch).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz/fuzz_check.h"
#include "tools/patchpack/formats/pe_signature.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name = patchpack::pe::SignerName(std::span<const std::uint8_t>(data, size));
  FUZZ_CHECK(name.size() <= 256);
  for (const char c : name) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
  return 0;
}
