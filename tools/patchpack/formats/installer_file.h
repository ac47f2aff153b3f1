// The two installers that patchpack makes, taken apart and put together: the
// console stub (ELF) with its bundle appended, and the Windows stub (PE) with
// the payload as resource "PATCHDATA" 101 and a replacement message table as
// "LOCAL" 103. Each stub is known by the marker section ".pi_stub" that only
// the stubs carry.
#pragma once

#include <optional>
#include <string>

#include "payload/payload_writer.h"

namespace patchpack {

enum class InstallerKind { kNone, kConsole, kWindows };

struct InstallerFile {
  InstallerKind kind = InstallerKind::kNone;
  // The console stub without its bundle, or the whole Windows image.
  payload::Bytes stub;
  std::optional<payload::Bytes> payload;
  // The console bundle's replacement table, or the Windows image's "LOCAL" 103.
  std::optional<payload::Bytes> messages;
  // Set when the file ends before its own layout does (a download or copy
  // cut short): the sizes that tell it. Nothing else is read from such a file.
  std::optional<std::string> truncated;
  // Set for a signed Windows image: the signer's common name, empty when the
  // signature names none that can be read.
  std::optional<std::string> signer;
};

// "console installer", "Windows installer"; with `attached` false, "... stub".
std::string KindName(InstallerKind kind, bool attached);

// "truncated Windows installer: the file is ..." for a truncated file.
std::string TruncationText(const InstallerFile& file);

// For a Windows image: "signed by NAME", "signed, with no signer named" or
// "not signed"; empty for other files.
std::string SignatureText(const InstallerFile& file);

// What `bytes`, read from `path`, hold: kind kNone (and nothing else) for a
// file that is neither stub, such as a payload; `truncated` set for an
// executable cut short. Throws CommandError for a stub whose attached parts
// are damaged: a bundle footer that does not add up, a resource directory
// that cannot be read.
InstallerFile ReadInstallerFile(const std::string& path, payload::Bytes bytes);

// The Windows installer made of `stub` (kWindows), `payload` and, if given,
// a replacement message table: the stub keeps its "LOCAL" 103 unless
// `messages` replaces it. A signed stub's signature is left out, as it could
// not cover the new payload. (A console installer is the stub's bytes with the
// bundle appended, which attach writes as it goes.)
payload::Bytes AttachToWindowsStub(const std::string& stub_path, const InstallerFile& stub,
                                   payload::Bytes payload,
                                   const std::optional<payload::Bytes>& messages);

}  // namespace patchpack
