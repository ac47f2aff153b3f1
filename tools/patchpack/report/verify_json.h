// The --json form of patchpack verify: one JSON document with the patch as
// inspect --json lists it, and what the trial installation showed.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "payload/payload_writer.h"

namespace patchpack {

struct VerifyReport {
  std::string file;
  std::string kind;       // "payload", "console installer" or "Windows installer"
  std::string signature;  // a Windows installer's "signed by NAME" or "not signed"
  std::string game;
  const payload::Bytes* payload = nullptr;
  const payload::PatchDescription* patch = nullptr;  // null when it does not decode
  std::optional<std::uint64_t> staging;              // what the run set out to stage
  std::vector<std::string> questions;                // each answered yes
  std::optional<std::string> error;                  // the text the installer shows
  std::vector<std::string> reasons;                  // why, for an error
  std::string installed;                             // the success text
  std::optional<std::string> expect;                 // NEW, as given
  std::vector<std::string> differences;              // from NEW
};

// "result" is "ok", "install failed" (with "error" and "because") or
// "differs" (with "differences").
void WriteVerifyJson(std::ostream& out, const VerifyReport& report);

}  // namespace patchpack
