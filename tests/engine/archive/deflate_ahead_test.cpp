// Deflating the next new entry on the second thread: what comes out is what
// deflating the entry in one go gives, in order and through bounded chunks,
// entry after entry, and a merge that gives up in the middle of an entry is
// not kept waiting.
#include "engine/archive/deflate_ahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <stdexcept>
#include <vector>

namespace engine::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Text-like runs and noise, so that the output is both small and large in
// places; `noise` bytes of noise make the output outgrow the chunks.
Bytes Content(std::size_t text, std::size_t noise, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes;
  static const char kWords[] = "stone river castle mage sword quest ";
  while (bytes.size() < text) bytes.push_back(kWords[random() % (sizeof kWords - 1)]);
  for (std::size_t i = 0; i < noise; ++i) bytes.push_back(static_cast<std::uint8_t>(random()));
  return bytes;
}

Bytes DeflateInOneGo(std::span<const std::uint8_t> content) {
  DeflateStream deflate;
  Bytes out(compressBound(static_cast<uLong>(content.size())));
  deflate->next_in = const_cast<Bytef*>(content.data());
  deflate->avail_in = static_cast<uInt>(content.size());
  deflate->next_out = out.data();
  deflate->avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(::deflate(deflate.get(), Z_FINISH), Z_STREAM_END);
  out.resize(out.size() - deflate->avail_out);
  return out;
}

Bytes TakeAll(DeflateAhead& ahead, std::optional<uLong>& crc, std::size_t& largest_chunk) {
  Bytes out;
  crc = ahead.Finish([&](std::span<const std::uint8_t> chunk) {
    largest_chunk = std::max(largest_chunk, chunk.size());
    out.insert(out.end(), chunk.begin(), chunk.end());
  });
  return out;
}

TEST(DeflateAheadTest, GivesWhatDeflatingInOneGoGivesEntryAfterEntry) {
  DeflateAhead ahead;
  const Bytes entries[] = {Content(3 << 20, 3 << 20, 1), Content(70000, 0, 2), Bytes{},
                           Content(1000, 5 << 20, 3)};
  for (const Bytes& content : entries) {
    ahead.Start(content);
    std::optional<uLong> crc;
    std::size_t largest_chunk = 0;
    const Bytes out = TakeAll(ahead, crc, largest_chunk);
    EXPECT_EQ(out, DeflateInOneGo(content)) << content.size() << " bytes";
    ASSERT_TRUE(crc.has_value());
    EXPECT_EQ(*crc, crc32_z(0, content.data(), content.size()));
    EXPECT_LE(largest_chunk, DeflateAhead::kChunkSize);
  }
}

TEST(DeflateAheadTest, AMergeThatGivesUpIsNotKeptWaiting) {
  const Bytes content = Content(0, 16 << 20, 5);
  {
    DeflateAhead ahead;
    ahead.Start(content);
    EXPECT_THROW(ahead.Finish([](std::span<const std::uint8_t>) {
      throw std::runtime_error("the disk is full");
    }),
                 std::runtime_error);
    // Destroyed here while its thread waits for room for the rest.
  }
  SUCCEED();
}

}  // namespace
}  // namespace engine::test
