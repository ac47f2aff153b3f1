// SHA-1 against the FIPS 180 vectors and the system's sha1sum, on both the
// portable path and the SHA extension path where this processor has it.
#include "payload/sha1.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/hex.h"
#include "tests/support/bytes.h"
#include "tests/support/command.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace {

using payload::Sha1;
using payload::Sha1BlockFunction;
using test_support::Bytes;

std::span<const std::uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string Digest(Sha1BlockFunction blocks, std::span<const std::uint8_t> data) {
  Sha1 sha1(blocks);
  sha1.Update(data);
  return base::LowerHex(sha1.Finish());
}

// Every path to test: the portable code, the SHA extensions when present, and
// whatever the default constructor picks.
struct Path {
  const char* name;
  Sha1BlockFunction blocks;
};

std::vector<Path> Paths() {
  std::vector<Path> paths = {{"portable", &payload::Sha1BlocksPortable}};
  if (Sha1BlockFunction accelerated = payload::Sha1BlocksAccelerated()) {
    paths.push_back({"accelerated", accelerated});
  }
  return paths;
}

struct Vector {
  std::string message;
  const char* digest;
};

std::vector<Vector> FipsVectors() {
  return {
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
  };
}

TEST(Sha1, MatchesFipsVectorsOnEveryPath) {
  for (const Path& path : Paths()) {
    for (const Vector& vector : FipsVectors()) {
      EXPECT_EQ(Digest(path.blocks, AsBytes(vector.message)), vector.digest)
          << path.name << ", message of " << vector.message.size() << " bytes";
    }
  }
  for (const Vector& vector : FipsVectors()) {
    EXPECT_EQ(base::LowerHex(payload::ComputeSha1(AsBytes(vector.message))), vector.digest);
  }
}

TEST(Sha1, SelectsTheShaExtensionsWhenTheProcessorHasThem) {
  std::FILE* cpuinfo = std::fopen("/proc/cpuinfo", "r");
  if (cpuinfo == nullptr) GTEST_SKIP() << "no /proc/cpuinfo";
  std::string text;
  char chunk[4096];
  std::size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, cpuinfo)) > 0) text.append(chunk, count);
  std::fclose(cpuinfo);
#if defined(__x86_64__) || defined(__i386__)
  const bool has_sha = text.find(" sha_ni") != std::string::npos;
  EXPECT_EQ(payload::Sha1BlocksAccelerated() != nullptr, has_sha);
#else
  EXPECT_EQ(payload::Sha1BlocksAccelerated(), nullptr);
#endif
}

TEST(Sha1, BlockFunctionsAgreeOnRandomBlocks) {
  Sha1BlockFunction accelerated = payload::Sha1BlocksAccelerated();
  if (accelerated == nullptr) GTEST_SKIP() << "processor has no SHA extensions";
  for (std::size_t block_count : {1u, 2u, 3u, 17u}) {
    Bytes data =
        test_support::RandomBytes(64 * block_count, static_cast<std::uint32_t>(block_count));
    std::uint32_t portable_state[5] = {1, 0xFFFFFFFFu, 0x80000000u, 12345, 0xDEADBEEFu};
    std::uint32_t accelerated_state[5] = {1, 0xFFFFFFFFu, 0x80000000u, 12345, 0xDEADBEEFu};
    payload::Sha1BlocksPortable(portable_state, data.data(), block_count);
    accelerated(accelerated_state, data.data(), block_count);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(portable_state[i], accelerated_state[i]) << block_count;
  }
}

// Every length around the padding boundaries of one and two blocks, then a
// spread of longer ones, each checked against sha1sum in one run of the tool.
std::vector<std::size_t> InterestingLengths() {
  std::vector<std::size_t> lengths;
  for (std::size_t length = 0; length <= 200; ++length) lengths.push_back(length);
  for (std::size_t length :
       {255u, 256u, 257u, 511u, 1000u, 4095u, 4096u, 4097u, 65536u, 65599u, 1048576u + 55u}) {
    lengths.push_back(length);
  }
  return lengths;
}

TEST(Sha1, AgreesWithSha1sumOnRandomDataOfManyLengths) {
  test_support::TempDir dir("payload-test");
  std::vector<std::size_t> lengths = InterestingLengths();
  std::vector<Bytes> inputs;
  for (std::size_t length : lengths) {
    inputs.push_back(test_support::RandomBytes(length, static_cast<std::uint32_t>(length * 7 + 1)));
    test_support::WriteBytes(dir.path() / std::to_string(length), inputs.back());
  }
  const test_support::CommandResult sha1sum =
      test_support::RunCommand("cd " + test_support::Quoted(dir.path()) + " && sha1sum -- *");
  EXPECT_TRUE(test_support::Succeeded(sha1sum));
  std::istringstream listing(sha1sum.out);
  std::size_t checked = 0;
  std::string expected, name;
  while (listing >> expected >> name) {
    std::size_t length = std::stoul(name);
    std::size_t index = 0;
    while (lengths[index] != length) ++index;
    for (const Path& path : Paths()) {
      EXPECT_EQ(Digest(path.blocks, inputs[index]), expected) << path.name << ", " << length;
    }
    EXPECT_EQ(base::LowerHex(payload::ComputeSha1(inputs[index])), expected) << length;
    ++checked;
  }
  EXPECT_EQ(checked, lengths.size());
}

TEST(Sha1, IncrementalUpdatesGiveTheOneShotDigest) {
  Bytes data = test_support::RandomBytes(1000, 99);
  std::string whole = base::LowerHex(payload::ComputeSha1(data));
  const std::vector<std::vector<std::size_t>> splittings = {{1, 1, 1, 997},
                                                            {55, 1, 8, 936},
                                                            {63, 1, 64, 872},
                                                            {64, 64, 872},
                                                            {65, 119, 120, 127, 128, 441},
                                                            {3, 61, 0, 5, 59, 0, 7, 865},
                                                            {999, 1},
                                                            {0, 1000}};
  for (const Path& path : Paths()) {
    for (const auto& pieces : splittings) {
      Sha1 sha1(path.blocks);
      std::size_t offset = 0;
      for (std::size_t piece : pieces) {
        sha1.Update(std::span<const std::uint8_t>(data).subspan(offset, piece));
        offset += piece;
      }
      ASSERT_EQ(offset, data.size());
      EXPECT_EQ(base::LowerHex(sha1.Finish()), whole) << path.name;
    }
    // Byte by byte, and the object is ready for a new message after Finish.
    Sha1 sha1(path.blocks);
    for (std::uint8_t byte : data) sha1.Update(std::span<const std::uint8_t>(&byte, 1));
    EXPECT_EQ(base::LowerHex(sha1.Finish()), whole) << path.name;
    sha1.Update(AsBytes("abc"));
    EXPECT_EQ(base::LowerHex(sha1.Finish()), "a9993e364706816aba3e25717850c26c9cd0d89d")
        << path.name;
  }
}

}  // namespace
