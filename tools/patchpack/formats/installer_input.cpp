#include "tools/patchpack/formats/installer_input.h"

#include "tools/patchpack/formats/installer_file.h"
#include "tools/patchpack/report/command_error.h"
#include "tools/patchpack/source/source_file.h"

namespace patchpack {

InstallerInput ReadInstallerInput(const std::filesystem::path& file, const std::string& shown_as) {
  payload::Bytes bytes = ReadWholeSourceFile(file, shown_as);
  InstallerFile installer = ReadInstallerFile(shown_as, bytes);
  InstallerInput input;
  if (installer.truncated) throw CommandError(shown_as + ": " + TruncationText(installer));
  if (installer.kind == InstallerKind::kNone) {
    input.payload = std::move(bytes);
    return input;
  }
  if (!installer.payload) {
    throw CommandError(shown_as + ": " + KindName(installer.kind, false) +
                       " with nothing attached");
  }
  input.kind = KindName(installer.kind, true);
  input.signature = SignatureText(installer);
  input.payload = std::move(*installer.payload);
  input.messages = std::move(installer.messages);
  return input;
}

}  // namespace patchpack
