#include "base/utf8.h"

namespace base {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void Append(std::string& out, char32_t code_point) {
  auto put = [&out](char32_t bits) { out.push_back(static_cast<char>(bits)); };
  if (code_point < 0x80) {
    put(code_point);
  } else if (code_point < 0x800) {
    put(0xC0 | (code_point >> 6));
    put(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    put(0xE0 | (code_point >> 12));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  } else {
    put(0xF0 | (code_point >> 18));
    put(0x80 | ((code_point >> 12) & 0x3F));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  }
}

}  // namespace

std::string ToUtf8(const char16_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (const char16_t* unit = text; *unit != 0; ++unit) {
    const char32_t first = *unit;
    if (IsHighSurrogate(first) && IsLowSurrogate(unit[1])) {
      const char32_t second = *++unit;
      Append(out, 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00));
    } else if (IsHighSurrogate(first) || IsLowSurrogate(first)) {
      Append(out, kReplacement);
    } else {
      Append(out, first);
    }
  }
  return out;
}

}  // namespace base
