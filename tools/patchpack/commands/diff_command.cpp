// patchpack diff: an old and a new game folder in, a patch source folder out,
// for the author to review and then build.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "tools/patchpack/commands/command_line.h"
#include "tools/patchpack/report/json_writer.h"
#include "tools/patchpack/report/payload_output.h"
#include "tools/patchpack/report/progress_reporter.h"
#include "tools/patchpack/source/archive_plan.h"
#include "tools/patchpack/source/folder_diff.h"
#include "tools/patchpack/source/source_file.h"
#include "tools/patchpack/source/source_rules.h"
#include "tools/patchpack/trial/recorded_version.h"

namespace patchpack {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHelp =
    "usage: patchpack diff OLD NEW -o SOURCE --version N\n"
    "\n"
    "Writes the patch source folder SOURCE of a patch that turns the game folder\n"
    "OLD into NEW, to be reviewed and then built with 'patchpack build':\n"
    "  files/       files of NEW that OLD lacks or holds with other bytes\n"
    "  archives/    for a zip archive in both whose bytes differ, whatever its\n"
    "               extension (.zip, .pk3...): its new and changed entries, and\n"
    "               a .drop list of the entries NEW lacks\n"
    "  delete.txt   files of OLD that NEW lacks\n"
    "Paths match without regard to case, as on Windows; curver.txt is left out.\n"
    "Names that Windows cannot hold, and names longer than the installer takes,\n"
    "are refused, as build refuses them.\n"
    "Archives are told by their bytes. An archive diff reproduces the entries'\n"
    "contents, under lower-case names, not the archive's bytes. An archive that\n"
    "the installer could not rebuild by entry (encrypted or split, say) is\n"
    "shipped whole under files/; each archive's line says which and why.\n"
    "When NEW's curver.txt records a version not above OLD's, a warning asks\n"
    "whether OLD and NEW were given the wrong way round.\n"
    "\n"
    "options:\n"
    "  -o SOURCE     the patch source folder to write; absent or empty\n"
    "  --version N   the patch version, decimal (may be negative)\n"
    "  --whole PATTERN\n"
    "                ship the archives that PATTERN matches whole (a path in NEW\n"
    "                with '/', any case; * for any characters within a name,\n"
    "                ? for one); may be given more than once\n"
    "  --json        print one JSON document instead of the summary\n"
    "  --quiet       no progress of the comparison on stderr (shown for work\n"
    "                longer than a second: a bar on a terminal, a line every\n"
    "                5 s otherwise)\n"
    "  -h, --help    show this help\n";

struct Patch {
  std::vector<std::string> loose_files;                       // paths in NEW
  std::vector<std::pair<std::string, ArchiveDiff>> archives;  // by path in NEW
  std::vector<std::string> deletions;
  std::vector<std::pair<std::string, std::string>> whole_archives;  // loose, with the reason
};

std::int32_t ParseVersion(const std::string& text) {
  std::int32_t version = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), version);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    throw UsageError("--version '" + text +
                     "' is not a whole number from -2147483648 to 2147483647");
  }
  return version;
}

std::string GamePath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// Names are checked here by the rules that build applies, so that a source
// that diff writes is one that build takes.
Patch MakePatch(const fs::path& old_root, const fs::path& new_root,
                const std::vector<std::string>& keep_whole, ProgressReporter::Mode progress) {
  FolderDiff folders = DiffFolders(old_root, new_root, progress);
  Patch patch;
  for (const std::string& path : folders.deletions) {
    if (std::optional<std::string> problem = GamePathProblem(GamePath(path))) {
      throw CommandError("OLD file '" + path + "', which the patch would delete: " + *problem);
    }
  }
  patch.deletions = std::move(folders.deletions);
  for (const ChangedFile& file : folders.changed) {
    CheckTarget(GamePath(file.new_path), "NEW file '" + file.new_path + "'");
    FilePlan plan;
    try {
      plan = PlanChangedFile(old_root, new_root, file, keep_whole);
    } catch (const CommandError& error) {
      throw CommandError(std::string(error.what()) + " (--whole '" + file.new_path +
                         "' ships it as it is)");
    }
    if (plan.kind == FilePlan::Kind::Loose) {
      patch.loose_files.push_back(file.new_path);
    } else if (plan.kind == FilePlan::Kind::Whole) {
      patch.loose_files.push_back(file.new_path);
      patch.whole_archives.emplace_back(file.new_path, plan.why_whole);
    } else if (!plan.diff.empty()) {
      patch.archives.emplace_back(file.new_path, std::move(plan.diff));
    }
  }
  return patch;
}

