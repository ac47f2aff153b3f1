// The payload writer, checked against the grammar byte for byte and against
// decoders it shares no code with: the xz tool and sha1sum, then our own
// payload decoder.
#include "payload/payload_writer.h"
#include "base/hex.h"
#include "base/little_endian.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "payload/payload_container.h"
#include "tests/support/command.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace payload {
namespace {

using test_support::Quoted;
using test_support::RunCommand;
using test_support::TempDir;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::uint64_t ReadLittleEndian(const Bytes& bytes, std::size_t offset, std::size_t count) {
  return base::LoadLittleEndian(std::span(bytes).subspan(offset, count));
}

PatchDescription WorkedExample() {
  PatchDescription description;
  description.version = 14;
  description.loose_files = {{"a\\b.txt", Text("abc")}};
  description.archives = {{"d.zip", {{"e.txt", Text("hi")}}, {"old.txt"}}};
  description.deletions = {"x.dat"};
  return description;
}

// Real x86 code (this test's own executable), with call and jump opcodes
// placed where the converter must and must not act: E8 as the fifth byte from
// the end still has its operand converted; E8 and E9 in the last four bytes
// are never taken as opcodes.
Bytes X86Sample() {
  Bytes code = test_support::ReadBytes("/proc/self/exe");
  Bytes sample(code.begin(), code.begin() + std::min<std::size_t>(code.size(), 96u << 10));
  const Bytes tail = {0xE8, 0x10, 0x20, 0x00, 0x00, 0xE8, 0x01, 0xE9, 0x02};
  sample.insert(sample.end(), tail.begin(), tail.end());
  return sample;
}

// Decodes the LZMA1 data of a body with xz, as raw data, optionally undoing
// the x86 conversion on the way.
Bytes DecodeRawWithXz(const Bytes& body, bool x86) {
  TempDir dir;
  test_support::WriteBytes(dir / "data", Bytes(body.begin() + 14, body.end()));
  std::string filters = x86 ? "--x86 " : "";
  filters += "--lzma1=lc=3,lp=0,pb=2,dict=" + std::to_string(ReadLittleEndian(body, 2, 4));
  auto result = RunCommand("xz --format=raw " + filters + " -dc " + Quoted(dir / "data"));
  EXPECT_EQ(result.exit_code, 0) << result.err;
  return Bytes(result.out.begin(), result.out.end());
}

TEST(PatchStreamWriter, WorkedExampleMatchesByteForByte) {
  const Bytes expected = {0x0E, 0x00, 0x00, 0x00, 0x61, 0x5C, 0x62, 0x2E, 0x74, 0x78, 0x74, 0x00,
                          0x03, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63, 0x00, 0x64, 0x2E, 0x7A, 0x69,
                          0x70, 0x00, 0x65, 0x2E, 0x74, 0x78, 0x74, 0x00, 0x02, 0x00, 0x00, 0x00,
                          0x68, 0x69, 0x00, 0x6F, 0x6C, 0x64, 0x2E, 0x74, 0x78, 0x74, 0x00, 0x00,
                          0x00, 0x78, 0x2E, 0x64, 0x61, 0x74, 0x00, 0x00};
  EXPECT_EQ(BuildPatchStream(WorkedExample()), expected);
}

TEST(PatchStreamWriter, EveryListEndsWithItsOwnTerminator) {
  EXPECT_EQ(BuildPatchStream({}), Bytes({0, 0, 0, 0, 0, 0, 0}));

  PatchDescription description;
  description.version = 0xFFFFFFFF;
  description.loose_files = {{"empty", {}}, {"zeros", {0, 0}}};
  description.archives = {{"z", {}, {}}};
  EXPECT_EQ(BuildPatchStream(description),
            Bytes({0xFF, 0xFF, 0xFF, 0xFF, 'e', 'm', 'p', 't', 'y', 0, 0,   0, 0, 0, 'z', 'e', 'r',
                   'o',  's',  0,    2,    0,   0,   0,   0,   0,   0, 'z', 0, 0, 0, 0,   0}));
}

TEST(PatchStreamWriter, RefusesNamesThatWouldEndAListEarly) {
  PatchDescription empty_name;
  empty_name.deletions = {""};
  EXPECT_THROW(BuildPatchStream(empty_name), std::invalid_argument);

  PatchDescription zero_byte;
  zero_byte.archives = {{"a.zip", {{std::string("x\0y", 3), {}}}, {}}};
  EXPECT_THROW(BuildPatchStream(zero_byte), std::invalid_argument);

  PatchDescription empty_drop;
  empty_drop.archives = {{"a.zip", {}, {""}}};
  EXPECT_THROW(BuildPatchStream(empty_drop), std::invalid_argument);
}

TEST(PayloadWriter, HeaderDeclaresTheStreamAndTrailerIsItsSha1) {
  Bytes stream = BuildPatchStream(WorkedExample());
  Bytes payload = BuildPayload(stream);
  ASSERT_GT(payload.size(), 14u + 5u + 20u);
  EXPECT_EQ(payload[0], 0);
  EXPECT_EQ(payload[1], 0x5D);  // lc 3, lp 0, pb 2
  EXPECT_EQ(ReadLittleEndian(payload, 2, 4), 4096u);
  EXPECT_EQ(ReadLittleEndian(payload, 6, 4), stream.size());
  EXPECT_EQ(ReadLittleEndian(payload, 10, 4), 0u);

  TempDir dir;
  Bytes body(payload.begin(), payload.end() - 20);
  test_support::WriteBytes(dir / "body", body);
  auto sha1sum = RunCommand("sha1sum " + Quoted(dir / "body"));
  ASSERT_EQ(sha1sum.exit_code, 0);
  EXPECT_EQ(sha1sum.out.substr(0, 40),
            base::LowerHex(std::span<const std::uint8_t>(payload).last(20)));
  EXPECT_EQ(AppendTrailer(body), payload);
}

TEST(PayloadWriter, PropertiesAndDictionaryFollowTheOptionsAndTheStream) {
  Bytes small(5000, 'x');
  Bytes payload = BuildPayload(small, {.x86_filter = true, .lc = 0, .lp = 2, .pb = 0});
  EXPECT_EQ(payload[0], 1);
  EXPECT_EQ(payload[1], 18);  // (0 * 5 + 2) * 9 + 0
  EXPECT_EQ(ReadLittleEndian(payload, 2, 4), 8192u);

  EXPECT_THROW(BuildPayload(small, {.lc = 4, .lp = 1}), std::invalid_argument);
  EXPECT_THROW(BuildPayload(small, {.pb = 5}), std::invalid_argument);
}

TEST(PayloadWriter, SameInputGivesSameBytes) {
  Bytes sample = X86Sample();
  EXPECT_EQ(BuildPayload(sample), BuildPayload(sample));
  EXPECT_EQ(BuildPayload(sample, {.x86_filter = true}), BuildPayload(sample, {.x86_filter = true}));
  EXPECT_NE(BuildPayload(sample), BuildPayload(sample, {.x86_filter = true}));
}

TEST(PayloadWriter, XzReadsThePlainBodyAsLzmaAlone) {
  Bytes stream = BuildPatchStream(WorkedExample());
  Bytes payload = BuildPayload(stream);
  TempDir dir;
  test_support::WriteBytes(dir / "p.lzma", Bytes(payload.begin() + 1, payload.end() - 20));
  auto result = RunCommand("xz --format=lzma -dc " + Quoted(dir / "p.lzma"));
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(Bytes(result.out.begin(), result.out.end()), stream);
}

TEST(PayloadWriter, X86ConversionIsUndoneByXzAndSparesTheLastFourBytes) {
  Bytes sample = X86Sample();
  Bytes payload = BuildPayload(sample, {.x86_filter = true});
  Bytes body(payload.begin(), payload.end() - 20);

  EXPECT_EQ(DecodeRawWithXz(body, true), sample);

  // Without undoing it, the conversion shows: the operand after the E8 at the
  // fifth byte from the end has changed, the last four bytes have not.
  Bytes converted = DecodeRawWithXz(body, false);
  ASSERT_EQ(converted.size(), sample.size());
  EXPECT_NE(converted, sample);
  EXPECT_TRUE(std::equal(sample.end() - 4, sample.end(), converted.end() - 4));
  EXPECT_FALSE(std::equal(sample.end() - 8, sample.end() - 4, converted.end() - 8));
}

TEST(PayloadWriter, RoundTripsThroughThePayloadDecoder) {
  struct Case {
    Bytes stream;
    EncodeOptions options;
  };
  const Case cases[] = {
      {BuildPatchStream({}), {}},
      {BuildPatchStream(WorkedExample()), {}},
      {X86Sample(), {.x86_filter = true}},
      {X86Sample(), {.lc = 0, .lp = 2, .pb = 0}},
      {Bytes(3, 0xE8), {.x86_filter = true}},
  };
  for (const Case& c : cases) {
    Bytes payload = BuildPayload(c.stream, c.options);
    ASSERT_TRUE(payload::CheckPayloadTrailer(payload));
    std::span<const std::uint8_t> body(payload.data(), payload.size() - 20);
    std::optional<std::uint32_t> size = payload::ReadDeclaredSize(body);
    ASSERT_EQ(size, c.stream.size());
    Bytes block(*size);
    ASSERT_EQ(payload::DecodePayload(body, block), payload::DecodeResult::kOk)
        << "stream of " << c.stream.size();
    EXPECT_EQ(block, c.stream);
  }
}

}  // namespace
}  // namespace payload
