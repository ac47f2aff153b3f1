#include "base/whole_transfer_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "base/unique_fd.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace base {
namespace {

TEST(WholeTransferTest, WritesInSmallCallsAndReadsBackUpToTheEnd) {
  test_support::TempDir dir;
  const std::string path = (dir.path() / "file").string();
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  ASSERT_TRUE(fd.valid());
  std::string text(1000, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  // Calls of 7 bytes each, starting beyond the end, which leaves a hole.
  ASSERT_TRUE(WriteWholeAt(fd.get(), text.data(), text.size(), 24, 7));
  EXPECT_EQ(test_support::ReadText(dir.path() / "file"), std::string(24, '\0') + text);

  std::string back(2000, '?');
  const ReadResult read = ReadWholeAt(fd.get(), back.data(), back.size(), 24);
  EXPECT_FALSE(read.failed);
  ASSERT_EQ(read.done, text.size());
  EXPECT_EQ(back.substr(0, read.done), text);
  EXPECT_EQ(ReadWholeAt(fd.get(), back.data(), 10, 5000).done, 0u);
}

TEST(WholeTransferTest, ReportsFailuresOfTheSystem) {
  test_support::TempDir dir;
  const std::string path = (dir.path() / "file").string();
  test_support::WriteText(dir.path() / "file", "content");
  UniqueFd read_only(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_TRUE(read_only.valid());
  EXPECT_FALSE(WriteWholeAt(read_only.get(), "x", 1, 0));
  UniqueFd write_only(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
  char out[4];
  const ReadResult read = ReadWholeAt(write_only.get(), out, sizeof out, 0);
  EXPECT_TRUE(read.failed);
  EXPECT_EQ(read.done, 0u);
}

}  // namespace
}  // namespace base
