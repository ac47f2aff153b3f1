#include "tools/patchpack/trial/patch_preflight.h"

#include <memory>
#include <new>
#include <optional>

#include "base/ascii.h"
#include "payload/payload_container.h"
#include "tools/patchpack/source/folder_diff.h"
#include "tools/patchpack/formats/patch_stream_reader.h"
#include "tools/patchpack/formats/zip_reader.h"
#include "tools/patchpack/source/source_rules.h"

namespace patchpack {
namespace {

namespace fs = std::filesystem;

// The game path a stream path names, matching each component without regard
// to case as the installer does; nullopt when a component is missing.
std::optional<fs::path> FindInGame(const fs::path& game, const std::string& stream_path) {
  fs::path here = game;
  std::size_t start = 0;
  while (start <= stream_path.size()) {
    std::size_t end = stream_path.find('\\', start);
    if (end == std::string::npos) end = stream_path.size();
    std::string part = base::ToLowerAscii(stream_path.substr(start, end - start));
    std::error_code error;
    std::optional<fs::path> found;
    for (fs::directory_iterator it(here, error), last; !error && it != last; it.increment(error)) {
      if (base::ToLowerAscii(it->path().filename().string()) == part) found = it->path();
    }
    if (!found) return std::nullopt;
    here = *found;
    start = end + 1;
  }
  return here;
}

}  // namespace

std::vector<std::string> FindPatchProblems(const payload::PatchDescription& patch,
                                           const fs::path& game) {
  std::vector<std::string> problems;
  for (const payload::FileEntry& file : patch.loose_files) {
    if (auto problem = TargetProblem(file.name)) problems.push_back(file.name + ": " + *problem);
  }
  for (const payload::ArchiveRecord& archive : patch.archives) {
    if (auto problem = TargetProblem(archive.path)) {
      problems.push_back(archive.path + ": " + *problem);
      continue;
    }
    std::optional<fs::path> found = FindInGame(game, archive.path);
    if (!found || !fs::is_regular_file(*found)) {
      problems.push_back(archive.path +
                         ": the patch rewrites this archive, which the game does not have "
                         "(the installer shows \"Unknown error\")");
      continue;
    }
    try {
      ZipReader reader(*found);
    } catch (const ZipReadError& error) {
      problems.push_back(archive.path + ": the game's archive cannot be read as a zip (" +
                         error.what() + ")");
    }
  }
  return problems;
}

std::optional<payload::PatchDescription> DecodePatch(const payload::Bytes& payload_bytes) {
  if (payload_bytes.size() <= payload::kTrailerSize) return std::nullopt;
  if (!payload::CheckPayloadTrailer(payload_bytes)) return std::nullopt;
  std::span<const std::uint8_t> body(payload_bytes.data(),
                                     payload_bytes.size() - payload::kTrailerSize);
  std::optional<std::uint32_t> size = payload::ReadDeclaredSize(body);
  if (!size) return std::nullopt;
  auto block = std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[*size]);
  if (!block || payload::DecodePayload(body, std::span<std::uint8_t>(block.get(), *size)) !=
                    payload::DecodeResult::kOk) {
    return std::nullopt;
  }
  try {
    return ReadPatchDescription(std::move(block), *size);
  } catch (const MalformedStream&) {
    return std::nullopt;
  }
}

}  // namespace patchpack
