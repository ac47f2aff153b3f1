// The --json form of patchpack inspect: one JSON document that a build
// script can read instead of the listing.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "payload/payload_writer.h"

namespace patchpack {

struct InspectReport {
  std::string file;
  std::string kind;           // "payload", "Windows installer", "console stub", ...
  std::string result = "ok";  // else the failed check: "corrupt", "nothing attached", ...
  std::string message;        // the one-line error, when the result is not "ok"
  const payload::Bytes* payload = nullptr;               // the payload, when there is one
  std::optional<payload::PatchDescription> description;  // when it passed every check
};

// Names are the payload's bytes: valid UTF-8 is kept, any other byte is
// taken for Latin-1, so the document is always valid UTF-8.
void WriteInspectJson(std::ostream& out, const InspectReport& report);

}  // namespace patchpack
