#include "tools/patchpack/report/listing_json.h"

#include "base/hex.h"
#include "payload/sha1.h"
#include "tools/patchpack/report/json_text.h"

namespace patchpack {

void WritePayloadMember(std::ostream& out, const payload::Bytes& payload_bytes) {
  out << "  \"payload\": {\"bytes\": " << payload_bytes.size()
      << ", \"sha1\": " << JsonString(base::LowerHex(payload::ComputeSha1(payload_bytes)));
  if (!payload_bytes.empty()) {
    out << ", \"x86_filter\": " << (payload_bytes[0] == 1 ? "true" : "false");
  }
  out << "},\n";
}

void WritePatchMembers(std::ostream& out, const payload::PatchDescription& description,
                       std::optional<std::uint64_t> game_staging) {
  out << "  \"version\": " << static_cast<std::int32_t>(description.version) << ",\n";
  std::uint64_t loose_bytes = 0, new_entry_bytes = 0, dropped = 0;
  out << "  \"sections\": [\n    {\"name\": \"loose files\", \"count\": "
      << description.loose_files.size() << ", \"files\": [";
  const char* comma = "";
  for (const payload::FileEntry& file : description.loose_files) {
    out << comma << "\n      {\"name\": " << JsonString(file.name)
        << ", \"bytes\": " << file.content.size() << "}";
    loose_bytes += file.content.size();
    comma = ",";
  }
  out << "], \"bytes\": " << loose_bytes << "},\n";
  out << "    {\"name\": \"archives\", \"count\": " << description.archives.size()
      << ", \"archives\": [";
  comma = "";
  for (const payload::ArchiveRecord& archive : description.archives) {
    out << comma << "\n      {\"name\": " << JsonString(archive.path) << ", \"new_entries\": [";
    const char* inner = "";
    for (const payload::FileEntry& entry : archive.new_entries) {
      out << inner << "{\"name\": " << JsonString(entry.name)
          << ", \"bytes\": " << entry.content.size() << "}";
      new_entry_bytes += entry.content.size();
      inner = ", ";
    }
    out << "], \"dropped_entries\": [";
    inner = "";
    for (const std::string& name : archive.drop_names) {
      out << inner << JsonString(name);
      inner = ", ";
    }
    dropped += archive.drop_names.size();
    out << "]}";
    comma = ",";
  }
  out << "], \"bytes\": " << new_entry_bytes << "},\n";
  out << "    {\"name\": \"deletions\", \"count\": " << description.deletions.size()
      << ", \"paths\": [";
  comma = "";
  for (const std::string& path : description.deletions) {
    out << comma << JsonString(path);
    comma = ", ";
  }
  out << "]}\n  ],\n";
  out << "  \"totals\": {\"loose_files\": " << description.loose_files.size()
      << ", \"archives\": " << description.archives.size() << ", \"new_entries\": " <<
      [&] {
        std::size_t count = 0;
        for (const auto& archive : description.archives) count += archive.new_entries.size();
        return count;
      }()
      << ", \"dropped_entries\": " << dropped << ", \"deletions\": " << description.deletions.size()
      << ", \"new_content_bytes\": " << loose_bytes + new_entry_bytes << "},\n";
  // Every file is staged whole beside its target before the commit. For a
  // loose file that is its size; a rewritten archive also carries every old
  // entry it keeps, which only the game folder knows.
  out << "  \"staging\": {";
  if (game_staging) {
    out << "\"bytes_at_least\": " << *game_staging << ", \"exact\": true, \"note\": "
        << JsonString(
               "what the installer's free-space check asks of this game: the loose files, "
               "the new archive entries and each rewritten archive at its size there");
  } else {
    out << "\"bytes_at_least\": " << loose_bytes + new_entry_bytes
        << ", \"exact\": " << (description.archives.empty() ? "true" : "false") << ", \"note\": "
        << JsonString(description.archives.empty()
                          ? "the loose files, staged beside their targets"
                          : "the loose files plus the new archive entries uncompressed; each "
                            "rewritten archive is staged whole, so add the size of every archive "
                            "listed, which only the game folder tells");
  }
  out << "},\n";
}

void WriteInspectJson(std::ostream& out, const InspectReport& report) {
  out << "{\n  \"file\": " << JsonString(report.file)
      << ",\n  \"kind\": " << JsonString(report.kind) << ",\n";
  if (report.payload != nullptr) WritePayloadMember(out, *report.payload);
  if (report.description) WritePatchMembers(out, *report.description, std::nullopt);
  out << "  \"result\": " << JsonString(report.result);
  if (!report.message.empty()) out << ",\n  \"error\": " << JsonString(report.message);
  out << "\n}\n";
}

}  // namespace patchpack
