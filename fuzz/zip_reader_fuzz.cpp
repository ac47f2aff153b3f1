// patchpack's archive reader, which `diff` uses on archives of game folders
// it did not make. Any archive either is refused with CommandError or gives
// entries whose contents match their stated size and CRC-32. The test of a
// file's shape as a zip, which reads its end record itself, runs first on
// every input.
#include <unistd.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_check.h"
#include "tools/patchpack/formats/zip_reader.h"
#include "tools/patchpack/formats/zip_shape.h"
#include "tools/patchpack/report/command_error.h"

namespace {

// The reader opens archives by name, so each input goes to a file of this
// process's own; tmpfs keeps that cheap.
// Entries declared larger are legal, but reading them would only measure the
// allocator: the bounds of the reader do not depend on the size.
constexpr std::uint64_t kMaxEntry = std::uint64_t{16} << 20;

std::filesystem::path InputPath() {
  const std::filesystem::path folder =
      std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
  return folder / ("zip_reader_fuzz." + std::to_string(getpid()) + ".zip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path path = InputPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(file != nullptr);
  FUZZ_CHECK(size == 0 || std::fwrite(data, size, 1, file) == 1);
  FUZZ_CHECK(std::fclose(file) == 0);

  // Its checks are the sanitizers': it reads fields at offsets that the
  // input chooses.
  static_cast<void>(patchpack::ShapeOfFile(path));
  try {
    patchpack::ZipReader reader(path, "input");
    for (const patchpack::ZipEntry& entry : reader.entries()) {
      if (entry.size > kMaxEntry) continue;
      try {
        const payload::Bytes content = reader.Content(entry);
        FUZZ_CHECK(content.size() == entry.size);
        FUZZ_CHECK(crc32(0, content.data(), static_cast<uInt>(content.size())) == entry.crc);
      } catch (const patchpack::CommandError&) {
      }
    }
  } catch (const patchpack::CommandError&) {
  }
  return 0;
}
