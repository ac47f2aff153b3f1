// The small part of JSON that patchpack's reports need: a string literal
// with its escapes, so that any path or name reads back unchanged.
#pragma once

#include <string>

namespace patchpack {

// `text` as a JSON string literal, quotes included. Bytes of 0x80 and above
// pass through, so UTF-8 names stay UTF-8.
std::string JsonString(const std::string& text);

}  // namespace patchpack
