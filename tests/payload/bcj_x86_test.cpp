// The x86 branch converter, by hand-made blocks and against liblzma's x86
// filter in the encoding direction.
#include "payload/bcj_x86.h"

#include <gtest/gtest.h>

#include "payload/payload_container.h"
#include "tests/payload/code_like_bytes.h"
#include "tests/payload/lzma_test_encoder.h"

namespace {

using test_support::Bytes;

Bytes Converted(Bytes block) {
  payload::DecodeX86Branches(block);
  return block;
}

TEST(BcjX86, ConvertsACallAtTheFifthByteFromTheEnd) {
  // The operand 0x10 at offset 0 becomes 0x10 - (0 + 5).
  EXPECT_EQ(Converted({0xE8, 0x10, 0x00, 0x00, 0x00}), (Bytes{0xE8, 0x0B, 0x00, 0x00, 0x00}));
  // A jump at offset 3 of 8 bytes: 0x100 - 8 = 0xF8.
  EXPECT_EQ(Converted({1, 2, 3, 0xE9, 0x00, 0x01, 0x00, 0x00}),
            (Bytes{1, 2, 3, 0xE9, 0xF8, 0x00, 0x00, 0x00}));
  // A target before the start comes out negative, with an FF top byte.
  EXPECT_EQ(Converted({0x90, 0xE8, 0x02, 0x00, 0x00, 0x00}),
            (Bytes{0x90, 0xE8, 0xFC, 0xFF, 0xFF, 0xFF}));
}

TEST(BcjX86, NeverTakesOneOfTheLastFourBytesAsAnOpcode) {
  for (std::size_t opcode_at = 1; opcode_at <= 4; ++opcode_at) {
    Bytes block(12, 0x00);
    block[block.size() - opcode_at] = 0xE8;
    EXPECT_EQ(Converted(block), block) << opcode_at;
  }
  Bytes tail_of_calls = {0x90, 0x90, 0x90, 0xE8, 0xE8, 0xE8, 0xE8};
  EXPECT_EQ(Converted(tail_of_calls), tail_of_calls);
}

TEST(BcjX86, LeavesBlocksShorterThanFiveBytesAlone) {
  for (const Bytes& block :
       {Bytes{}, Bytes{0xE8}, Bytes{0xE8, 0x10, 0x00, 0x00}, Bytes{0xE9, 0xFF, 0xFF, 0xFF}}) {
    EXPECT_EQ(Converted(block), block);
  }
}

TEST(BcjX86, LeavesFarTargetsAlone) {
  // A top byte other than 00 or FF is no near call; the converter moves on
  // by one byte only, so the E8 inside the operand is considered next.
  Bytes block = {0xE8, 0x00, 0x00, 0xE8, 0x12, 0x00, 0x00, 0x00, 0x00, 0x90};
  Bytes expected = block;
  // The second E8 (offset 3) has the operand 12 00 00 00: 0x12 - 8 = 0x0A.
  expected[4] = 0x0A;
  EXPECT_EQ(Converted(block), expected);
}

// liblzma encodes with its x86 filter ahead of LZMA1; our decoder and the
// converter must give back the original bytes, for lengths around the
// four-byte tail and for long code-like data.
TEST(BcjX86, UndoesLiblzmasX86Filter) {
  std::vector<std::size_t> sizes;
  for (std::size_t size = 0; size <= 40; ++size) sizes.push_back(size);
  sizes.push_back(100000);
  for (std::size_t size : sizes) {
    for (std::uint32_t seed = 0; seed < (size < 100 ? 8u : 2u); ++seed) {
      Bytes stream =
          payload_test::CodeLikeBytes(size, seed * 1000 + static_cast<std::uint32_t>(size));
      Bytes body = payload_test::EncodeBody(stream, {true, 3, 0, 2});
      Bytes block(stream.size());
      std::size_t produced = 0;
      ASSERT_EQ(payload::DecodePayload(body, block, &produced), payload::DecodeResult::kOk) << size;
      EXPECT_EQ(produced, size);
      EXPECT_EQ(block, stream) << "size " << size << ", seed " << seed;
    }
  }
}

TEST(BcjX86, RunsOverTheDecodedBlockWhenTheFlagIsSet) {
  // The same LZMA1 data with flag 0 and with flag 1: the second is the first
  // after conversion.
  Bytes stream = payload_test::CodeLikeBytes(5000, 77);
  Bytes data = payload_test::EncodeLzma1(stream, {});
  Bytes plain(stream.size()), filtered(stream.size());
  ASSERT_EQ(
      payload::DecodePayload(payload_test::MakeBody(0, 0x5D, 4096, stream.size(), data), plain),
      payload::DecodeResult::kOk);
  ASSERT_EQ(
      payload::DecodePayload(payload_test::MakeBody(1, 0x5D, 4096, stream.size(), data), filtered),
      payload::DecodeResult::kOk);
  EXPECT_EQ(plain, stream);
  EXPECT_EQ(filtered, Converted(stream));
  EXPECT_NE(filtered, stream);
}

}  // namespace
