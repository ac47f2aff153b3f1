#include "messages/message_table.h"

#include <array>
#include <cstddef>
#include <memory>

namespace messages {
namespace {

constexpr char16_t kCarriageReturn = 0x000D;

// The texts point into `buffer`, which holds the resource without its
// byte-order mark plus one spare unit for the last text's terminator.
std::unique_ptr<char16_t[]> buffer;
std::array<const char16_t*, kMessageCount> texts{};

}  // namespace

bool LoadMessageTable(std::span<const std::uint8_t> resource) {
  ReleaseMessageTable();
  const std::size_t units = resource.size() / 2;
  if (units == 0) return false;

  buffer = std::make_unique<char16_t[]>(units);
  // Assembled byte by byte: the resource need not be aligned, and the text is
  // little-endian whatever the processor is. Unit 0, the mark, is dropped.
  for (std::size_t i = 1; i < units; ++i) {
    buffer[i - 1] = static_cast<char16_t>(resource[2 * i] | (resource[2 * i + 1] << 8));
  }
  const std::size_t end = units - 1;

  std::size_t pos = 0;
  for (int slot = 0; slot < kMessageCount; ++slot) {
    texts[slot] = &buffer[pos];
    while (pos < end && buffer[pos] != kCarriageReturn) ++pos;
    buffer[pos] = u'\0';
    if (pos == end) break;
    // Skip the CR and the LF taken to follow it. A CR that is the very last
    // unit has no LF after it: stop at the spare unit, which then reads as one
    // more empty text, as a final CR LF would.
    pos = pos + 2 <= end ? pos + 2 : end;
  }
  return true;
}

const char16_t* Message(MsgId id) {
  const auto index = static_cast<std::size_t>(id);
  return index < texts.size() ? texts[index] : nullptr;
}

void ReleaseMessageTable() {
  texts.fill(nullptr);
  buffer.reset();
}

}  // namespace messages
