// Reads one string value of the current user's registry.
#pragma once

#include <string>

namespace shell::win32 {

// The REG_SZ value `value_name` of HKEY_CURRENT_USER\`subkey`, or the empty
// string when the key or the value is missing, the value has another type
// (REG_EXPAND_SZ included) or its data takes more than 1023 bytes.
std::string ReadRegistryString(const char* subkey, const char* value_name);

}  // namespace shell::win32
