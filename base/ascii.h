// ASCII letter case, whatever the locale. Windows matches file names and the
// installer matches archive entry names without regard to the case of the
// letters A to Z only; std::tolower would also fold other bytes of the
// player's code page, and differently from one locale to the next.
#pragma once

#include <string>
#include <string_view>

namespace base {

constexpr char ToLowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

inline std::string ToLowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = ToLowerAscii(c);
  return lower;
}

constexpr bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace base
