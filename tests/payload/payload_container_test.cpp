// The payload container: trailer, declared size and decoding, with bodies
// made by liblzma's own encoder.
#include "payload/payload_container.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/payload/code_like_bytes.h"
#include "tests/payload/lzma_test_encoder.h"
#include "tests/support/bytes.h"

namespace {

using payload_test::EncodeBody;
using payload_test::LzmaSettings;
using payload_test::MakeBody;
using payload_test::WithTrailer;
using test_support::Bytes;

struct Decoded {
  payload::DecodeResult result = payload::DecodeResult::kOk;
  bool ok = false;
  std::size_t produced = 0;
  Bytes block;
};

// Decodes into a block of exactly `declared_size` bytes, as the run does, so
// that the address sanitizer sees any write past it.
Decoded Decode(const Bytes& body, std::size_t declared_size) {
  Decoded result;
  result.block.assign(declared_size, 0xAA);
  result.produced = 12345;
  result.result = payload::DecodePayload(body, result.block, &result.produced);
  result.ok = result.result == payload::DecodeResult::kOk;
  return result;
}

Bytes SampleText() {
  std::string text;
  for (int line = 0; line < 400; ++line) {
    text += "data\\maps\\region_" + std::to_string(line % 37) + ".bin  version " +
            std::to_string(line * 7919 % 1000) + "\n";
  }
  return Bytes(text.begin(), text.end());
}

TEST(PayloadContainer, DecodesWhatLiblzmaEncodedUnderEverySetting) {
  const std::vector<Bytes> streams = {SampleText(), test_support::RandomBytes(70000, 1),
                                      payload_test::CodeLikeBytes(50000, 2),
                                      Bytes{14, 0, 0, 0, 0, 0, 0}, Bytes(1, 0x42)};
  const std::vector<LzmaSettings> settings = {
      {false, 3, 0, 2}, {true, 3, 0, 2}, {false, 0, 2, 0}, {true, 4, 0, 4}, {false, 1, 3, 1}};
  for (const Bytes& stream : streams) {
    for (const LzmaSettings& setting : settings) {
      SCOPED_TRACE("stream of " + std::to_string(stream.size()) + " bytes, lc " +
                   std::to_string(setting.lc) + " lp " + std::to_string(setting.lp) + " pb " +
                   std::to_string(setting.pb) + (setting.x86 ? ", x86" : ""));
      Bytes payload = WithTrailer(EncodeBody(stream, setting));
      ASSERT_TRUE(payload::CheckPayloadTrailer(payload));
      std::span<const std::uint8_t> body(payload.data(), payload.size() - payload::kTrailerSize);
      ASSERT_EQ(payload::ReadDeclaredSize(body), stream.size());
      Decoded decoded = Decode(Bytes(body.begin(), body.end()), stream.size());
      ASSERT_TRUE(decoded.ok);
      EXPECT_EQ(decoded.produced, stream.size());
      EXPECT_EQ(decoded.block, stream);
    }
  }
}

TEST(PayloadContainer, AnyFlippedBitFailsTheTrailer) {
  // Header bits included: the run checks the trailer before it reads any
  // field, so a damaged header is reported as corruption.
  Bytes payload = WithTrailer(EncodeBody(SampleText(), {true, 3, 0, 2}));
  Bytes small = WithTrailer(EncodeBody(Bytes{14, 0, 0, 0, 0, 'a', 0, 0, 0}, {true, 3, 0, 2}));
  for (const Bytes* original : {&small, &payload}) {
    ASSERT_TRUE(payload::CheckPayloadTrailer(*original));
    std::size_t step = original == &small ? 1 : 97;  // every bit of the small one
    for (std::size_t bit = 0; bit < original->size() * 8; bit += step) {
      Bytes corrupt = *original;
      corrupt[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
      EXPECT_FALSE(payload::CheckPayloadTrailer(corrupt)) << "bit " << bit;
    }
  }
}

TEST(PayloadContainer, APayloadOfOnlyATrailerIsNotAccepted) {
  EXPECT_FALSE(payload::CheckPayloadTrailer(Bytes{}));
  EXPECT_FALSE(payload::CheckPayloadTrailer(Bytes(20, 0)));
  // One byte of body with its correct digest is a well-formed trailer.
  EXPECT_TRUE(payload::CheckPayloadTrailer(WithTrailer(Bytes{0})));
}

TEST(PayloadContainer, ShortBodiesHaveNoDeclaredSize) {
  Bytes header = MakeBody(0, 0x5D, 1u << 20, 7, {});
  ASSERT_EQ(header.size(), 14u);
  EXPECT_EQ(payload::ReadDeclaredSize(header), 7u);
  Bytes thirteen(header.begin(), header.end() - 1);
  EXPECT_TRUE(payload::CheckPayloadTrailer(WithTrailer(thirteen)));
  EXPECT_EQ(payload::ReadDeclaredSize(thirteen), std::nullopt);
  EXPECT_EQ(payload::ReadDeclaredSize(Bytes{}), std::nullopt);
  EXPECT_FALSE(Decode(thirteen, 7).ok);
}

TEST(PayloadContainer, DeclaredSizeMustFitIn32Bits) {
  Bytes stream = SampleText();
  Bytes body = EncodeBody(stream);
  for (std::size_t offset = 10; offset < 14; ++offset) {
    Bytes changed = body;
    changed[offset] = 1;
    EXPECT_TRUE(payload::CheckPayloadTrailer(WithTrailer(changed)));
    EXPECT_EQ(payload::ReadDeclaredSize(changed), std::nullopt) << offset;
  }
  // The all-ones size by which LZMA_Alone marks a size it does not know.
  Bytes unknown = MakeBody(0, 0x5D, 1u << 20, ~std::uint64_t{0}, {0, 0, 0, 0, 0});
  EXPECT_EQ(payload::ReadDeclaredSize(unknown), std::nullopt);
  // The largest size that fits is still a size.
  Bytes largest = MakeBody(0, 0x5D, 1u << 20, 0xFFFFFFFFu, {0, 0, 0, 0, 0});
  EXPECT_EQ(payload::ReadDeclaredSize(largest), 0xFFFFFFFFu);
}

TEST(PayloadContainer, UnknownFilterFlagHasASizeButDoesNotDecode) {
  Bytes stream = SampleText();
  for (std::uint8_t flag : {2, 3, 0x80, 0xFF}) {
    Bytes body = EncodeBody(stream);
    body[0] = flag;
    ASSERT_TRUE(payload::CheckPayloadTrailer(WithTrailer(body)));
    ASSERT_EQ(payload::ReadDeclaredSize(body), stream.size());
    Decoded decoded = Decode(body, stream.size());
    EXPECT_FALSE(decoded.ok) << int{flag};
    EXPECT_EQ(decoded.produced, 0u);
  }
}

TEST(PayloadContainer, PropertiesOutOfRangeDoNotDecode) {
  Bytes stream = SampleText();
  Bytes body = EncodeBody(stream);
  const std::uint8_t refused[] = {
      225, 255, payload_test::PropertiesByte(4, 1, 2),  // lc + lp above 4
      payload_test::PropertiesByte(8, 4, 4), payload_test::PropertiesByte(1, 4, 0)};
  for (std::uint8_t properties : refused) {
    body[1] = properties;
    EXPECT_FALSE(Decode(body, stream.size()).ok) << int{properties};
    // Also when there is nothing to decode.
    EXPECT_FALSE(Decode(MakeBody(0, properties, 4096, 0, {0, 0, 0, 0, 0}), 0).ok);
  }
  // lc + lp of exactly 4 is fine, also for an empty stream.
  EXPECT_TRUE(
      Decode(MakeBody(0, payload_test::PropertiesByte(4, 0, 4), 4096, 0, {0, 0, 0, 0, 0}), 0).ok);
  EXPECT_TRUE(
      Decode(MakeBody(0, payload_test::PropertiesByte(0, 4, 0), 4096, 0, {0, 0, 0, 0, 0}), 0).ok);
}

TEST(PayloadContainer, DeclaredSizeZeroNeedsTheFiveStartBytes) {
  Bytes empty_stream_data = payload_test::EncodeLzma1({}, {});
  for (std::uint8_t filter : {0, 1}) {
    EXPECT_TRUE(Decode(MakeBody(filter, 0x5D, 4096, 0, empty_stream_data), 0).ok);
    Decoded five = Decode(MakeBody(filter, 0x5D, 4096, 0, {0, 0, 0, 0, 0}), 0);
    EXPECT_TRUE(five.ok);
    EXPECT_EQ(five.produced, 0u);
    EXPECT_FALSE(Decode(MakeBody(filter, 0x5D, 4096, 0, {0, 0, 0, 0}), 0).ok);
    EXPECT_FALSE(Decode(MakeBody(filter, 0x5D, 4096, 0, {}), 0).ok);
  }
}

TEST(PayloadContainer, DataCutShortFailsAndTrailingBytesAreIgnored) {
  Bytes stream = SampleText();
  Bytes body = EncodeBody(stream, {true, 3, 0, 2});
  // Cut one byte at a time: every cut that leaves too little fails, and there
  // is exactly one length from which on decoding succeeds with the whole
  // stream (the encoder's end marker is never needed).
  std::size_t shortest_success = body.size() + 1;
  for (std::size_t size = 0; size <= body.size(); ++size) {
    Bytes cut(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(size));
    Decoded decoded = Decode(cut, stream.size());
    if (decoded.ok) {
      shortest_success = std::min(shortest_success, size);
      EXPECT_EQ(decoded.block, stream) << size;
    } else {
      EXPECT_GT(shortest_success, size) << "a longer cut failed after a shorter one decoded";
    }
  }
  EXPECT_GT(shortest_success, body.size() - 12);
  EXPECT_LE(shortest_success, body.size());

  for (const Bytes& tail : {Bytes(1, 0), Bytes(100, 0xFF), test_support::RandomBytes(4096, 3)}) {
    Bytes longer = body;
    longer.insert(longer.end(), tail.begin(), tail.end());
    ASSERT_TRUE(payload::CheckPayloadTrailer(WithTrailer(longer)));
    Decoded decoded = Decode(longer, stream.size());
    EXPECT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.block, stream);
  }
}

// A tool shows a long decode as it goes: it hears of the block filling up
// in steps, each further than the one before, the last at the whole block;
// a decode that fails never claims to have reached the end.
TEST(PayloadContainer, ProgressFollowsTheBlockFillingUp) {
  const Bytes stream = test_support::RandomBytes(300000, 5);
  const Bytes body = EncodeBody(stream, {true, 3, 0, 2});
  std::vector<std::size_t> heard;
  Bytes block(stream.size());
  ASSERT_EQ(payload::DecodePayload(body, block, nullptr,
                                   [&](std::size_t decoded) { heard.push_back(decoded); }),
            payload::DecodeResult::kOk);
  EXPECT_EQ(block, stream);
  ASSERT_GE(heard.size(), 4u) << "a block of several slices is heard of more than once";
  for (std::size_t i = 1; i < heard.size(); ++i) EXPECT_GT(heard[i], heard[i - 1]) << i;
  EXPECT_EQ(heard.back(), stream.size());

  heard.clear();
  const Bytes cut(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(body.size() / 2));
  EXPECT_NE(payload::DecodePayload(cut, block, nullptr,
                                   [&](std::size_t decoded) { heard.push_back(decoded); }),
            payload::DecodeResult::kOk);
  ASSERT_FALSE(heard.empty());
  EXPECT_LT(heard.back(), stream.size());
}

TEST(PayloadContainer, DecodingStopsWhenTheBlockIsFull) {
  Bytes stream = SampleText();
  Bytes body = EncodeBody(stream);
  Bytes shorter = body;
  shorter[6] = static_cast<std::uint8_t>(stream.size() - 100);
  shorter[7] = static_cast<std::uint8_t>((stream.size() - 100) >> 8);
  Decoded decoded = Decode(shorter, stream.size() - 100);
  EXPECT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.block, Bytes(stream.begin(), stream.end() - 100));
}

