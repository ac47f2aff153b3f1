#include "tools/patchpack/source/patch_source.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/patchpack/report/command_error.h"
#include "tools/patchpack/source/source_rules.h"

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

std::string Joined(const std::vector<std::string>& parts, char separator) {
  std::string joined;
  for (const std::string& part : parts) {
    if (!joined.empty()) joined += separator;
    joined += part;
  }
  return joined;
}

enum class Kind { Folder, File };

class SourceLoader {
 public:
  SourceLoader(const fs::path& source, const SourceOptions& options)
      : source_(source), options_(options) {}

  payload::PatchDescription Load() {
    std::error_code error;
    if (!fs::is_directory(source_, error)) {
      throw CommandError(source_.string() + " is not a patch source folder");
    }
    std::set<std::string> present;
    for (const fs::directory_entry& child : SortedChildren(source_, source_.string())) {
      std::string name = child.path().filename().string();
      Kind expected = name == "files" || name == "archives" ? Kind::Folder : Kind::File;
      if (name != "version.txt" && name != "files" && name != "archives" && name != "delete.txt") {
        throw CommandError("unexpected '" + name + "' in " + source_.string() +
                           " (expected version.txt, files/, archives/, delete.txt)");
      }
      if (KindOf(child, name) != expected) {
        throw CommandError(name + (expected == Kind::Folder ? " is a file; it must be a folder"
                                                            : " is a folder; it must be a file"));
      }
      present.insert(name);
    }
    if (!present.contains("version.txt")) {
      throw CommandError(source_.string() + " has no version.txt");
    }
    description_.version = ReadVersionFile(source_ / "version.txt", "version.txt");
    if (present.contains("files")) LoadLooseFiles();
    if (present.contains("archives")) LoadArchives();
    if (present.contains("delete.txt")) LoadDeletions();
    return std::move(description_);
  }

 private:
  // What a child of the source is. A symbolic link is refused unless the
  // author asked to follow links: packing what a link points to could carry
  // any file of the author's machine (a password file, say) into a payload.
  Kind KindOf(const fs::directory_entry& child, const std::string& shown) const {
    std::error_code error;
    if (child.is_symlink(error) && !options_.follow_links) {
      throw CommandError(shown +
                         " is a symbolic link; build packs no links (--follow-links packs what "
                         "they point to)");
    }
    fs::file_status status = child.status(error);
    if (error) throw CommandError("cannot read " + shown + ": " + error.message());
    if (fs::is_directory(status)) return Kind::Folder;
    if (fs::is_regular_file(status)) return Kind::File;
    throw CommandError(shown + " is neither a file nor a folder");
  }

  // Calls `visit(file, shown, path parts)` for every regular file below a folder.
  template <typename Visit>
  void WalkFiles(const fs::path& folder, const std::string& shown, std::vector<std::string>& parts,
                 Visit&& visit) const {
    for (const fs::directory_entry& child : SortedChildren(folder, shown)) {
      std::string name = child.path().filename().string();
      std::string child_shown = shown + "/" + name;
      parts.push_back(name);
      if (KindOf(child, child_shown) == Kind::Folder) {
        WalkFiles(child.path(), child_shown, parts, visit);
      } else {
        visit(child.path(), child_shown, parts);
      }
      parts.pop_back();
    }
  }

  void LoadLooseFiles() {
    std::vector<std::string> parts;
    WalkFiles(source_ / "files", "files", parts,
              [&](const fs::path& file, const std::string& shown, const auto& path) {
                std::string target = Joined(path, '\\');
                CheckTarget(target, shown);
                targets_.Add(target, shown);
                description_.loose_files.push_back({target, ReadContent(file, shown)});
              });
    SortByName(description_.loose_files);
  }

  void LoadArchives() {
    std::vector<std::string> parts;
    WalkArchiveFolders(source_ / "archives", "archives", parts);
    for (auto& [path, archive] : archives_) {
      // The installer rewrites the whole archive for a record, and fails on
      // a player's machine when the game lacks it: a record that changes
      // nothing is only risk.
      if (archive.new_entries.empty() && archive.drop_names.empty()) {
        throw CommandError(archive_origins_[path] +
                           " holds no entries and no names to drop; the archive record would "
                           "change nothing (remove it)");
      }
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
      Kind kind = KindOf(child, child_shown);
      if (kind == Kind::Folder && name.ends_with(kDropSuffix)) {
        throw CommandError(child_shown + " is a folder; a .drop list must be a file");
      } else if (kind == Kind::Folder && NamesArchive(name)) {
        LoadNewEntries(child.path(), child_shown, Archive(parts, child_shown));
      } else if (kind == Kind::Folder) {
        WalkArchiveFolders(child.path(), child_shown, parts);
      } else if (name.ends_with(kDropSuffix)) {
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
    if (!NamesArchive(parts.back())) {
      throw CommandError(shown + " names no archive: an archive's name has an extension");
    }
    auto [it, inserted] = archives_.try_emplace(path);
    if (inserted) {
      it->second.path = path;
      CheckTarget(path, shown);
      archive_origins_[path] = shown;
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
  SourceOptions options_;
  payload::PatchDescription description_;
  std::map<std::string, std::string> archive_origins_;  // archive path -> where it was first seen
  std::map<std::string, payload::ArchiveRecord> archives_;  // by archive path, so sorted
  TargetRegistry targets_;
};

}  // namespace

payload::PatchDescription LoadPatchSource(const std::filesystem::path& source,
                                          const SourceOptions& options) {
  return SourceLoader(source, options).Load();
}

}  // namespace patchpack
