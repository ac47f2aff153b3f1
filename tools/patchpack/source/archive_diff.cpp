#include "tools/patchpack/source/archive_diff.h"

#include <map>
#include <set>

#include "base/ascii.h"
#include "engine/name_limits.h"
#include "tools/patchpack/commands/command_line.h"
#include "tools/patchpack/formats/zip_reader.h"
#include "tools/patchpack/source/folder_diff.h"

namespace patchpack {
namespace {

bool IsFolderEntry(const std::string& name) { return name.ends_with('/'); }

// A new entry becomes a file below the archive's folder in the patch source,
// so each part of its name must be an ordinary file or folder name there.
void CheckWritableName(const std::string& name, const std::set<std::string>& all,
                       const std::string& shown) {
  std::size_t start = 0;
  while (true) {
    std::size_t end = name.find('/', start);
    std::string part = name.substr(start, end == std::string::npos ? end : end - start);
    if (part.empty() || part == "." || part == ".." ||
        part.find_first_of("\\\r\n") != std::string::npos) {
      throw CommandError(shown + ": entry name '" + name + "' cannot be a path in a patch source");
    }
    if (end == std::string::npos) return;
    if (all.contains(name.substr(0, end))) {
      throw CommandError(shown + ": '" + name.substr(0, end) +
                         "' is both an entry and a folder of '" + name +
                         "'; a patch source cannot hold both");
    }
    start = end + 1;
  }
}

class ArchiveComparison {
 public:
  ArchiveComparison(ZipReader& old_zip, ZipReader& new_zip, const std::string& shown)
      : old_zip_(old_zip), new_zip_(new_zip), shown_(shown) {}

  std::optional<ArchiveDiff> Run() {
    std::map<std::string, const ZipEntry*> new_entries;
    for (const ZipEntry& entry : new_zip_.entries()) {
      auto [it, inserted] = new_entries.try_emplace(base::ToLowerAscii(entry.name), &entry);
      if (!inserted) {
        throw CommandError("new " + shown_ + " holds entries '" + it->second->name + "' and '" +
                           entry.name + "', which the installer cannot tell apart");
      }
    }
    for (const ZipEntry& entry : old_zip_.entries()) {
      if (entry.name.size() > engine::kMaxEntryNameLength) return std::nullopt;
      old_entries_[base::ToLowerAscii(entry.name)].push_back(&entry);
    }

    ArchiveDiff diff;
    std::set<std::string> written;
    for (const auto& [name, entry] : new_entries) {
      std::optional<bool> same = SameAsOld(name, *entry);
      if (!same) return std::nullopt;
      // A folder entry carries nothing, and a patch source cannot hold one.
      if (*same || IsFolderEntry(name)) continue;
      diff.new_entries.push_back({name, NewContent(*entry)});
      written.insert(name);
    }
    for (const auto& [name, entries] : old_entries_) {
      if (!new_entries.contains(name)) {
        if (name.find_first_of("\r\n") != std::string::npos) return std::nullopt;
        diff.drop_names.push_back(name);
        continue;
      }
      // A surviving entry is copied as stored, which the installer can do
      // only for stored and deflated entries.
      for (const ZipEntry* entry : entries) {
        if (!written.contains(name) && entry->method != 0 && entry->method != Z_DEFLATED) {
          return std::nullopt;
        }
      }
    }
    for (const std::string& name : written) CheckWritableName(name, written, "new " + shown_);
    return diff;
  }

 private:
  // nullopt when the old entry cannot be read.
  std::optional<bool> SameAsOld(const std::string& name, const ZipEntry& entry) {
    auto old = old_entries_.find(name);
    // Old entries that share a lower-cased name all give way to one new entry.
    if (old == old_entries_.end() || old->second.size() != 1) return false;
    const ZipEntry& old_entry = *old->second.front();
    if (old_entry.crc != entry.crc || old_entry.size != entry.size) return false;
    payload::Bytes old_content;
    try {
      old_content = old_zip_.Content(old_entry);
    } catch (const ZipReadError&) {
      return std::nullopt;
    }
    return old_content == NewContent(entry);
  }

  payload::Bytes NewContent(const ZipEntry& entry) {
    try {
      return new_zip_.Content(entry);
    } catch (const ZipReadError& error) {
      throw CommandError("new " + shown_ + ": " + error.what());
    }
  }

  ZipReader& old_zip_;
  ZipReader& new_zip_;
  std::string shown_;
  std::map<std::string, std::vector<const ZipEntry*>> old_entries_;  // by lower-cased name
};

}  // namespace

std::optional<ArchiveDiff> DiffArchives(const std::filesystem::path& old_archive,
                                        const std::filesystem::path& new_archive,
                                        const std::string& shown) {
  std::optional<ZipReader> new_zip;
  try {
    new_zip.emplace(new_archive);
  } catch (const ZipReadError& error) {
    throw CommandError("new " + shown + ": " + error.what());
  }
  std::optional<ZipReader> old_zip;
  try {
    old_zip.emplace(old_archive);
  } catch (const ZipReadError&) {
    return std::nullopt;
  }
  return ArchiveComparison(*old_zip, *new_zip, shown).Run();
}

}  // namespace patchpack
