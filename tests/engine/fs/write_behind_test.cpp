// The queue that writes a new archive on a thread of its own: every write
// lands where and in the order it was made, the queue never holds much more
// than its limit, and a failure is kept, reported and stops the writing.
#include "engine/fs/write_behind.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace engine::test {
namespace {

// A file in memory written by the queue's thread, slowly, so that writes
// pile up behind the one being made.
class SlowFile {
 public:
  WriteBehind::PositionedWrite Writer() {
    return [this](std::uint64_t offset, const void* bytes, std::size_t size) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      std::lock_guard lock(mutex_);
      ++calls_;
      if (fail_at_call_ != 0 && calls_ == fail_at_call_) return false;
      if (contents_.size() < offset + size) contents_.resize(offset + size, '\0');
      std::memcpy(contents_.data() + offset, bytes, size);
      written_ += size;
      return true;
    };
  }
  std::string contents() {
    std::lock_guard lock(mutex_);
    return contents_;
  }
  int calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::size_t written() const { return written_; }
  void FailAtCall(int call) { fail_at_call_ = call; }

 private:
  std::mutex mutex_;
  std::string contents_;
  int calls_ = 0;
  int fail_at_call_ = 0;
  std::atomic<std::size_t> written_ = 0;
};

TEST(WriteBehindTest, EveryWriteLandsWhereAndInTheOrderItWasMade) {
  SlowFile file;
  std::string expected;
  {
    WriteBehind behind(file.Writer());
    for (int i = 0; i < 40; ++i) {
      const std::string piece(100 * 1000 + i, static_cast<char>('a' + i % 26));
      ASSERT_TRUE(behind.Write(expected.size(), piece.data(), piece.size()));
      expected += piece;
    }
    // A fix-up over bytes that may still wait in the queue: it must land
    // after them, not under them.
    ASSERT_TRUE(behind.Write(7, "HEADER", 6));
    expected.replace(7, 6, "HEADER");
    ASSERT_TRUE(behind.Drain());
    EXPECT_EQ(file.contents(), expected);
    ASSERT_TRUE(behind.Write(expected.size(), "tail", 4));
    expected += "tail";
  }
  // The destructor waits for what was still queued.
  EXPECT_EQ(file.contents(), expected);
}

TEST(WriteBehindTest, HoldsNoMoreThanItsLimitWhateverTheSizeOfTheFile) {
  SlowFile file;
  WriteBehind behind(file.Writer());
  const std::vector<std::uint8_t> piece(std::size_t{1} << 20, 0x5A);
  std::size_t accepted = 0;
  std::size_t most_waiting = 0;
  for (int i = 0; i < 48; ++i) {
    ASSERT_TRUE(behind.Write(accepted, piece.data(), piece.size()));
    accepted += piece.size();
    most_waiting = std::max(most_waiting, accepted - file.written());
  }
  // What the queue holds, and the piece being written beside it.
  EXPECT_LE(most_waiting, WriteBehind::kQueueLimit + piece.size());
  EXPECT_GT(most_waiting, piece.size()) << "the writes did not run behind";
  EXPECT_TRUE(behind.Drain());
  EXPECT_EQ(file.written(), accepted);
}

TEST(WriteBehindTest, AFailedWriteIsReportedByEveryLaterCallAndEndsTheWriting) {
  SlowFile file;
  file.FailAtCall(3);
  WriteBehind behind(file.Writer());
  const std::string piece(200 * 1000, 'x');
  // Accepted at first, since the writes happen later.
  for (int i = 0; i < 3; ++i) behind.Write(i * piece.size(), piece.data(), piece.size());
  EXPECT_FALSE(behind.Drain());
  EXPECT_TRUE(behind.failed());
  EXPECT_FALSE(behind.Write(3 * piece.size(), piece.data(), piece.size()));
  EXPECT_FALSE(behind.Drain());
  // Nothing after the failed write reached the file.
  EXPECT_EQ(file.calls(), 3);
  EXPECT_EQ(file.written(), 2 * piece.size());
}

}  // namespace
}  // namespace engine::test
