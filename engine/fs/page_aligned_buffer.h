// A buffer that starts on a page boundary. The archive layers read and write
// through such buffers so that the kernel can take or fill whole pages from
// them, and a read into one can go to the device without an extra copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace engine {

inline constexpr std::size_t kPageSize = 4096;
inline constexpr std::align_val_t kPageAlignment{kPageSize};

// The size of a buffer of the archive layers: `size` in the product, one page
// in the fuzz build. The fuzzer's inputs are a few hundred bytes: with the
// product's sizes they would never cross a buffer's edge, and every input
// would map, poison and unmap mebibytes under AddressSanitizer.
constexpr std::size_t LayerBufferSize(std::size_t size) {
#ifdef PI_FUZZ_SMALL_BUFFERS
  return size > 0 ? kPageSize : 0;
#else
  return size;
#endif
}

struct PageAlignedDelete {
  void operator()(std::uint8_t* bytes) const { ::operator delete[](bytes, kPageAlignment); }
};

using PageAlignedBuffer = std::unique_ptr<std::uint8_t[], PageAlignedDelete>;

// `size` bytes, not initialised; throws std::bad_alloc as new does.
inline PageAlignedBuffer MakePageAlignedBuffer(std::size_t size) {
  return PageAlignedBuffer(static_cast<std::uint8_t*>(::operator new[](size, kPageAlignment)));
}

}  // namespace engine
