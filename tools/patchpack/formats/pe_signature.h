// Who signed a Windows executable. An Authenticode signature is a PKCS#7
// SignedData in the image's certificate table (WIN_CERTIFICATE records); its
// signer is named by issuer and serial number, and the certificate with both
// among those the signature carries gives the subject whose common name (CN)
// a publisher is known by. Only the name is read: whether the signature is
// valid is for a verifier such as osslsigncode to say.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace patchpack::pe {

// The signer's common name, with control characters shown as '?'; empty
// when the table holds no PKCS#7 signature whose signing certificate and its
// CN can be found.
std::string SignerName(std::span<const std::uint8_t> certificate_table);

}  // namespace patchpack::pe
