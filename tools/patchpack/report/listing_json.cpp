#include "tools/patchpack/report/listing_json.h"

#include "base/hex.h"
#include "payload/sha1.h"
#include "tools/patchpack/report/json_text.h"

namespace patchpack {

void WritePayloadMember(JsonWriter& json, const payload::Bytes& payload_bytes) {
  json.Key("payload").BeginObject();
  json.Member("bytes", payload_bytes.size())
      .Member("sha1", base::LowerHex(payload::ComputeSha1(payload_bytes)));
  if (!payload_bytes.empty()) json.Member("x86_filter", payload_bytes[0] == 1);
  json.EndObject();
}

void WritePatchMembers(JsonWriter& json, const payload::PatchDescription& description,
                       std::optional<std::uint64_t> game_staging) {
  json.Member("version", static_cast<std::int32_t>(description.version));
  std::uint64_t loose_bytes = 0, new_entry_bytes = 0;
  std::size_t new_entries = 0, dropped = 0;
  json.Key("sections").BeginArray();

  json.BeginObject().Member("name", "loose files").Member("count", description.loose_files.size());
  json.Key("files").BeginArray();
  for (const payload::FileEntry& file : description.loose_files) {
    json.BeginObject().Member("name", file.name).Member("bytes", file.content.size()).EndObject();
    loose_bytes += file.content.size();
  }
  json.EndArray().Member("bytes", loose_bytes).EndObject();

  json.BeginObject().Member("name", "archives").Member("count", description.archives.size());
  json.Key("archives").BeginArray();
  for (const payload::ArchiveRecord& archive : description.archives) {
    json.BeginObject().Member("name", archive.path).Key("new_entries").BeginArray();
    for (const payload::FileEntry& entry : archive.new_entries) {
      json.BeginObject()
          .Member("name", entry.name)
          .Member("bytes", entry.content.size())
          .EndObject();
      new_entry_bytes += entry.content.size();
    }
    json.EndArray().Member("dropped_entries", archive.drop_names).EndObject();
    new_entries += archive.new_entries.size();
    dropped += archive.drop_names.size();
  }
  json.EndArray().Member("bytes", new_entry_bytes).EndObject();

  json.BeginObject()
      .Member("name", "deletions")
      .Member("count", description.deletions.size())
      .Member("paths", description.deletions)
      .EndObject();
  json.EndArray();

  json.Key("totals")
      .BeginObject()
      .Member("loose_files", description.loose_files.size())
      .Member("archives", description.archives.size())
      .Member("new_entries", new_entries)
      .Member("dropped_entries", dropped)
      .Member("deletions", description.deletions.size())
      .Member("new_content_bytes", loose_bytes + new_entry_bytes)
      .EndObject();
  // Every file is staged whole beside its target before the commit. For a
  // loose file that is its size; a rewritten archive also carries every old
  // entry it keeps, which only the game folder knows.
  json.Key("staging").BeginObject();
  if (game_staging) {
    json.Member("bytes_at_least", *game_staging)
        .Member("exact", true)
        .Member("note",
                "what the installer's free-space check asks of this game: the loose files, "
                "the new archive entries and each rewritten archive at its size there");
  } else {
    json.Member("bytes_at_least", loose_bytes + new_entry_bytes)
        .Member("exact", description.archives.empty())
        .Member("note", description.archives.empty()
                            ? "the loose files, staged beside their targets"
                            : "the loose files plus the new archive entries uncompressed; each "
                              "rewritten archive is staged whole, so add the size of every "
                              "archive listed, which only the game folder tells");
  }
  json.EndObject();
}

void WriteInspectJson(std::ostream& out, const InspectReport& report) {
  JsonWriter json(out);
  json.BeginObject().Member("file", report.file).Member("kind", report.kind);
  if (!report.signature.empty()) json.Member("signature", report.signature);
  if (report.payload != nullptr) WritePayloadMember(json, *report.payload);
  if (report.description) WritePatchMembers(json, *report.description, std::nullopt);
  json.Member("result", report.result);
  if (!report.message.empty()) json.Member("error", report.message);
  json.EndObject();
}

}  // namespace patchpack
