// The --json form of patchpack inspect: one JSON document that a build
// script can read instead of the listing; and the parts of it that the
// --json form of verify shares.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "payload/payload_writer.h"
#include "tools/patchpack/report/json_writer.h"

namespace patchpack {

struct InspectReport {
  std::string file;
  std::string kind;           // "payload", "Windows installer", "console stub", ...
  std::string signature;      // a Windows image's "signed by NAME" or "not signed"
  std::string result = "ok";  // else the failed check: "corrupt", "nothing attached", ...
  std::string message;        // the one-line error, when the result is not "ok"
  const payload::Bytes* payload = nullptr;               // the payload, when there is one
  std::optional<payload::PatchDescription> description;  // when it passed every check
};

void WriteInspectJson(std::ostream& out, const InspectReport& report);

// The members that inspect and verify share: "payload" (its size, SHA-1 and
// filter flag).
void WritePayloadMember(JsonWriter& json, const payload::Bytes& payload_bytes);
// "version", "sections", "totals" and "staging". The staging figure is the
// floor that the patch alone gives, unless `game_staging` holds the one a
// run on a game found, which counts that game's archives and is exact.
void WritePatchMembers(JsonWriter& json, const payload::PatchDescription& description,
                       std::optional<std::uint64_t> game_staging);

}  // namespace patchpack
