#include "tools/patchpack/trial/expected_result.h"

#include <optional>

#include "base/ascii.h"
#include "tools/patchpack/formats/zip_shape.h"
#include "tools/patchpack/report/command_error.h"
#include "tools/patchpack/source/archive_diff.h"
#include "tools/patchpack/source/folder_diff.h"
#include "tools/patchpack/source/source_file.h"

namespace patchpack {
namespace {

namespace fs = std::filesystem;

std::string ArchiveDifference(const fs::path& result, const fs::path& expected,
                              const std::string& shown) {
  std::optional<ArchiveDiff> diff;
  try {
    ArchiveDiffOutcome outcome = DiffArchives(result, expected, shown);
    if (!outcome.diff) {
      return shown + ": other bytes than in NEW, and no comparison by entry (" + outcome.why_whole +
             ")";
    }
    diff = std::move(outcome.diff);
  } catch (const CommandError& error) {
    return shown + ": " + error.what();
  }
  if (diff->empty()) return "";
  std::string line = shown + ": entries differ from NEW:";
  for (const payload::FileEntry& entry : diff->new_entries) line += " " + entry.name;
  for (const std::string& name : diff->drop_names) line += " " + name + " (only installed)";
  return line;
}

// The installer writes the patch version, CR LF and the edition tag it found.
std::string CurverDifference(const fs::path& result, std::int32_t version) {
  std::string expected = std::to_string(version) + "\r\n";
  std::string text;
  try {
    payload::Bytes bytes = ReadWholeSourceFile(result / "curver.txt", "curver.txt");
    text.assign(bytes.begin(), bytes.end());
  } catch (const CommandError& error) {
    return error.what();
  }
  if (text.rfind(expected, 0) == 0) return "";
  return "curver.txt does not start with the patch version " + std::to_string(version) +
         " and CR LF";
}

}  // namespace

std::vector<std::string> CompareWithExpected(const fs::path& result, const fs::path& expected,
                                             std::int32_t patch_version) {
  std::vector<std::string> differences;
  // The installed game in the place of OLD: what is left to change is what
  // the patch got wrong.
  FolderDiff diff = DiffFolders(result, expected, ProgressReporter::Mode::Quiet,
                                {.old_folder = "the installed game", .new_folder = "NEW"});
  for (const ChangedFile& file : diff.changed) {
    if (file.old_path.empty()) {
      differences.push_back(file.new_path + ": in NEW, missing after the install");
    } else if (ShapeOfFile(expected / file.new_path) == ZipShape::Zip) {
      // The installer rewrites an archive by entry, so its bytes are its own.
      std::string line =
          ArchiveDifference(result / file.old_path, expected / file.new_path, file.new_path);
      if (!line.empty()) differences.push_back(line);
    } else {
      differences.push_back(file.new_path + ": other bytes than in NEW");
    }
  }
  for (const std::string& path : diff.deletions) {
    differences.push_back(path + ": left after the install, not in NEW");
  }
  std::string curver = CurverDifference(result, patch_version);
  if (!curver.empty()) differences.push_back(curver);
  return differences;
}

}  // namespace patchpack
