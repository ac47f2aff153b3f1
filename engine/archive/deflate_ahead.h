// Deflates a patch's next new entry on a second thread while the merge
// deflates and writes the entry before it, so that the new entries, which
// level 9 makes the slowest part of merging a small archive, take both cores.
// The compressed bytes wait in at most kChunks buffers of kChunkSize; when
// they are all full, the thread waits for the merge to take them, so the
// memory is bounded whatever the size of the entry. The output is the same
// as that of deflating the entry in one go: zlib's output does not depend on
// how its output buffers are cut.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "base/worker_thread.h"
#include "engine/archive/deflate_stream.h"

namespace engine {

class DeflateAhead {
 public:
  static constexpr std::size_t kChunkSize = std::size_t{256} << 10;
  static constexpr std::size_t kChunks = 4;

  // Throws WriteError when zlib cannot start a stream, std::system_error
  // when no thread can be started.
  DeflateAhead();
  // Gives up an entry still being deflated.
  ~DeflateAhead();
  DeflateAhead(const DeflateAhead&) = delete;
  DeflateAhead& operator=(const DeflateAhead&) = delete;

  // Starts deflating `content`, which must stay as it is until Finish has
  // returned or this is gone. One entry at a time: each Start is followed by
  // a Finish.
  void Start(std::span<const std::uint8_t> content);
  // Hands the compressed bytes to `write`, in order, as they are made, and
  // returns the content's CRC-32; nullopt when zlib failed. When `write`
  // throws, the entry is given up and this may only be destroyed.
  using ChunkWriter = std::function<void(std::span<const std::uint8_t>)>;
  std::optional<uLong> Finish(const ChunkWriter& write);

 private:
  struct Chunk {
    std::vector<std::uint8_t> bytes;
    std::size_t size = 0;
  };
  void Run();
  // Deflates the current entry; false when zlib fails or the entry is
  // given up.
  bool DeflateEntry(base::MonitorLock& lock, std::span<const std::uint8_t> content);

  DeflateStream deflate_;
  base::Monitor monitor_;
  std::span<const std::uint8_t> content_;
  bool started_ = false;
  bool done_ = false;
  bool failed_ = false;
  bool stopping_ = false;
  uLong crc_ = 0;
  std::deque<Chunk> ready_;
  std::vector<Chunk> spare_;
  // Last, so that it starts when everything it uses is ready and is joined
  // before any of it goes.
  base::WorkerThread thread_;
};

}  // namespace engine
