#include "engine/free_space.h"

#include <optional>
#include <string>

#include "engine/write_error.h"

namespace engine {
namespace {

// Skips a list of (name, size, bytes) records through its terminator and
// returns the sum of the sizes.
std::uint64_t SumOfContents(payload::PatchStream& cursor) {
  std::uint64_t sum = 0;
  for (std::string name = cursor.ReadName(); !name.empty(); name = cursor.ReadName()) {
    const std::uint32_t size = cursor.ReadU32();
    cursor.TakeBytes(size);
    sum += size;
  }
  return sum;
}

}  // namespace

std::uint64_t StagingBytes(const payload::PatchStream& stream, FileSystem& file_system) {
  payload::PatchStream cursor = stream.LookAhead();
  std::uint64_t bytes = SumOfContents(cursor);
  for (std::string archive = cursor.ReadName(); !archive.empty(); archive = cursor.ReadName()) {
    bytes += file_system.FileSize(archive).value_or(0);
    bytes += SumOfContents(cursor);
    while (!cursor.ReadName().empty()) {
    }
  }
  return bytes;
}

void CheckFreeSpace(const payload::PatchStream& stream, FileSystem& file_system) {
  const std::uint64_t needed = StagingBytes(stream, file_system);
  const std::optional<std::uint64_t> free = file_system.FreeSpace();
  if (free && *free < needed) throw WriteError();
}

}  // namespace engine
