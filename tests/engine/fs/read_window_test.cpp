// The reading side of the archive layer, through a real file: what a read
// returns is the file's bytes at the position, scattered small reads inside
// the window reach the layer below once, fills start on a page, a read
// larger than the buffer goes below whole, reads past the end go below
// once, and a failed read below still shows through the error callback.
#include "engine/fs/read_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/fs/write_gathering_layer.h"
#include "installation_test.h"

namespace engine::test {
namespace {

constexpr std::size_t kSize = ReadWindow::kBufferSize;

// The native layer, with every read and seek that reaches it recorded, and
// reads made to fail on request.
class CountingLayer {
 public:
  CountingLayer() { fill_fopen64_filefunc(&native_); }

  zlib_filefunc64_def functions() {
    zlib_filefunc64_def functions = native_;
    functions.opaque = this;
    functions.zread_file = [](voidpf opaque, voidpf stream, void* bytes, uLong size) -> uLong {
      auto& self = *static_cast<CountingLayer*>(opaque);
      self.calls.push_back("read " + std::to_string(size));
      if (self.fail_reads) {
        self.failed = true;
        return 0;
      }
      return self.native_.zread_file(nullptr, stream, bytes, size);
    };
    functions.zseek64_file = [](voidpf opaque, voidpf stream, ZPOS64_T offset, int origin) {
      auto& self = *static_cast<CountingLayer*>(opaque);
      self.calls.push_back("seek " + std::to_string(offset));
      return self.native_.zseek64_file(nullptr, stream, offset, origin);
    };
    functions.zerror_file = [](voidpf opaque, voidpf stream) {
      auto& self = *static_cast<CountingLayer*>(opaque);
      return self.failed ? 1 : self.native_.zerror_file(nullptr, stream);
    };
    return functions;
  }

  std::vector<std::string> calls;
  bool fail_reads = false;
  bool failed = false;

 private:
  zlib_filefunc64_def native_;
};

class ReadWindowTest : public InstallationTest {
 protected:
  ReadWindowTest() {
    for (std::size_t i = 0; content.size() < 3 * kSize + 777; ++i) {
      content += static_cast<char>('a' + (i * 7 + i / 251) % 26);
    }
    folder.Write("old.zip", content);
    file = functions.zopen64_file(functions.opaque, "old.zip",
                                  ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING);
  }
  ~ReadWindowTest() override {
    if (file != nullptr) functions.zclose_file(functions.opaque, file);
  }

  void Seek(ZPOS64_T offset, int origin = ZLIB_FILEFUNC_SEEK_SET) {
    ASSERT_EQ(functions.zseek64_file(functions.opaque, file, offset, origin), 0);
  }
  // Reads `size` bytes at the position and checks them against the file.
  void ExpectRead(std::size_t size, std::size_t expected_size) {
    const ZPOS64_T at = functions.ztell64_file(functions.opaque, file);
    std::string bytes(size, '\0');
    ASSERT_EQ(functions.zread_file(functions.opaque, file, bytes.data(), size), expected_size);
    bytes.resize(expected_size);
    EXPECT_TRUE(bytes == content.substr(at, expected_size)) << "at " << at;
    EXPECT_EQ(functions.ztell64_file(functions.opaque, file), at + expected_size);
  }

  std::string content;
  CountingLayer counting;
  zlib_filefunc64_def base = counting.functions();
  WriteGatheringLayer layer{base};
  zlib_filefunc64_def functions = layer.functions();
  voidpf file = nullptr;
};

TEST_F(ReadWindowTest, ServesScatteredReadsInsideTheWindowWithOneReadBelow) {
  ASSERT_NE(file, nullptr);
  Seek(5000);
  ExpectRead(46, 46);
  // Backwards and forwards inside the window, as a directory walk goes.
  Seek(4100);
  ExpectRead(4, 4);
  Seek(30, ZLIB_FILEFUNC_SEEK_CUR);
  ExpectRead(2, 2);
  Seek(kSize - 10);
  ExpectRead(10, 10);
  EXPECT_EQ(counting.calls,
            (std::vector<std::string>{"seek 4096", "read " + std::to_string(kSize)}));

  // Across the window's end: what the window holds is copied, and the next
  // fill starts where the window ends, where the layer below stands.
  counting.calls.clear();
  Seek(kSize + 4096 - 3);
  ExpectRead(20, 20);
  EXPECT_EQ(counting.calls, std::vector<std::string>{"read " + std::to_string(kSize)});
  // A page further on: the window is refilled from the page that holds the
  // position.
  counting.calls.clear();
  Seek(2 * kSize + 3 * 4096 + 5);
  ExpectRead(20, 20);
  EXPECT_EQ(counting.calls,
            (std::vector<std::string>{"seek " + std::to_string(2 * kSize + 3 * 4096),
                                      "read " + std::to_string(kSize)}));
}

TEST_F(ReadWindowTest, HandsAReadLargerThanTheBufferBelowWhole) {
  ASSERT_NE(file, nullptr);
  Seek(100);
  ExpectRead(10, 10);
  counting.calls.clear();
  // What the window holds is copied; the rest is one read, with no seek
  // since the layer below stands where the window ends.
  ExpectRead(2 * kSize, 2 * kSize);
  EXPECT_EQ(counting.calls, std::vector<std::string>{"read " + std::to_string(kSize + 110)});
}

TEST_F(ReadWindowTest, FindsTheEndAndStopsThere) {
  ASSERT_NE(file, nullptr);
  Seek(0, ZLIB_FILEFUNC_SEEK_END);
  EXPECT_EQ(functions.ztell64_file(functions.opaque, file), content.size());
  Seek(content.size() - 50);
  ExpectRead(80, 50);
  ExpectRead(1, 0);
  EXPECT_EQ(functions.zerror_file(functions.opaque, file), 0);
}

TEST_F(ReadWindowTest, ReadsPastTheEndReachTheLayerBelowOnce) {
  ASSERT_NE(file, nullptr);
  // As minizip walks a damaged extra field beyond the end: byte by byte.
  Seek(content.size() + 10);
  char byte;
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(functions.zread_file(functions.opaque, file, &byte, 1), 0u);
    ASSERT_EQ(functions.zerror_file(functions.opaque, file), 0);
  }
  EXPECT_EQ(counting.calls.size(), 2u);
  EXPECT_EQ(functions.zerror_file(functions.opaque, file), 0);
  // Before the end the bytes are still there.
  Seek(content.size() - 5);
  ExpectRead(10, 5);
}

TEST_F(ReadWindowTest, AFailedReadBelowShowsAsAnError) {
  ASSERT_NE(file, nullptr);
  Seek(kSize / 2);
  ExpectRead(8, 8);
  counting.fail_reads = true;
  // Inside the window the bytes are still there; beyond it the read fails
  // short, and the error callback says why.
  ExpectRead(8, 8);
  Seek(2 * kSize);
  ExpectRead(8, 0);
  EXPECT_NE(functions.zerror_file(functions.opaque, file), 0);
  // The failed fill left nothing behind that a retry could take for data.
  counting.fail_reads = false;
  ExpectRead(8, 8);
}

}  // namespace
}  // namespace engine::test
