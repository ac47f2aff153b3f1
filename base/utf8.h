// UTF-16 to UTF-8. The message table holds UTF-16, as Windows shows it;
// terminals and the reports of patchpack speak UTF-8.
#pragma once

#include <string>

namespace base {

// Converts a NUL-terminated UTF-16 text; null gives the empty string, as a
// missing message shows as empty. An unpaired surrogate becomes U+FFFD.
std::string ToUtf8(const char16_t* text);

}  // namespace base
