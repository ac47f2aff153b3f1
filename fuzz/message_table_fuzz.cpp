// The message table: any resource loads or is refused as too short, and each
// text is the matching line of the resource, ended within the buffer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "messages/message_table.h"

namespace {

// The lines of the resource after its byte-order mark, split at CR with the
// unit after each CR skipped, as many as the table has slots.
std::vector<std::u16string> Lines(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 1; i < size / 2; ++i) {
    text.push_back(static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8)));
  }
  std::vector<std::u16string> lines;
  std::size_t pos = 0;
  while (static_cast<int>(lines.size()) < messages::kMessageCount) {
    const std::size_t cr = text.find(u'\r', pos);
    lines.push_back(text.substr(pos, cr == std::u16string::npos ? std::u16string::npos : cr - pos));
    if (cr == std::u16string::npos) break;
    pos = std::min(cr + 2, text.size());
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const bool loaded = messages::LoadMessageTable({data, size});
  FUZZ_CHECK(loaded == (size >= 2));
  const std::vector<std::u16string> lines =
      loaded ? Lines(data, size) : std::vector<std::u16string>{};
  for (int slot = 0; slot < messages::kMessageCount; ++slot) {
    const char16_t* text = messages::Message(static_cast<messages::MsgId>(slot));
    if (static_cast<std::size_t>(slot) >= lines.size()) {
      FUZZ_CHECK(text == nullptr);
      continue;
    }
    FUZZ_CHECK(text != nullptr);
    // A 0 unit inside a line ends its text early.
    FUZZ_CHECK(std::u16string(text) == lines[slot].substr(0, lines[slot].find(u'\0')));
  }
  FUZZ_CHECK(messages::Message(static_cast<messages::MsgId>(messages::kMessageCount)) == nullptr);
  messages::ReleaseMessageTable();
  return 0;
}
