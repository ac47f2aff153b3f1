// The write-back layer under minizip: what reaches the file is what was
// written, at the places it was written to, and the seek back to a header
// inside the buffer costs no call of the layer below.
#include "engine/fs/write_gathering_layer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "installation_test.h"

namespace engine::test {
namespace {

// The native layer, with every call that reaches it recorded.
class CountingLayer {
 public:
  CountingLayer() { fill_fopen64_filefunc(&native_); }

  zlib_filefunc64_def functions() {
    zlib_filefunc64_def functions = native_;
    functions.opaque = this;
    functions.zwrite_file = [](voidpf opaque, voidpf stream, const void* bytes, uLong size) {
      auto& self = *static_cast<CountingLayer*>(opaque);
      self.calls.push_back("write " + std::to_string(size));
      return self.native_.zwrite_file(nullptr, stream, bytes, size);
    };
    functions.zseek64_file = [](voidpf opaque, voidpf stream, ZPOS64_T offset, int origin) {
      auto& self = *static_cast<CountingLayer*>(opaque);
      self.calls.push_back("seek " + std::to_string(offset));
      return self.native_.zseek64_file(nullptr, stream, offset, origin);
    };
    return functions;
  }

  std::vector<std::string> calls;

 private:
  zlib_filefunc64_def native_;
};

class WriteGatheringLayerTest : public InstallationTest {
 protected:
  CountingLayer counting;
  zlib_filefunc64_def base = counting.functions();
  WriteGatheringLayer layer{base};
  zlib_filefunc64_def functions = layer.functions();