// Every file of the source goes through the one output file, so that a
// failure names the path and the system's reason in the tool's own words.
void MakeFolders(const fs::path& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) throw CommandError("cannot write " + folder.string() + ": " + error.message());
}

void WriteFile(const fs::path& file, std::span<const std::uint8_t> bytes) {
  MakeFolders(file.parent_path());
  PayloadOutput out(file);
  out.Write(bytes);
  out.Commit();
}

void WriteFile(const fs::path& file, const std::string& text) {
  WriteFile(file, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// Loose files can be as large as the game's largest, so they go across in
// pieces rather than whole.
void CopyFile(const fs::path& from, const std::string& shown, const fs::path& to) {
  constexpr std::size_t kPiece = std::size_t{1} << 20;
  SourceFileReader in(from, shown);
  MakeFolders(to.parent_path());
  PayloadOutput out(to);
  std::vector<std::uint8_t> buffer(kPiece);
  for (std::uint64_t left = in.size(); left > 0;) {
    const auto piece = std::span(buffer).first(std::min<std::uint64_t>(left, kPiece));
    in.Read(piece);
    out.Write(piece);
    left -= piece.size();
  }
  out.Commit();
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

void WriteSource(const fs::path& source, std::int32_t version, const Patch& patch,
                 const fs::path& new_root) {
  WriteFile(source / "version.txt", std::to_string(version) + "\n");
  for (const std::string& path : patch.loose_files) {
    CopyFile(new_root / path, "NEW " + path, source / "files" / path);
  }
  for (const auto& [path, diff] : patch.archives) {
    for (const payload::FileEntry& entry : diff.new_entries) {
      WriteFile(source / "archives" / path / entry.name, entry.content);
    }
    if (!diff.drop_names.empty()) {
      WriteFile(source / "archives" / (path + ".drop"), Lines(diff.drop_names));
    }
  }
  if (!patch.deletions.empty()) WriteFile(source / "delete.txt", Lines(patch.deletions));
}

// SOURCE was absent or empty before, so everything in it is ours to remove.
void RemoveWritten(const fs::path& source, bool existed) {
  std::error_code ignored;
  if (!existed) {
    fs::remove_all(source, ignored);
    return;
  }
  for (const fs::directory_entry& child : fs::directory_iterator(source, ignored)) {
    fs::remove_all(child.path(), ignored);
  }
}

std::size_t Count(const Patch& patch, std::size_t (*of)(const ArchiveDiff&)) {
  std::size_t count = 0;
  for (const auto& [path, diff] : patch.archives) count += of(diff);
  return count;
}

std::size_t NewEntries(const ArchiveDiff& diff) { return diff.new_entries.size(); }
std::size_t DroppedEntries(const ArchiveDiff& diff) { return diff.drop_names.size(); }

// A patch from NEW back to OLD builds as well as the right one; only the
// versions the folders record can tell that the two were given the wrong
// way round.
std::vector<std::string> VersionWarnings(const fs::path& old_root, const fs::path& new_root) {
  const std::optional<std::int32_t> old_version = RecordedVersion(old_root);
  const std::optional<std::int32_t> new_version = RecordedVersion(new_root);
  if (!old_version || !new_version || *new_version > *old_version) return {};
  return {"NEW's curver.txt records version " + std::to_string(*new_version) +
          ", not above OLD's " + std::to_string(*old_version) +
          "; were OLD and NEW given the wrong way round?"};
}

void PrintJson(const fs::path& source, std::int32_t version, const Patch& patch,
               const std::vector<std::string>& warnings) {
  JsonWriter json(std::cout);
  json.BeginObject()
      .Member("source", source.string())
      .Member("version", version)
      .Member("loose_files", patch.loose_files)
      .Member("whole_archives", patch.whole_archives.size());
  json.Key("archives").BeginArray();
  for (const auto& [path, diff] : patch.archives) {
    json.BeginObject().Member("name", path).Key("new_entries").BeginArray();
    for (const payload::FileEntry& entry : diff.new_entries) json.Value(entry.name);
    json.EndArray().Member("dropped_entries", diff.drop_names).EndObject();
  }
  json.EndArray()
      .Member("new_entries", Count(patch, NewEntries))
      .Member("dropped_entries", Count(patch, DroppedEntries))
      .Member("deletions", patch.deletions)
      .Member("warnings", warnings)
      .Member("result", "written")
      .EndObject();
}

}  // namespace

int RunDiffCommand(std::span<const std::string> arguments) {
  ParsedArguments parsed = ParseArguments(
      arguments, {.with_value = {"-o", "--version"},
                  .switches = {"--quiet", "--json"},
                  .repeated = {"--whole"}});
  if (AnswerHelpOrVersion(parsed, kHelp)) return 0;
  if (parsed.positional.size() != 2) throw UsageError("diff takes an OLD and a NEW folder");
  if (!parsed.values.contains("-o")) throw UsageError("diff needs -o SOURCE");
  if (!parsed.values.contains("--version")) throw UsageError("diff needs --version N");
  std::int32_t version = ParseVersion(parsed.values["--version"]);
  const fs::path source = parsed.values["-o"];

  std::error_code error;
  bool existed = fs::exists(source, error);
  if (existed && !(fs::is_directory(source, error) && fs::is_empty(source, error))) {
    throw CommandError(source.string() + " exists and is not an empty folder");
  }
  const fs::path new_root = parsed.positional[1];
  Patch patch = MakePatch(parsed.positional[0], new_root, parsed.lists["--whole"],
                          ProgressReporter::ModeForStderr(parsed.switches.contains("--quiet")));
  try {
    WriteSource(source, version, patch, new_root);
  } catch (...) {
    RemoveWritten(source, existed);
    throw;
  }

  const std::vector<std::string> warnings = VersionWarnings(parsed.positional[0], new_root);
  if (parsed.switches.contains("--json")) {
    PrintJson(source, version, patch, warnings);
    return 0;
  }
  for (const std::string& warning : warnings)
    std::cerr << "patchpack: warning: " << warning << "\n";
  for (const auto& [path, diff] : patch.archives) {
    std::cout << "by entry: " << path << " ("
              << Plural(diff.new_entries.size(), "new entry", "new entries") << ", "
              << Plural(diff.drop_names.size(), "dropped entry", "dropped entries") << ")\n";
  }
  for (const auto& [path, why] : patch.whole_archives) {
    std::cout << "whole: " << path << " (" << why << ")\n";
  }
  std::cout << "wrote " << source.string() << ": "
            << Plural(patch.loose_files.size(), "loose file", "loose files") << " ("
            << Plural(patch.whole_archives.size(), "whole archive", "whole archives")
            << " among them), " << Plural(patch.archives.size(), "archive", "archives") << " with "
            << Plural(Count(patch, NewEntries), "new entry", "new entries") << " and "
            << Plural(Count(patch, DroppedEntries), "dropped entry", "dropped entries") << ", "
            << Plural(patch.deletions.size(), "deletion", "deletions") << "\n";
  return 0;
}

}  // namespace patchpack