TEST(PayloadContainer, EndMarkerBeforeTheDeclaredSizeIsAFailure) {
  // Decoding would leave the rest of the block undefined, and that memory
  // would end up in files on the player's disk.
  Bytes stream = SampleText();
  Bytes body = EncodeBody(stream);
  Decoded decoded = Decode(body, stream.size() + 1);
  EXPECT_FALSE(decoded.ok);
  EXPECT_EQ(decoded.produced, stream.size());
}

TEST(PayloadContainer, GarbageDataDoesNotDecode) {
  // Random data after a valid first byte soon asks for a match from before
  // the start of the block, or breaks the range coder.
  for (std::uint32_t seed = 10; seed < 30; ++seed) {
    Bytes data = test_support::RandomBytes(3000, seed);
    data[0] = 0;
    EXPECT_FALSE(Decode(MakeBody(0, 0x5D, 1u << 20, 100000, data), 100000).ok) << seed;
  }
}

TEST(PayloadContainer, EachFailureNamesItsCause) {
  // patchpack inspect tells an author which of these broke a payload.
  using payload::DecodeResult;
  Bytes stream = SampleText();
  Bytes body = EncodeBody(stream);
  EXPECT_EQ(Decode(Bytes(body.begin(), body.begin() + 13), stream.size()).result,
            DecodeResult::kTooShort);
  EXPECT_EQ(Decode(MakeBody(0, 0x5D, 4096, 0, {0, 0, 0, 0}), 0).result, DecodeResult::kTooShort);
  Bytes filter = body;
  filter[0] = 2;
  EXPECT_EQ(Decode(filter, stream.size()).result, DecodeResult::kUnknownFilter);
  Bytes properties = body;
  properties[1] = 225;
  EXPECT_EQ(Decode(properties, stream.size()).result, DecodeResult::kBadProperties);
  properties[1] = payload_test::PropertiesByte(4, 1, 2);
  EXPECT_EQ(Decode(properties, stream.size()).result, DecodeResult::kBadProperties);
  EXPECT_EQ(Decode(Bytes(body.begin(), body.end() - 40), stream.size()).result,
            DecodeResult::kEndsEarly);
  // The end marker comes one byte before the declared size.
  EXPECT_EQ(Decode(body, stream.size() + 1).result, DecodeResult::kEndsEarly);
  Bytes garbage = test_support::RandomBytes(3000, 11);
  garbage[0] = 0;
  EXPECT_EQ(Decode(MakeBody(0, 0x5D, 1u << 20, 100000, garbage), 100000).result,
            DecodeResult::kDamaged);
}

}  // namespace
