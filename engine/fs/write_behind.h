// Writes a new file on a thread of its own, so that the system's copy of each
// write into its cache, and its start of the write-out, overlap the work that
// produces the next one: on two cores the merge of an archive then costs
// little more than minizip's own work on its bytes. The same queue serves
// every platform; each zip layer gives it the function that writes bytes at a
// position of its file.
//
// Each Write takes a copy of the bytes and returns at once, unless as much
// as kQueueLimit is already waiting, in which case it waits for room; so the
// memory is bounded whatever the size of the file. Writes reach the file in
// the order given. A failure is kept and reported by every later call; Drain
// says whether every write so far has reached the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "base/worker_thread.h"

namespace engine {

class WriteBehind {
 public:
  static constexpr std::size_t kQueueLimit = std::size_t{4} << 20;

  // Writes all `size` bytes at `offset`; false when that fails.
  using PositionedWrite =
      std::function<bool(std::uint64_t offset, const void* bytes, std::size_t size)>;

  // Writes through `write`, which must stay usable until this is gone.
  // Throws std::system_error if no thread can be started.
  explicit WriteBehind(PositionedWrite write);
  // Waits for the writes still queued.
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Queues the bytes to be written at `offset`; false when a write has
  // failed, this one or an earlier one.
  bool Write(std::uint64_t offset, const void* data, std::size_t size);
  // Waits until every queued write is done; false when any failed.
  bool Drain();
  bool failed();

 private:
  struct Piece {
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> bytes;
  };
  void Run();

  const PositionedWrite write_;
  base::Monitor monitor_;
  std::deque<Piece> queue_;
  // Buffers of written pieces, kept for the next ones: a fresh mebibyte
  // each time would come from the system as new pages every time.
  std::vector<std::vector<std::uint8_t>> spare_;
  std::size_t queued_bytes_ = 0;
  bool writing_ = false;
  bool failed_ = false;
  bool stopping_ = false;
  // Last, so that it starts when everything it uses is ready and is joined
  // before any of it goes.
  base::WorkerThread thread_;
};

}  // namespace engine
