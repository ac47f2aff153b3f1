// The patch-stream cursor, walked through the stream's whole grammar the way
// the installation run walks it. The offset never passes the end; a read that
// would is refused through the overrun handler.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz/fuzz_check.h"
#include "payload/patch_stream.h"

namespace {

struct Overrun {};

[[noreturn]] void ThrowOverrun() { throw Overrun(); }

void CheckName(payload::PatchStream& stream, const std::uint8_t* block, std::string& name) {
  const std::uint32_t before = stream.offset();
  name = stream.ReadName();
  FUZZ_CHECK(stream.offset() <= stream.size());
  // The name and its terminator, as they stand in the block.
  FUZZ_CHECK(stream.offset() == before + name.size() + 1);
  FUZZ_CHECK(std::memcmp(block + before, name.data(), name.size()) == 0);
  FUZZ_CHECK(block[before + name.size()] == 0);
}

void CheckEntries(payload::PatchStream& stream, const std::uint8_t* block) {
  std::string name;
  for (CheckName(stream, block, name); !name.empty(); CheckName(stream, block, name)) {
    const std::uint32_t count = stream.ReadU32();
    FUZZ_CHECK(stream.offset() <= stream.size());
    const std::uint32_t before = stream.offset();
    const std::span<const std::uint8_t> bytes = stream.TakeBytes(count);
    FUZZ_CHECK(bytes.data() == block + before && bytes.size() == count);
    FUZZ_CHECK(stream.offset() == before + count && stream.offset() <= stream.size());
  }
}

void CheckNames(payload::PatchStream& stream, const std::uint8_t* block) {
  std::string name;
  for (CheckName(stream, block, name); !name.empty(); CheckName(stream, block, name)) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > UINT32_MAX) return 0;
  // An exact-size copy, so that the sanitizer sees any read past the end.
  auto block = std::make_unique<std::uint8_t[]>(size);
  if (size > 0) std::memcpy(block.get(), data, size);
  const std::uint8_t* view = block.get();
  payload::PatchStream stream(std::move(block), static_cast<std::uint32_t>(size), ThrowOverrun);
  std::uint32_t reached = 0;
  try {
    stream.ReadU32();
    CheckEntries(stream, view);
    std::string archive;
    for (CheckName(stream, view, archive); !archive.empty(); CheckName(stream, view, archive)) {
      CheckEntries(stream, view);
      CheckNames(stream, view);
    }
    CheckNames(stream, view);
    FUZZ_CHECK(stream.IsFullyConsumed() == (stream.offset() == size));
    return 0;
  } catch (const Overrun&) {
    reached = stream.offset();
  }
  // A refused read leaves the cursor where it was, within the block.
  FUZZ_CHECK(reached <= size);
  return 0;
}
