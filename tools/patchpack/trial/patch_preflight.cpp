#include "tools/patchpack/trial/patch_preflight.h"

#include <memory>
#include <new>
#include <optional>

#include "base/case_insensitive_name.h"
#include "payload/payload_container.h"
#include "tools/patchpack/formats/patch_stream_reader.h"
#include "tools/patchpack/formats/zip_reader.h"
#include "tools/patchpack/source/folder_diff.h"

namespace patchpack {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxNameBytes = 255;  // one path component, NTFS and ext4 alike

// The game path a stream path names, each component matched as the installer
// matches it: either separator, letter case ignored, and of several names
// that differ only in case the one the installer would take. nullopt when a
// component is missing.
std::optional<fs::path> FindInGame(const fs::path& game, const std::string& stream_path) {
  fs::path here = game;
  std::size_t start = 0;
  while (start <= stream_path.size()) {
    std::size_t end = stream_path.find_first_of("\\/", start);
    if (end == std::string::npos) end = stream_path.size();
    base::CaseInsensitiveChoice choice(std::string_view(stream_path).substr(start, end - start));
    std::error_code error;
    for (fs::directory_iterator it(here, error), last; !error && it != last; it.increment(error)) {
      choice.Offer(it->path().filename().string());
    }
    if (!choice.chosen()) return std::nullopt;
    here /= *choice.chosen();
    start = end + 1;
  }
  return here;
}

std::optional<std::string> NameProblem(const std::string& path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part.size() + 7 > kMaxNameBytes) {  // the staged copy adds ".updtmp"
      return "the name '" + part + "' is longer than a file system holds with .updtmp added";
    }
    for (char c : part) {
      if (static_cast<unsigned char>(c) < 32 ||
          std::string_view("<>:\"/|?*").find(c) != std::string_view::npos) {
        return "the name '" + part + "' holds a character that Windows refuses in file names";
      }
    }
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> FindPatchProblems(const payload::PatchDescription& patch,
                                           const fs::path& game) {
  std::vector<std::string> problems;
  for (const payload::FileEntry& file : patch.loose_files) {
    if (auto problem = NameProblem(file.name)) problems.push_back(file.name + ": " + *problem);
  }
  for (const payload::ArchiveRecord& archive : patch.archives) {
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
