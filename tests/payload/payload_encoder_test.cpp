// The streaming encoder: the same payload whatever pieces the stream comes
// in, the declared size held to, and the preset carried into a payload the
// installer's decoder reads.
#include "payload/payload_encoder.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "payload/payload_container.h"
#include "payload/payload_writer.h"

namespace payload {
namespace {

// Text with repeats and a stretch of noise, so the encoder both matches and
// emits literals.
Bytes Sample() {
  Bytes bytes;
  std::mt19937 noise(7);
  for (int i = 0; i < 300000; ++i) {
    bytes.push_back(i % 5000 < 4000 ? static_cast<std::uint8_t>("patch stream "[i % 13])
                                    : static_cast<std::uint8_t>(noise()));
  }
  return bytes;
}

Bytes EncodeInPieces(const Bytes& stream, std::size_t piece, const EncodeOptions& options) {
  Bytes payload;
  PayloadEncoder encoder(stream.size(), options, [&](std::span<const std::uint8_t> out) {
    payload.insert(payload.end(), out.begin(), out.end());
  });
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    encoder.Feed(
        std::span<const std::uint8_t>(stream).subspan(at, std::min(piece, stream.size() - at)));
  }
  encoder.Finish();
  return payload;
}

Bytes Decoded(const Bytes& payload_bytes) {
  EXPECT_TRUE(CheckPayloadTrailer(payload_bytes));
  std::span<const std::uint8_t> body(payload_bytes.data(), payload_bytes.size() - kTrailerSize);
  Bytes block(*ReadDeclaredSize(body));
  EXPECT_EQ(DecodePayload(body, block), DecodeResult::kOk);
  return block;
}

TEST(PayloadEncoder, PiecesOfAnySizeGiveTheBytesOfTheWholeStream) {
  Bytes stream = Sample();
  for (bool x86 : {false, true}) {
    Bytes whole = BuildPayload(stream, {.x86_filter = x86});
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, stream.size()}) {
      SCOPED_TRACE(piece);
      EXPECT_EQ(EncodeInPieces(stream, piece, {.x86_filter = x86}), whole);
    }
  }
}

TEST(PayloadEncoder, HoldsToTheDeclaredSize) {
  Bytes stream(100, 1);
  Bytes sink;
  auto append = [&](std::span<const std::uint8_t> out) {
    sink.insert(sink.end(), out.begin(), out.end());
  };
  PayloadEncoder short_fed(stream.size(), {}, append);
  short_fed.Feed(std::span<const std::uint8_t>(stream).first(99));
  EXPECT_THROW(short_fed.Finish(), std::logic_error);
  PayloadEncoder over_fed(stream.size(), {}, append);
  over_fed.Feed(stream);
  EXPECT_THROW(over_fed.Feed(stream), std::logic_error);
  EXPECT_THROW(PayloadEncoder(1, {.preset = 10}, append), std::invalid_argument);
}

TEST(PayloadEncoder, EveryPresetDecodesToTheStreamWithTheSameDictionary) {
  Bytes stream = Sample();
  Bytes standard = BuildPayload(stream);
  for (EncodeOptions options :
       {EncodeOptions{.preset = 0}, EncodeOptions{.preset = 9, .extreme = true}}) {
    SCOPED_TRACE(options.preset);
    Bytes payload_bytes = EncodeInPieces(stream, 65536, options);
    EXPECT_NE(payload_bytes, standard);
    // The header, dictionary size included, does not follow the preset.
    EXPECT_TRUE(
        std::equal(standard.begin(), standard.begin() + kHeaderSize, payload_bytes.begin()));
    EXPECT_EQ(Decoded(payload_bytes), stream);
  }
}

}  // namespace
}  // namespace payload
