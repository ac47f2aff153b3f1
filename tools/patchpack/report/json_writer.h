// Writes one JSON document as it goes, for every --json report of
// patchpack: the writer places the commas, the colons and the line breaks,
// and escapes every string, so that a report only says what it holds. Each
// member of the document, and each element of a list that is one, starts a
// line of its own, for a person reading it; anything deeper stays on one
// line, so that a list of a thousand files is a thousand lines, not six
// thousand.
#pragma once

#include <concepts>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace patchpack {

class JsonWriter {
 public:
  explicit JsonWriter(std::ostream& out) : out_(out) {}

  JsonWriter& BeginObject();
  JsonWriter& EndObject();  // ends the document's line after its last
  JsonWriter& BeginArray();
  JsonWriter& EndArray();

  // The name of the next member of the current object.
  JsonWriter& Key(std::string_view key);

  JsonWriter& Value(std::string_view text);
  JsonWriter& Value(const char* text) { return Value(std::string_view(text)); }
  JsonWriter& Value(const std::string& text) { return Value(std::string_view(text)); }
  template <std::integral T>
  JsonWriter& Value(T number) {
    if constexpr (std::same_as<T, bool>) {
      return Raw(number ? "true" : "false");
    } else {
      return Raw(std::to_string(number));
    }
  }

  template <typename T>
  JsonWriter& Member(std::string_view key, const T& value) {
    return Key(key).Value(value);
  }
  // A member whose value is an array of strings.
  JsonWriter& Member(std::string_view key, const std::vector<std::string>& texts);

 private:
  struct Level {
    bool open;  // its members or elements start lines of their own
    int count = 0;
  };
  JsonWriter& Raw(std::string_view text);
  void Separate();
  JsonWriter& Begin(bool open, char bracket);
  JsonWriter& End(char bracket);

  std::ostream& out_;
  std::vector<Level> levels_;
  bool after_key_ = false;
};

}  // namespace patchpack