  voidpf Create(const char* path) {
    return functions.zopen64_file(functions.opaque, path,
                                  ZLIB_FILEFUNC_MODE_WRITE | ZLIB_FILEFUNC_MODE_CREATE);
  }
  void Write(voidpf file, const std::string& bytes) {
    ASSERT_EQ(functions.zwrite_file(functions.opaque, file, bytes.data(), bytes.size()),
              bytes.size());
  }
  void Seek(voidpf file, ZPOS64_T offset) {
    ASSERT_EQ(functions.zseek64_file(functions.opaque, file, offset, ZLIB_FILEFUNC_SEEK_SET), 0);
  }
  ZPOS64_T Tell(voidpf file) { return functions.ztell64_file(functions.opaque, file); }
};

TEST_F(WriteGatheringLayerTest, PatchesAHeaderInTheBufferWithoutCallingTheLayerBelow) {
  voidpf file = Create("a.zip");
  ASSERT_NE(file, nullptr);
  Write(file, "HEADER....");
  Write(file, std::string(5000, 'd'));
  EXPECT_EQ(Tell(file), 5010u);
  Seek(file, 6);
  Write(file, "CRC!");
  EXPECT_EQ(Tell(file), 10u);
  Seek(file, 5010);
  Write(file, "tail");
  EXPECT_TRUE(counting.calls.empty());
  EXPECT_EQ(functions.zclose_file(functions.opaque, file), 0);

  EXPECT_EQ(counting.calls, std::vector<std::string>{"write 5014"});
  EXPECT_EQ(folder.Read("a.zip"), "HEADERCRC!" + std::string(5000, 'd') + "tail");
}

TEST_F(WriteGatheringLayerTest, WritesWholeAlignedBuffersAndReachesBackBeyondThem) {
  constexpr std::size_t kSize = WriteGatheringLayer::kBufferSize;
  voidpf file = Create("big.zip");
  ASSERT_NE(file, nullptr);
  std::string expected;
  // Odd-sized pieces, as minizip's 64 KiB buffer after a header would come.
  for (int i = 0; expected.size() < 2 * kSize + 1000; ++i) {
    const std::string piece(65536 + 13, static_cast<char>('a' + i % 26));
    Write(file, piece);
    expected += piece;
  }
  // Back to the first header, long since handed down, and on again.
  Seek(file, 3);
  Write(file, "XYZ");
  expected.replace(3, 3, "XYZ");
  Seek(file, expected.size());
  Write(file, "end");
  expected += "end";
  EXPECT_EQ(functions.zclose_file(functions.opaque, file), 0);

  EXPECT_EQ(folder.Read("big.zip"), expected);
  ASSERT_GE(counting.calls.size(), 2u);
  EXPECT_EQ(counting.calls[0], "write " + std::to_string(kSize));
  EXPECT_EQ(counting.calls[1], "write " + std::to_string(kSize));
  // The rest: the tail of the data, the patch at 3, the end; three seeks
  // or fewer, and no write of less than the patch but those.
  int seeks = 0;
  for (const std::string& call : counting.calls) seeks += call.starts_with("seek") ? 1 : 0;
  EXPECT_LE(seeks, 3);
}

// minizip fixes up the header of an entry larger than the buffer after the
// entry's bytes have moved on: that small write goes down on its own, and
// the buffer's writes keep ending on its multiples.
TEST_F(WriteGatheringLayerTest, APatchBehindTheBufferLeavesItsWritesAligned) {
  constexpr std::size_t kSize = WriteGatheringLayer::kBufferSize;
  voidpf file = Create("aligned.zip");
  ASSERT_NE(file, nullptr);
  std::string expected;
  for (int entry = 0; entry < 4; ++entry) {
    const std::size_t header = expected.size();
    const std::string bytes(kSize + kSize / 3 + 7, static_cast<char>('a' + entry));
    Write(file, "HDR" + bytes);
    expected += "HDR" + bytes;
    Seek(file, header);
    Write(file, "crc");
    expected.replace(header, 3, "crc");
    Seek(file, expected.size());
  }
  EXPECT_EQ(functions.zclose_file(functions.opaque, file), 0);

  EXPECT_EQ(folder.Read("aligned.zip"), expected);
  std::vector<std::string> writes;
  for (const std::string& call : counting.calls) {
    if (call.starts_with("write")) writes.push_back(call);
  }
  // Every write but the patches and the last is one whole buffer.
  const std::string whole = "write " + std::to_string(kSize);
  ASSERT_GE(writes.size(), 2u);
  for (std::size_t i = 0; i + 1 < writes.size(); ++i) {
    if (writes[i] != "write 3") {
      EXPECT_EQ(writes[i], whole) << "write " << i;
    }
  }
  EXPECT_EQ(std::count(writes.begin(), writes.end(), "write 3"), 4);
}

TEST_F(WriteGatheringLayerTest, ReportsAFailedWriteBelowWhenClosing) {
  zlib_filefunc64_def failing = counting.functions();
  failing.zwrite_file = [](voidpf, voidpf, const void*, uLong) -> uLong { return 0; };
  WriteGatheringLayer failing_layer(failing);
  zlib_filefunc64_def table = failing_layer.functions();
  voidpf file = table.zopen64_file(table.opaque, "c.zip",
                                   ZLIB_FILEFUNC_MODE_WRITE | ZLIB_FILEFUNC_MODE_CREATE);
  ASSERT_NE(file, nullptr);
  const std::string bytes(100, 'x');
  // Buffered, so the write itself succeeds; the close must not.
  EXPECT_EQ(table.zwrite_file(table.opaque, file, bytes.data(), 100), 100u);
  EXPECT_NE(table.zclose_file(table.opaque, file), 0);
}

// Files opened only for reading go through the read window (see
// read_window_test.cpp); one opened to be patched in place is left alone.
TEST_F(WriteGatheringLayerTest, PassesFilesOpenedToReadAndWriteThrough) {
  folder.Write("r.zip", "0123456789");
  voidpf file = functions.zopen64_file(
      functions.opaque, "r.zip",
      ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_WRITE | ZLIB_FILEFUNC_MODE_EXISTING);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(functions.zseek64_file(functions.opaque, file, 4, ZLIB_FILEFUNC_SEEK_SET), 0);
  char bytes[3];
  EXPECT_EQ(functions.zread_file(functions.opaque, file, bytes, 3), 3u);
  EXPECT_EQ(std::string(bytes, 3), "456");
  EXPECT_EQ(counting.calls, std::vector<std::string>{"seek 4"});
  EXPECT_EQ(functions.zclose_file(functions.opaque, file), 0);
}

}  // namespace
}  // namespace engine::test
