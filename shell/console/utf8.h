// The terminal speaks UTF-8; the message table holds UTF-16.
#pragma once

#include <string>

namespace console {

// Converts a NUL-terminated UTF-16 text; null gives the empty string, as a
// missing message shows as empty. An unpaired surrogate becomes U+FFFD.
std::string ToUtf8(const char16_t* text);

}  // namespace console
