// The POSIX layer that minizip writes staged archives through: a new archive
// is written on a thread of its own, so what reaches the disk, and when a
// write fails, is seen only after the writes queued before it.
#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/fs/file_system.h"
#include "installation_test.h"

namespace engine::test {
namespace {

class ZipLayerPosixTest : public InstallationTest {
 protected:
  zlib_filefunc64_def functions = NativeFileSystem().ZipFileFunctions();

  voidpf Create(const char* path) {
    return functions.zopen64_file(functions.opaque, path,
                                  ZLIB_FILEFUNC_MODE_WRITE | ZLIB_FILEFUNC_MODE_CREATE);
  }
  uLong Write(voidpf file, const std::string& bytes) {
    return functions.zwrite_file(functions.opaque, file, bytes.data(),
                                 static_cast<uLong>(bytes.size()));
  }
  long Seek(voidpf file, ZPOS64_T offset, int origin) {
    return functions.zseek64_file(functions.opaque, file, offset, origin);
  }
};

TEST_F(ZipLayerPosixTest, ANewArchiveHoldsEveryWriteWhereAndInTheOrderItWasMade) {
  folder.Write("Data/old.zip", "old");
  voidpf file = Create("DATA\\new.zip");
  ASSERT_NE(file, nullptr);
  std::string expected;
  for (int i = 0; i < 12; ++i) {
    const std::string piece(700 * 1000 + i, static_cast<char>('a' + i));
    ASSERT_EQ(Write(file, piece), piece.size());
    expected += piece;
  }
  // Over bytes that may still be waiting to be written.
  ASSERT_EQ(Seek(file, 5, ZLIB_FILEFUNC_SEEK_SET), 0);
  ASSERT_EQ(Write(file, "XYZ"), 3u);
  expected.replace(5, 3, "XYZ");
  // The end of the file counts every byte queued.
  ASSERT_EQ(Seek(file, 0, ZLIB_FILEFUNC_SEEK_END), 0);
  EXPECT_EQ(functions.ztell64_file(functions.opaque, file), expected.size());
  ASSERT_EQ(Write(file, "tail"), 4u);
  expected += "tail";
  EXPECT_EQ(functions.zerror_file(functions.opaque, file), 0);
  EXPECT_EQ(functions.zclose_file(functions.opaque, file), 0);
  EXPECT_EQ(folder.Read("Data/new.zip"), expected);
}

// The file-size limit makes the kernel refuse writes beyond it, as a full
// disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit saved_{};
  sighandler_t old_handler_;
};

TEST_F(ZipLayerPosixTest, AWriteThatFailsBehindFailsTheArchiveByItsClose) {
  voidpf file = Create("full.zip");
  ASSERT_NE(file, nullptr);
  {
    FileSizeLimit limit(1 << 20);
    // Accepted at first, since the writes happen later; the failure shows
    // by a later write, the error flag, or at the latest by the close.
    const std::string piece(512 * 1024, 'x');
    for (int i = 0; i < 8; ++i) Write(file, piece);
    EXPECT_NE(functions.zclose_file(functions.opaque, file), 0);
  }
}

}  // namespace
}  // namespace engine::test
