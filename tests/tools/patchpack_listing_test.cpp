// patchpack inspect, end to end: the listing of a good payload, and for each
// kind of damage the one line that names it.
#include <gtest/gtest.h>

#include <string>

#include "patchpack_runner.h"
#include "payload/payload_writer.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace patchpack {
namespace {

using patchpack_test::RunPatchpack;
using test_support::Quoted;
using test_support::TempDir;

payload::Bytes Text(const std::string& text) { return payload::Bytes(text.begin(), text.end()); }

payload::PatchDescription Sample() {
  payload::PatchDescription description;
  description.version = static_cast<std::uint32_t>(-7);
  description.loose_files = {{"a\\b.txt", Text("abc")}, {"empty", {}}};
  description.archives = {{"d.zip", {{"e.txt", Text("hi")}}, {"old.txt"}}, {"data\\x.pak", {}, {}}};
  description.deletions = {"x.dat"};
  return description;
}

test_support::CommandResult Inspect(const payload::Bytes& payload_bytes) {
  TempDir dir;
  test_support::WriteBytes(dir / "p.bin", payload_bytes);
  return RunPatchpack("inspect " + Quoted(dir / "p.bin"));
}

TEST(PatchpackInspect, ListsWhatThePatchDoes) {
  auto result =
      Inspect(payload::BuildPayload(payload::BuildPatchStream(Sample()), {.x86_filter = true}));
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out,
            "version -7\n"
            "x86 filter on\n"
            "loose files: 2\n"
            "  a\\b.txt  3 bytes\n"
            "  empty  0 bytes\n"
            "archives: 2\n"
            "  d.zip\n"
            "    + e.txt  2 bytes\n"
            "    - old.txt\n"
            "  data\\x.pak\n"
            "deletions: 1\n"
            "  x.dat\n");
  EXPECT_TRUE(result.err.empty());
}

// Replaces the body's byte at `offset` and seals the payload again, so the
// damage gets past the trailer to the check behind it.
payload::Bytes Resealed(payload::Bytes payload_bytes, std::size_t offset, std::uint8_t value) {
  payload::Bytes body(payload_bytes.begin(), payload_bytes.end() - 20);
  body[offset] = value;
  return payload::AppendTrailer(body);
}

struct Damage {
  const char* what;
  payload::Bytes payload;
  const char* expected_error;
};

TEST(PatchpackInspect, NamesEachKindOfDamageInOneLine) {
  const payload::Bytes good = payload::BuildPayload(payload::BuildPatchStream(Sample()));
  payload::Bytes flipped = good;
  flipped[3] ^= 0x10;
  const payload::Bytes cut_short(good.begin(), good.end() - 1);
  const payload::Bytes body(good.begin(), good.end() - 20);
  payload::Bytes data_cut(body.begin(), body.begin() + 16);
  payload::Bytes extra_stream = payload::BuildPatchStream(Sample());
  extra_stream.push_back(0);
  const payload::Bytes unterminated_name = {1, 0, 0, 0, 'a', '\\', 'b'};
  const payload::Bytes size_past_end = {1, 0, 0, 0, 'f', 0, 50, 0, 0, 0, 'x', 0, 0, 0};

  const Damage cases[] = {
      {"bit flipped in the header", flipped, "corrupt: the SHA-1 trailer does not match"},
      {"cut by one byte", cut_short, "corrupt: the SHA-1 trailer does not match"},
      {"twenty bytes", payload::Bytes(20, 0), "too short: 20 bytes"},
      {"body shorter than its header", payload::AppendTrailer(payload::Bytes(13, 0)),
       "too short: the body is 13 bytes, less than its 14-byte header"},
      {"size of 4 GiB or more", Resealed(good, 10, 1), "undecodable: the declared stream size"},
      {"filter flag 2", Resealed(good, 0, 2), "undecodable: unknown filter flag 2"},
      {"properties 225", Resealed(good, 1, 225), "undecodable: LZMA properties byte 225"},
      {"LZMA data cut short", payload::AppendTrailer(data_cut),
       "undecodable: the LZMA data is damaged"},
      {"LZMA data cut in the middle",
       payload::AppendTrailer(payload::Bytes(body.begin(), body.end() - 40)),
       "undecodable: the LZMA data ends before the declared"},
      {"name without its 0 byte", payload::BuildPayload(unterminated_name),
       "malformed stream: a record starting before offset 4 runs past the end of the 7-byte"},
      {"content past the end", payload::BuildPayload(size_past_end), "malformed stream: a record"},
      {"byte after the deletions", payload::BuildPayload(extra_stream),
       "malformed stream: 1 bytes follow the end of the deletion list"},
  };
  for (const Damage& damage : cases) {
    SCOPED_TRACE(damage.what);
    auto result = Inspect(damage.payload);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(patchpack_test::IsOneLineError(result)) << result.out << result.err;
    EXPECT_NE(result.err.find(damage.expected_error), std::string::npos) << result.err;
  }
}

TEST(PatchpackCommandLine, HelpEverywhereAndUsageErrorsExitWithTwo) {
  for (const char* help : {"--help", "-h", "build --help", "inspect -h", "help"}) {
    SCOPED_TRACE(help);
    auto result = RunPatchpack(help);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out.rfind("usage: patchpack", 0), 0u) << result.out;
    EXPECT_TRUE(result.err.empty());
  }
  for (const char* misuse :
       {"", "bogus", "build", "build src", "build src -o", "build -o p", "build src -o p --fast",
        "build src -o p -o q", "inspect", "inspect a b"}) {
    SCOPED_TRACE(misuse);
    auto result = RunPatchpack(misuse);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_TRUE(patchpack_test::IsOneLineError(result)) << result.err;
    EXPECT_NE(result.err.find("(see --help)"), std::string::npos);
  }
  TempDir dir;
  auto missing = RunPatchpack("inspect " + Quoted(dir / "nothing.bin"));
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_TRUE(patchpack_test::IsOneLineError(missing)) << missing.err;
  EXPECT_NE(missing.err.find("cannot read"), std::string::npos);
}

}  // namespace
}  // namespace patchpack
