// Lower-casing of the entry names found in old archives, so that they can be
// compared with the patch's names, which are written in lower case.
#pragma once

#include <string>

namespace engine {

// Turns A to Z into a to z and leaves every other byte alone. Bytes above 127
// have no meaning without a code page, and the same rule on every platform
// keeps the merge's output independent of the machine's locale.
void LowerCaseAscii(std::string& name);

}  // namespace engine
