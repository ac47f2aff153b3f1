// The version record: any curver.txt gives a record, the same one that an
// independent reading of the text gives, and a written record reads back.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/version_record.h"
#include "fuzz/fuzz_check.h"
#include "tests/engine/fs/memory_file_system.h"

namespace {

bool Space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// What the record must read: text up to the first 1A, leading white space,
// a signed decimal that fits 32 bits, white space, then a word.
engine::VersionRecord Expected(std::string text) {
  text = text.substr(0, text.find('\x1a'));
  std::size_t pos = 0;
  while (pos < text.size() && Space(text[pos])) ++pos;
  const std::size_t sign = pos;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
  const std::size_t digits = pos;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
  if (pos == digits) return {};
  std::string number = text.substr(digits, pos - digits);
  number.erase(0, std::min(number.find_first_not_of('0'), number.size() - 1));
  if (number.size() > 10) return {};
  std::int64_t value = std::stoll(number);
  if (text[sign] == '-') value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return {};
  while (pos < text.size() && Space(text[pos])) ++pos;
  std::size_t end = pos;
  while (end < text.size() && !Space(text[end])) ++end;
  return {static_cast<std::int32_t>(value), text.substr(pos, end - pos)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::test::MemoryFileSystem file_system;
  const std::string text(reinterpret_cast<const char*>(data), size);
  file_system.AddFile(engine::kVersionRecordPath, text);

  const engine::VersionRecord record = engine::ReadVersionRecord(file_system);
  const engine::VersionRecord expected = Expected(text);
  FUZZ_CHECK(record.version == expected.version);
  FUZZ_CHECK(record.tag == expected.tag);

  // The run writes the record back with the tag it read; the next run must
  // read the same record.
  engine::WriteVersionRecord(file_system, record.version, record.tag);
  const engine::VersionRecord again = engine::ReadVersionRecord(file_system);
  FUZZ_CHECK(again.version == record.version && again.tag == record.tag);
  return 0;
}
