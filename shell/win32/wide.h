// The message table's UTF-16 texts as the wide Win32 calls take them: on
// Windows wchar_t is UTF-16, so the bytes are the same.
#pragma once

namespace shell::win32 {

inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

}  // namespace shell::win32
