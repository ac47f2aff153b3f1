#include "tools/patchpack/patch_source.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/patchpack/command_line.h"
#include "tools/patchpack/source_rules.h"

namespace patchpack {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDropSuffix = ".drop";

// The folder's children in byte order of their names, so that errors and
// output do not depend on the order the file system happens to list them in.
std::vector<fs::directory_entry> SortedChildren(const fs::path& folder, const std::string& shown) {
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) throw CommandError("cannot list " + shown + ": " + error.message());
  std::vector<fs::directory_entry> children(it, fs::directory_iterator());
  std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
    return a.path().filename().string() < b.path().filename().string();
  });
  return children;
}

bool HasExtension(const std::string& name) {
  std::size_t dot = name.rfind('.');
  return dot != std::string::npos && dot != 0 && dot + 1 != name.size();
}

// Calls `visit(file, path parts)` for every regular file below a folder.
template <typename Visit>
void WalkFiles(const fs::path& folder, const std::string& shown, std::vector<std::string>& parts,
               Visit&& visit) {
  for (const fs::directory_entry& child : SortedChildren(folder, shown)) {
    std::string name = child.path().filename().string();
    std::string child_shown = shown + "/" + name;
    parts.push_back(name);
    if (child.is_directory()) {
      WalkFiles(child.path(), child_shown, parts, visit);
    } else if (child.is_regular_file()) {
      visit(child.path(), child_shown, parts);
    } else {
      throw CommandError(child_shown + " is neither a file nor a folder");
    }
    parts.pop_back();
  }
}

std::string Joined(const std::vector<std::string>& parts, char separator) {
  std::string joined;
  for (const std::string& part : parts) {
    if (!joined.empty()) joined += separator;
    joined += part;
  }
  return joined;
}

class SourceLoader {
 public:
  explicit SourceLoader(const fs::path& source) : source_(source) {}

  payload::PatchDescription Load() {
    if (!fs::is_directory(source_)) {
      throw CommandError(source_.string() + " is not a patch source folder");
    }
    for (const fs::directory_entry& child : SortedChildren(source_, source_.string())) {
      std::string name = child.path().filename().string();
      if (name != "version.txt" && name != "files" && name != "archives" && name != "delete.txt") {
        throw CommandError("unexpected '" + name + "' in " + source_.string() +
                           " (expected version.txt, files/, archives/, delete.txt)");
      }
    }
    if (!fs::is_regular_file(source_ / "version.txt")) {
      throw CommandError(source_.string() + " has no version.txt");
    }
    description_.version = ReadVersionFile(source_ / "version.txt", "version.txt");
    if (fs::is_directory(source_ / "files")) LoadLooseFiles();
    if (fs::is_directory(source_ / "archives")) LoadArchives();
    if (fs::exists(source_ / "delete.txt")) LoadDeletions();
    return std::move(description_);
  }

 private:
  void LoadLooseFiles() {
    std::vector<std::string> parts;
    WalkFiles(source_ / "files", "files", parts,
              [&](const fs::path& file, const std::string& shown, const auto& path) {
                std::string target = Joined(path, '\\');
                CheckStageable(target, shown);
                targets_.Add(target, shown);
                description_.loose_files.push_back({target, ReadContent(file, shown)});
              });
    SortByName(description_.loose_files);
  }

  void LoadArchives() {
    std::vector<std::string> parts;
    WalkArchiveFolders(source_ / "archives", "archives", parts);
    for (auto& [path, archive] : archives_) {
      SortByName(archive.new_entries);
      std::sort(archive.drop_names.begin(), archive.drop_names.end());
      description_.archives.push_back(std::move(archive));
    }
  }

  // Folders above an archive folder stand for the game's own folders; the
  // only files they may hold are .drop lists.
  void WalkArchiveFolders(const fs::path& folder, const std::string& shown,
                          std::vector<std::string>& parts) {
    for (const fs::directory_entry& child : SortedChildren(folder, shown)) {
      std::string name = child.path().filename().string();
      std::string child_shown = shown + "/" + name;
      parts.push_back(name);
      if (child.is_directory() && HasExtension(name)) {
        LoadNewEntries(child.path(), child_shown, Archive(parts, child_shown));
      } else if (child.is_directory()) {
        WalkArchiveFolders(child.path(), child_shown, parts);
      } else if (child.is_regular_file() && name.ends_with(kDropSuffix)) {
        parts.back().resize(name.size() - kDropSuffix.size());
        LoadDropNames(child.path(), child_shown, Archive(parts, child_shown));
      } else {
        throw CommandError(child_shown +
                           ": only archive folders (named like the archive, such as sounds.zip) "
                           "and .drop lists belong under archives/");
      }
      parts.pop_back();
    }
  }

  payload::ArchiveRecord& Archive(const std::vector<std::string>& parts, const std::string& shown) {
    std::string path = Joined(parts, '\\');
    if (!HasExtension(parts.back())) {
      throw CommandError(shown + " names no archive: an archive's name has an extension");
    }
    auto [it, inserted] = archives_.try_emplace(path);
    if (inserted) {
      it->second.path = path;
      CheckStageable(path, shown);
      targets_.Add(path, shown);
    }
    return it->second;
  }

  void LoadNewEntries(const fs::path& folder, const std::string& shown,
                      payload::ArchiveRecord& archive) {
    std::vector<std::string> parts;
    WalkFiles(folder, shown, parts,
              [&](const fs::path& file, const std::string& file_shown, const auto& path) {
                std::string name = Joined(path, '/');
                CheckEntryName(name, file_shown);
                archive.new_entries.push_back({name, ReadContent(file, file_shown)});
              });
  }

  void LoadDropNames(const fs::path& file, const std::string& shown,
                     payload::ArchiveRecord& archive) {
    std::set<std::string> seen;
    for (const std::string& name : ReadListFile(file, shown)) {
      CheckEntryName(name, shown);
      if (!seen.insert(name).second) throw CommandError(shown + ": '" + name + "' listed twice");
      archive.drop_names.push_back(name);
    }
  }

  void LoadDeletions() {
    for (const std::string& line : ReadListFile(source_ / "delete.txt", "delete.txt")) {
      std::string path = DeletionPath(line, "delete.txt");
      targets_.Add(path, "delete.txt");
      description_.deletions.push_back(path);
    }
    std::sort(description_.deletions.begin(), description_.deletions.end());
  }

  static void SortByName(std::vector<payload::FileEntry>& files) {
    std::sort(
        files.begin(), files.end(),
        [](const payload::FileEntry& a, const payload::FileEntry& b) { return a.name < b.name; });
  }

  fs::path source_;
  payload::PatchDescription description_;
  std::map<std::string, payload::ArchiveRecord> archives_;  // by archive path, so sorted
  TargetRegistry targets_;
};

}  // namespace

payload::PatchDescription LoadPatchSource(const std::filesystem::path& source) {
  return SourceLoader(source).Load();
}

}  // namespace patchpack
