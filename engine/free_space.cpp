#include "engine/free_space.h"

#include <numeric>
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

std::vector<std::uint64_t> StagingParts(const payload::PatchStream& stream,
                                        FileSystem& file_system) {
  payload::PatchStream cursor = stream.LookAhead();
  std::vector<std::uint64_t> parts{SumOfContents(cursor)};
  for (std::string archive = cursor.ReadName(); !archive.empty(); archive = cursor.ReadName()) {
    const std::uint64_t old_size = file_system.FileSize(archive).value_or(0);
    parts.push_back(old_size + SumOfContents(cursor));
    while (!cursor.ReadName().empty()) {
    }
  }
  return parts;
}

std::uint64_t StagingBytes(const payload::PatchStream& stream, FileSystem& file_system) {
  const std::vector<std::uint64_t> parts = StagingParts(stream, file_system);
  return std::accumulate(parts.begin(), parts.end(), std::uint64_t{0});
}

void CheckFreeSpace(std::uint64_t needed, FileSystem& file_system) {
  const std::optional<std::uint64_t> free = file_system.FreeSpace();
  if (free && *free < needed) throw WriteError();
}

}  // namespace engine
