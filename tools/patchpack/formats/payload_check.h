// A payload checked as the installer checks it, in the same order (trailer,
// declared size, decoding, stream grammar), for the commands that show an
// author what a player's installer would make of it. Reports by its result:
// a payload that fails is what inspect is asked about, not a failure of it.
#pragma once

#include <optional>
#include <string>

#include "payload/payload_writer.h"
#include "tools/patchpack/report/progress_reporter.h"

namespace patchpack {

struct PayloadCheck {
  // The patch, when the payload passed every check.
  std::optional<payload::PatchDescription> description;
  // "ok", else the failed check: "too short", "corrupt", "undecodable",
  // "malformed" or "out of memory".
  std::string result = "ok";
  // One line saying what failed, when the result is not "ok".
  std::string message;
};

// The decoding, the one long step, shows its progress in `progress` mode.
PayloadCheck CheckPayload(const payload::Bytes& payload_bytes,
                          ProgressReporter::Mode progress = ProgressReporter::Mode::Quiet);

}  // namespace patchpack
