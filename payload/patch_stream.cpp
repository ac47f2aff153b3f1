#include "payload/patch_stream.h"

#include "base/little_endian.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace payload {

PatchStream::PatchStream(std::unique_ptr<std::uint8_t[]> block, std::uint32_t size,
                         OverrunHandler on_overrun)
    : block_(std::move(block)), size_(size), on_overrun_(on_overrun) {}

void PatchStream::Overrun() const {
  if (on_overrun_ != nullptr) on_overrun_();
  // The handler is required to leave by throwing; should one ever return,
  // ending here is still better than reading past the block.
  std::abort();
}

std::uint32_t PatchStream::ReadU32() {
  if (size_ - offset_ < 4) Overrun();
  const std::uint8_t* at = block_.get() + offset_;
  offset_ += 4;
  return static_cast<std::uint32_t>(base::LoadLittleEndian({at, 4}));
}

std::string PatchStream::ReadName() {
  // At the end there is not even a terminator left; memchr must not be asked
  // about an empty range, whose pointer may be null.
  if (offset_ == size_) Overrun();
  const std::uint8_t* start = block_.get() + offset_;
  const void* terminator = std::memchr(start, 0, size_ - offset_);
  if (terminator == nullptr) Overrun();
  std::size_t length = static_cast<const std::uint8_t*>(terminator) - start;
  offset_ += static_cast<std::uint32_t>(length) + 1;
  return std::string(reinterpret_cast<const char*>(start), length);
}

std::span<const std::uint8_t> PatchStream::TakeBytes(std::uint32_t count) {
  if (count > size_ - offset_) Overrun();
  std::span<const std::uint8_t> bytes(block_.get() + offset_, count);
  offset_ += count;
  return bytes;
}

}  // namespace payload
