#include "engine/fs/page_aligned_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace engine {
namespace {

TEST(PageAlignedBufferTest, EveryBufferStartsOnAPageWhateverItsSize) {
  // Several at once, so that the allocator cannot hand back one lucky block.
  std::vector<PageAlignedBuffer> buffers;
  for (std::size_t size : {1u, 100u, 4095u, 4097u, 70000u, 262144u}) {
    buffers.push_back(MakePageAlignedBuffer(size));
    const auto address = reinterpret_cast<std::uintptr_t>(buffers.back().get());
    EXPECT_EQ(address % kPageSize, 0u) << size;
    buffers.back()[size - 1] = 1;  // the whole size is there (ASan would say otherwise)
  }
}

}  // namespace
}  // namespace engine
