// The patch stream cursor: the grammar read the way the installation run
// reads it, and streams that end too early, which must be refused by the
// overrun handler without a read past the block.
#include "payload/patch_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "tests/support/bytes.h"

namespace {

using payload::PatchStream;
using test_support::Bytes;

struct StreamOverrun {};

[[noreturn]] void ThrowOverrun() { throw StreamOverrun{}; }

// The block is allocated at exactly the stream's size, so the address
// sanitizer reports any byte read beyond it.
PatchStream MakeStream(const Bytes& bytes) {
  std::unique_ptr<std::uint8_t[]> block;
  if (!bytes.empty()) {
    block = std::make_unique_for_overwrite<std::uint8_t[]>(bytes.size());
    std::memcpy(block.get(), bytes.data(), bytes.size());
  }
  return PatchStream(std::move(block), static_cast<std::uint32_t>(bytes.size()), &ThrowOverrun);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Name(const std::string& name) {
  Bytes bytes(name.begin(), name.end());
  bytes.push_back(0);
  return bytes;
}

Bytes U32(std::uint32_t value) {
  Bytes bytes;
  base::AppendLittleEndian(bytes, value, 4);
  return bytes;
}

std::string Text(std::span<const std::uint8_t> bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// Reads a whole stream in the order of the run and writes down what it found.
std::vector<std::string> ReadAsTheRunDoes(PatchStream& stream) {
  std::vector<std::string> found;
  found.push_back("version " + std::to_string(static_cast<std::int32_t>(stream.ReadU32())));
  for (std::string name; !(name = stream.ReadName()).empty();) {
    std::uint32_t size = stream.ReadU32();
    found.push_back("file " + name + " = " + Text(stream.TakeBytes(size)));
  }
  for (std::string archive; !(archive = stream.ReadName()).empty();) {
    found.push_back("archive " + archive);
    for (std::string entry; !(entry = stream.ReadName()).empty();) {
      std::uint32_t size = stream.ReadU32();
      found.push_back("  entry " + entry + " = " + Text(stream.TakeBytes(size)));
    }
    for (std::string drop; !(drop = stream.ReadName()).empty();) found.push_back("  drop " + drop);
  }
  for (std::string path; !(path = stream.ReadName()).empty();) found.push_back("delete " + path);
  return found;
}

const Bytes kWorkedExample = {
    0x0E, 0x00, 0x00, 0x00, 0x61, 0x5C, 0x62, 0x2E, 0x74, 0x78, 0x74, 0x00, 0x03, 0x00,
    0x00, 0x00, 0x61, 0x62, 0x63, 0x00, 0x64, 0x2E, 0x7A, 0x69, 0x70, 0x00, 0x65, 0x2E,
    0x74, 0x78, 0x74, 0x00, 0x02, 0x00, 0x00, 0x00, 0x68, 0x69, 0x00, 0x6F, 0x6C, 0x64,
    0x2E, 0x74, 0x78, 0x74, 0x00, 0x00, 0x00, 0x78, 0x2E, 0x64, 0x61, 0x74, 0x00, 0x00};

TEST(PatchStream, ReadsTheWorkedExampleFieldByField) {
  ASSERT_EQ(kWorkedExample.size(), 56u);
  PatchStream stream = MakeStream(kWorkedExample);
  EXPECT_EQ(stream.ReadU32(), 14u);
  EXPECT_EQ(stream.ReadName(), "a\\b.txt");
  EXPECT_EQ(stream.offset(), 12u);
  EXPECT_EQ(stream.ReadU32(), 3u);
  EXPECT_EQ(Text(stream.TakeBytes(3)), "abc");
  EXPECT_EQ(stream.offset(), 19u);
  EXPECT_EQ(stream.ReadName(), "");
  EXPECT_EQ(stream.offset(), 20u);
  EXPECT_EQ(stream.ReadName(), "d.zip");
  EXPECT_EQ(stream.ReadName(), "e.txt");
  EXPECT_EQ(stream.offset(), 32u);
  EXPECT_EQ(stream.ReadU32(), 2u);
  EXPECT_EQ(Text(stream.TakeBytes(2)), "hi");
  EXPECT_EQ(stream.ReadName(), "");
  EXPECT_EQ(stream.ReadName(), "old.txt");
  EXPECT_EQ(stream.offset(), 47u);
  EXPECT_EQ(stream.ReadName(), "");
  EXPECT_EQ(stream.ReadName(), "");
  EXPECT_EQ(stream.offset(), 49u);
  EXPECT_FALSE(stream.IsFullyConsumed());
  EXPECT_EQ(stream.ReadName(), "x.dat");
  EXPECT_EQ(stream.ReadName(), "");
  EXPECT_EQ(stream.offset(), 56u);
  EXPECT_TRUE(stream.IsFullyConsumed());
}

TEST(PatchStream, WorkedExampleReadsAsLaidOut) {
  PatchStream stream = MakeStream(kWorkedExample);
  EXPECT_EQ(ReadAsTheRunDoes(stream),
            (std::vector<std::string>{"version 14", "file a\\b.txt = abc", "archive d.zip",
                                      "  entry e.txt = hi", "  drop old.txt", "delete x.dat"}));
  EXPECT_TRUE(stream.IsFullyConsumed());
}

TEST(PatchStream, SmallestStreamIsAVersionAndThreeTerminators) {
  PatchStream stream = MakeStream({7, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(ReadAsTheRunDoes(stream), std::vector<std::string>{"version 7"});
  EXPECT_EQ(stream.offset(), 7u);
  EXPECT_TRUE(stream.IsFullyConsumed());
}

TEST(PatchStream, VersionAllOnesReadsAsMinusOne) {
  const Bytes bytes = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0};
  EXPECT_EQ(MakeStream(bytes).ReadU32(), 0xFFFFFFFFu);
  PatchStream stream = MakeStream(bytes);
  EXPECT_EQ(ReadAsTheRunDoes(stream), std::vector<std::string>{"version -1"});
}

TEST(PatchStream, OnlyTheSizeDecidesWhereContentEnds) {
  // An empty file, a file holding zeros and name-like bytes, and an archive
  // with an empty entry and nothing to drop.
  Bytes bytes =
      Concat({U32(3), Name("empty"), U32(0), Name("tricky"), U32(6), Bytes{'a', 0, 'b', 0, 0, 0},
              Bytes{0}, Name("p.zip"), Name("e"), U32(0), Bytes{0}, Bytes{0}, Bytes{0}, Bytes{0}});
  PatchStream stream = MakeStream(bytes);
  EXPECT_EQ(stream.ReadU32(), 3u);
  EXPECT_EQ(stream.ReadName(), "empty");
  EXPECT_EQ(stream.ReadU32(), 0u);
  std::uint32_t before = stream.offset();
  EXPECT_TRUE(stream.TakeBytes(0).empty());
  EXPECT_EQ(stream.offset(), before);
  EXPECT_EQ(stream.ReadName(), "tricky");
  EXPECT_EQ(stream.ReadU32(), 6u);
  std::span<const std::uint8_t> content = stream.TakeBytes(6);
  EXPECT_EQ(Bytes(content.begin(), content.end()), (Bytes{'a', 0, 'b', 0, 0, 0}));

  PatchStream again = MakeStream(bytes);
  EXPECT_EQ(ReadAsTheRunDoes(again),
            (std::vector<std::string>{
                "version 3", "file empty = ", "file tricky = " + std::string("a\0b\0\0\0", 6),
                "archive p.zip", "  entry e = "}));
  EXPECT_TRUE(again.IsFullyConsumed());
}

TEST(PatchStream, AByteAfterTheLastTerminatorIsNotConsumed) {
  Bytes bytes = kWorkedExample;
  bytes.push_back(0);
  PatchStream stream = MakeStream(bytes);
  ReadAsTheRunDoes(stream);
  EXPECT_EQ(stream.offset(), 56u);
  EXPECT_FALSE(stream.IsFullyConsumed());
}

TEST(PatchStream, ViewsStayValidWhileTheStreamLives) {
  PatchStream stream = MakeStream(kWorkedExample);
  stream.ReadU32();
  stream.ReadName();
  stream.ReadU32();
  std::span<const std::uint8_t> abc = stream.TakeBytes(3);
  while (!stream.IsFullyConsumed()) stream.ReadName();
  EXPECT_EQ(Text(abc), "abc");
}

TEST(PatchStream, EveryCutOfTheExampleIsRefusedByTheOverrunHandler) {
  for (std::size_t size = 0; size < kWorkedExample.size(); ++size) {
    PatchStream stream = MakeStream(Bytes(kWorkedExample.begin(), kWorkedExample.begin() + size));
    EXPECT_THROW(ReadAsTheRunDoes(stream), StreamOverrun) << size;
    EXPECT_LE(stream.offset(), size);
  }
}

TEST(PatchStream, ReadsThatWouldPassTheEndLeaveTheOffsetAlone) {
  PatchStream name_without_end = MakeStream(Concat({U32(1), Bytes{'a', '\\', 'b'}}));
  name_without_end.ReadU32();
  EXPECT_THROW(name_without_end.ReadName(), StreamOverrun);
  EXPECT_EQ(name_without_end.offset(), 4u);

  for (std::size_t left = 0; left < 4; ++left) {
    PatchStream cut_u32 = MakeStream(Concat({Name("f"), Bytes(left, 0x01)}));
    cut_u32.ReadName();
    EXPECT_THROW(cut_u32.ReadU32(), StreamOverrun) << left;
    EXPECT_EQ(cut_u32.offset(), 2u);
  }

  PatchStream long_content = MakeStream(Concat({Name("f"), U32(5), Bytes{1, 2, 3, 4}}));
  long_content.ReadName();
  std::uint32_t size = long_content.ReadU32();
  EXPECT_THROW(long_content.TakeBytes(size), StreamOverrun);
  // A size near 4 GiB must not wrap around the bounds check.
  EXPECT_THROW(long_content.TakeBytes(0xFFFFFFFFu), StreamOverrun);
  EXPECT_THROW(long_content.TakeBytes(0xFFFFFFFDu), StreamOverrun);
  EXPECT_EQ(long_content.offset(), 6u);
  EXPECT_EQ(long_content.TakeBytes(4).size(), 4u);
  EXPECT_TRUE(long_content.IsFullyConsumed());
}

TEST(PatchStream, AnEmptyBlockHasNothingToRead) {
  PatchStream stream = MakeStream({});
  EXPECT_TRUE(stream.IsFullyConsumed());
  EXPECT_TRUE(stream.TakeBytes(0).empty());
  EXPECT_THROW(stream.ReadName(), StreamOverrun);
  EXPECT_THROW(stream.ReadU32(), StreamOverrun);
  EXPECT_THROW(stream.TakeBytes(1), StreamOverrun);
}

}  // namespace
