// Writes a new file on a thread of its own, so that the kernel's copy of each
// write into the page cache, and its start of the write-out, overlap the
// work that produces the next one: on two cores the merge of an archive then
// costs little more than minizip's own work on its bytes.
//
// Each Write takes a copy of the bytes and returns at once, unless as much
// as kQueueLimit is already waiting, in which case it waits for room; so the
// memory is bounded whatever the size of the file. Writes reach the file in
// the order given. A failure is kept and reported by every later call; Drain
// says whether every write so far has reached the file.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace engine {

class WriteBehind {
 public:
  static constexpr std::size_t kQueueLimit = std::size_t{4} << 20;

  // Writes to `fd`, which must outlive this. Throws std::system_error if no
  // thread can be started.
  explicit WriteBehind(int fd);
  // Waits for the writes still queued.
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Queues the bytes to be written at `offset`; false when a write has
  // failed, this one or an earlier one.
  bool Write(off_t offset, const void* data, std::size_t size);
  // Waits until every queued write is done; false when any failed.
  bool Drain();
  bool failed();

 private:
  struct Piece {
    off_t offset = 0;
    std::vector<std::uint8_t> bytes;
  };
  void Run();

  int fd_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Piece> queue_;
  // Buffers of written pieces, kept for the next ones: a fresh mebibyte
  // each time would come from the system as new pages every time.
  std::vector<std::vector<std::uint8_t>> spare_;
  std::size_t queued_bytes_ = 0;
  bool writing_ = false;
  bool failed_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace engine
