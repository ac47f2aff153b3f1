#include "tools/patchpack/inspect_json.h"

#include <cstdio>

#include "payload/sha1.h"

namespace patchpack {
namespace {

// The length of the UTF-8 sequence at `at`, or 0 when it is not one.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  const std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                             : lead >= 0xE0                 ? 3
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                                                            : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else if (c >= 0x80) {
      const std::size_t length = Utf8Length(text, at);
      if (length != 0) {
        out.append(text, at, length);
        at += length;
        continue;
      }
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(c);
    }
    ++at;
  }
  return out + "\"";
}

std::string Hex(const payload::Sha1Digest& digest) {
  std::string out;
  for (std::uint8_t byte : digest) {
    out += "0123456789abcdef"[byte >> 4];
    out += "0123456789abcdef"[byte & 15];
  }
  return out;
}

void WriteSections(std::ostream& out, const payload::PatchDescription& description) {
  std::uint64_t loose_bytes = 0, new_entry_bytes = 0, dropped = 0;
  out << "  \"sections\": [\n    {\"name\": \"loose files\", \"count\": "
      << description.loose_files.size() << ", \"files\": [";
  const char* comma = "";
  for (const payload::FileEntry& file : description.loose_files) {
    out << comma << "\n      {\"name\": " << Quoted(file.name)
        << ", \"bytes\": " << file.content.size() << "}";
    loose_bytes += file.content.size();
    comma = ",";
  }
  out << "], \"bytes\": " << loose_bytes << "},\n";
  out << "    {\"name\": \"archives\", \"count\": " << description.archives.size()
      << ", \"archives\": [";
  comma = "";
  for (const payload::ArchiveRecord& archive : description.archives) {
    out << comma << "\n      {\"name\": " << Quoted(archive.path) << ", \"new_entries\": [";
    const char* inner = "";
    for (const payload::FileEntry& entry : archive.new_entries) {
      out << inner << "{\"name\": " << Quoted(entry.name) << ", \"bytes\": " << entry.content.size()
          << "}";
      new_entry_bytes += entry.content.size();
      inner = ", ";
    }
    out << "], \"dropped_entries\": [";
    inner = "";
    for (const std::string& name : archive.drop_names) {
      out << inner << Quoted(name);
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
    out << comma << Quoted(path);
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
  out << "  \"staging\": {\"bytes_at_least\": " << loose_bytes + new_entry_bytes
      << ", \"exact\": " << (description.archives.empty() ? "true" : "false") << ", \"note\": "
      << Quoted(description.archives.empty()
                    ? "the loose files, staged beside their targets"
                    : "the loose files plus the new archive entries uncompressed; each rewritten "
                      "archive is staged whole, so add the size of every archive listed, which "
                      "only the game folder tells")
      << "},\n";
}

}  // namespace

void WriteInspectJson(std::ostream& out, const InspectReport& report) {
  out << "{\n  \"file\": " << Quoted(report.file) << ",\n  \"kind\": " << Quoted(report.kind)
      << ",\n";
  if (report.payload != nullptr) {
    out << "  \"payload\": {\"bytes\": " << report.payload->size()
        << ", \"sha1\": " << Quoted(Hex(payload::ComputeSha1(*report.payload)));
    if (!report.payload->empty()) {
      out << ", \"x86_filter\": " << ((*report.payload)[0] == 1 ? "true" : "false");
    }
    out << "},\n";
  }
  if (report.description) {
    out << "  \"version\": " << static_cast<std::int32_t>(report.description->version) << ",\n";
    WriteSections(out, *report.description);
  }
  out << "  \"result\": " << Quoted(report.result);
  if (!report.message.empty()) out << ",\n  \"error\": " << Quoted(report.message);
  out << "\n}\n";
}

}  // namespace patchpack
