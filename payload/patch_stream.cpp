#include "payload/patch_stream.h"

#include "base/little_endian.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace payload {

PatchStream::PatchStream(std::unique_ptr<std::uint8_t[]> block, std::uint32_t size,
                         OverrunHandler on_overrun)
    : owned_block_(std::move(block)),
      block_(owned_block_.get()),
      size_(size),
      on_overrun_(on_overrun) {}

PatchStream::PatchStream(const std::uint8_t* bytes, std::uint32_t size, std::uint32_t offset,
                         OverrunHandler on_overrun)
    : block_(bytes), size_(size), offset_(offset), on_overrun_(on_overrun) {}

PatchStream PatchStream::LookAhead() const {
  return PatchStream(block_, size_, offset_, on_overrun_);
}

void PatchStream::Overrun() const {
  if (on_overrun_ != nullptr) on_overrun_();
  // The handler is required to leave by throwing; should one ever return,
  // ending here is still better than reading past the block.
  std::abort();
}

std::uint32_t PatchStream::ReadU32() {
  if (size_ - offset_ < 4) Overrun();
  const std::uint8_t* at = block_ + offset_;
  offset_ += 4;
  return static_cast<std::uint32_t>(base::LoadLittleEndian({at, 4}));
}

std::string PatchStream::ReadName() {
  // At the end there is not even a terminator left; memchr must not be asked
  // about an empty range, whose pointer may be null.
  if (offset_ == size_) Overrun();
  const std::uint8_t* start = block_ + offset_;
  const void* terminator = std::memchr(start, 0, size_ - offset_);
  if (terminator == nullptr) Overrun();
  std::size_t length = static_cast<const std::uint8_t*>(terminator) - start;
  offset_ += static_cast<std::uint32_t>(length) + 1;
  return std::string(reinterpret_cast<const char*>(start), length);
}

std::span<const std::uint8_t> PatchStream::TakeBytes(std::uint32_t count) {
  if (count > size_ - offset_) Overrun();
  std::span<const std::uint8_t> bytes(block_ + offset_, count);
  offset_ += count;
  return bytes;
}

}  // namespace payload
