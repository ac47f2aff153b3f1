// The cursor over a decoded patch stream.
//
// The stream is read once, front to back, interleaved with the work:
//   version u32; loose files (name, u32 size, bytes)* 0;
//   archives (path, (name, u32 size, bytes)* 0, (drop name)* 0)* 0;
//   deletions (path)* 0; end.
// Names are zero-terminated; there are no lengths to check against, so every
// read is bounded by the block, and a read that would pass its end calls the
// overrun handler given by the owner instead (which must not return: the
// installation run throws its own error from it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace payload {

class PatchStream {
 public:
  // Called when a read would pass the end of the block. Must not return.
  using OverrunHandler = void (*)();

  PatchStream(std::unique_ptr<std::uint8_t[]> block, std::uint32_t size, OverrunHandler on_overrun);

  // A second cursor over the same block, standing where this one stands and
  // owning nothing: for a look ahead that must leave this cursor in place.
  // Valid while this stream lives.
  PatchStream LookAhead() const;

  std::uint32_t ReadU32();
  // The name at the offset without its 0 byte; empty for a terminator.
  std::string ReadName();
  // A view of the next `count` bytes, valid while the stream lives.
  std::span<const std::uint8_t> TakeBytes(std::uint32_t count);
  bool IsFullyConsumed() const { return offset_ == size_; }

  std::uint32_t offset() const { return offset_; }
  std::uint32_t size() const { return size_; }

 private:
  PatchStream(const std::uint8_t* bytes, std::uint32_t size, std::uint32_t offset,
              OverrunHandler on_overrun);

  [[noreturn]] void Overrun() const;

  // Null for a look ahead, which reads the block of the stream it came from.
  std::unique_ptr<std::uint8_t[]> owned_block_;
  const std::uint8_t* block_;
  std::uint32_t size_;
  std::uint32_t offset_ = 0;
  OverrunHandler on_overrun_;
};

}  // namespace payload
