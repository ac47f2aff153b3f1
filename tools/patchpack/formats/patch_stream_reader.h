// Reads a decoded patch stream back into the description it was built from,
// through the same cursor the installer uses, so that inspecting a payload
// sees exactly what an installation would.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>

#include "payload/payload_writer.h"

namespace patchpack {

// A stream that breaks its own grammar: a record running past its end, or
// bytes after the deletion list.
class MalformedStream : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

payload::PatchDescription ReadPatchDescription(std::unique_ptr<std::uint8_t[]> block,
                                               std::uint32_t size);

}  // namespace patchpack
