// The small part of JSON that patchpack's reports need: a string literal
// with its escapes, so that any path or name reads back unchanged.
#pragma once

#include <string>

namespace patchpack {

// `text` as a JSON string literal, quotes included. Names are the payload's
// or the disk's bytes: valid UTF-8 is kept, any other byte is taken for
// Latin-1, so the document is always valid UTF-8.
std::string JsonString(const std::string& text);

}  // namespace patchpack
