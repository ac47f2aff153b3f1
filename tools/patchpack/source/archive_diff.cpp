#include "tools/patchpack/source/archive_diff.h"

#include <map>
#include <set>

#include "base/ascii.h"
#include "engine/name_limits.h"
#include "tools/patchpack/formats/zip_reader.h"
#include "tools/patchpack/report/command_error.h"
#include "tools/patchpack/source/folder_diff.h"
#include "tools/patchpack/source/source_rules.h"

namespace patchpack {
namespace {

bool IsFolderEntry(const std::string& name) { return name.ends_with('/'); }

bool CopiedRaw(const ZipEntry& entry) { return entry.method == 0 || entry.method == Z_DEFLATED; }

// A new entry becomes a file below the archive's folder in the patch source,
// so each part of its name must be an ordinary file or folder name there,
// and the whole name one that the installer takes.
void CheckWritableName(const std::string& name, const std::set<std::string>& all,
                       const std::string& shown) {
  CheckEntryName(name, shown);
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

ArchiveDiffOutcome Whole(const std::string& why) { return {std::nullopt, why}; }

class ArchiveComparison {
 public:
  ArchiveComparison(ZipReader& old_zip, ZipReader& new_zip, const std::string& shown)
      : old_zip_(old_zip), new_zip_(new_zip), shown_(shown) {}

  ArchiveDiffOutcome Run() {
    std::map<std::string, const ZipEntry*> new_entries;
    for (const ZipEntry& entry : new_zip_.entries()) {
      auto [it, inserted] = new_entries.try_emplace(base::ToLowerAscii(entry.name), &entry);
      if (!inserted) {
        throw CommandError("new " + shown_ + " holds entries '" + it->second->name + "' and '" +
                           entry.name + "', which the installer cannot tell apart");
      }
      if (entry.encrypted) return Whole("NEW's entry '" + entry.name + "' is encrypted");
      if (!CopiedRaw(entry)) {
        return Whole("NEW's entry '" + entry.name + "' is compressed by method " +
                     std::to_string(entry.method) + ", which patchpack cannot read");
      }
    }
    for (const ZipEntry& entry : old_zip_.entries()) {
      if (entry.name.size() > engine::kMaxEntryNameLength) {
        return Whole("OLD's copy holds an entry name of " + std::to_string(entry.name.size()) +
                     " bytes; the installer reads names of at most " +
                     std::to_string(engine::kMaxEntryNameLength));
      }
      old_entries_[base::ToLowerAscii(entry.name)].push_back(&entry);
    }

    ArchiveDiff diff;
    std::set<std::string> written;
    for (const auto& [name, entry] : new_entries) {
      std::optional<bool> same = SameAsOld(name, *entry);
      if (!same) return Whole("OLD's entry '" + name + "' cannot be read");
      // A folder entry carries nothing, and a patch source cannot hold one.
      if (*same || IsFolderEntry(name)) continue;
      diff.new_entries.push_back({name, NewContent(*entry)});
      written.insert(name);
    }
    for (const auto& [name, entries] : old_entries_) {
      if (!new_entries.contains(name)) {
        if (name.find_first_of("\r\n") != std::string::npos) {
          return Whole("OLD's entry name '" + name + "' holds a line break, which a .drop list " +
                       "cannot carry");
        }
        diff.drop_names.push_back(name);
        continue;
      }
      // A surviving entry is copied as stored, which the installer can do
      // only for stored and deflated entries that are not encrypted.
      for (const ZipEntry* entry : entries) {
        if (written.contains(name)) break;
        if (entry->encrypted) {
          return Whole("OLD's entry '" + entry->name +
                       "' is encrypted, and the installer cannot copy it");
        }
        if (!CopiedRaw(*entry)) {
          return Whole("OLD's entry '" + entry->name + "' is compressed by method " +
                       std::to_string(entry->method) + ", which the installer cannot copy");
        }
      }
    }
    for (const std::string& name : written) CheckWritableName(name, written, "new " + shown_);
    return {std::move(diff), ""};
  }

 private:
  // nullopt when the old entry cannot be read.
  std::optional<bool> SameAsOld(const std::string& name, const ZipEntry& entry) {
    auto old = old_entries_.find(name);
    // Old entries that share a lower-cased name all give way to one new entry.
    if (old == old_entries_.end() || old->second.size() != 1) return false;
    const ZipEntry& old_entry = *old->second.front();
    // An old entry that cannot be read is replaced, never compared.
    if (old_entry.encrypted || !CopiedRaw(old_entry)) return false;
    if (old_entry.crc != entry.crc || old_entry.size != entry.size) return false;
    payload::Bytes old_content;
    try {
      old_content = old_zip_.Content(old_entry);
    } catch (const CommandError&) {
      return std::nullopt;  // the installer could not copy it either
    }
    return old_content == NewContent(entry);
  }

  payload::Bytes NewContent(const ZipEntry& entry) { return new_zip_.Content(entry); }

  ZipReader& old_zip_;
  ZipReader& new_zip_;
  std::string shown_;
  std::map<std::string, std::vector<const ZipEntry*>> old_entries_;  // by lower-cased name
};

}  // namespace

ArchiveDiffOutcome DiffArchives(const std::filesystem::path& old_archive,
                                const std::filesystem::path& new_archive,
                                const std::string& shown) {
  ZipReader new_zip(new_archive, "new " + shown);
  std::optional<ZipReader> old_zip;
  const std::string old_shown = "old " + shown;
  try {
    old_zip.emplace(old_archive, old_shown);
  } catch (const CommandError& error) {
    // The reader names the archive first; the reason follows ": ".
    return Whole("OLD's copy is " + std::string(error.what()).substr(old_shown.size() + 2));
  }
  return ArchiveComparison(*old_zip, new_zip, shown).Run();
}

}  // namespace patchpack
