// What a player's installer carries, read from any form an author holds: a
// payload file, or a console or Windows installer made by attach.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "payload/payload_writer.h"

namespace patchpack {

struct InstallerInput {
  payload::Bytes payload;
  // The attached message table of an installer; nullopt when it has none, so
  // the player sees the stub's linked-in texts.
  std::optional<payload::Bytes> messages;
  // "payload", "console installer" or "Windows installer".
  std::string kind = "payload";
  // A Windows installer's "signed by NAME" or "not signed"; else empty.
  std::string signature;
};

// Throws CommandError naming the file and the reason when it cannot be read.
InstallerInput ReadInstallerInput(const std::filesystem::path& file, const std::string& shown_as);

}  // namespace patchpack
