#include "tools/patchpack/report/json_writer.h"

#include "tools/patchpack/report/json_text.h"

namespace patchpack {

// Before a member's name or an element: the comma after the one before, and
// a line of its own at the open levels.
void JsonWriter::Separate() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (levels_.empty()) return;
  Level& level = levels_.back();
  if (level.count++ > 0) out_ << ',';
  if (level.open) {
    out_ << '\n' << std::string(2 * levels_.size(), ' ');
  } else if (level.count > 1) {
    out_ << ' ';
  }
}

JsonWriter& JsonWriter::Raw(std::string_view text) {
  Separate();
  out_ << text;
  return *this;
}

JsonWriter& JsonWriter::Begin(bool open, char bracket) {
  Separate();
  out_ << bracket;
  levels_.push_back({open});
  return *this;
}

JsonWriter& JsonWriter::End(char bracket) {
  if (levels_.back().open && levels_.back().count > 0) {
    out_ << '\n' << std::string(2 * (levels_.size() - 1), ' ');
  }
  levels_.pop_back();
  out_ << bracket;
  if (levels_.empty()) out_ << '\n';
  return *this;
}

JsonWriter& JsonWriter::BeginObject() { return Begin(levels_.empty(), '{'); }
JsonWriter& JsonWriter::EndObject() { return End('}'); }
JsonWriter& JsonWriter::BeginArray() { return Begin(levels_.size() == 1, '['); }
JsonWriter& JsonWriter::EndArray() { return End(']'); }

JsonWriter& JsonWriter::Key(std::string_view key) {
  Separate();
  out_ << JsonString(std::string(key)) << ": ";
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::Value(std::string_view text) { return Raw(JsonString(std::string(text))); }

JsonWriter& JsonWriter::Member(std::string_view key, const std::vector<std::string>& texts) {
  Key(key).BeginArray();
  for (const std::string& text : texts) Value(text);
  return EndArray();
}

}  // namespace patchpack
