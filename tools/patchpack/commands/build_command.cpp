// patchpack build: a patch source folder in, a payload file out.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>

#include "base/hex.h"
#include "payload/payload_encoder.h"
#include "payload/payload_writer.h"
#include "payload/sha1.h"
#include "tools/patchpack/commands/command_line.h"
#include "tools/patchpack/report/json_text.h"
#include "tools/patchpack/report/json_writer.h"
#include "tools/patchpack/report/payload_output.h"
#include "tools/patchpack/report/progress_reporter.h"
#include "tools/patchpack/source/patch_source.h"

namespace patchpack {
namespace {

constexpr const char* kHelp =
    "usage: patchpack build SOURCE -o PAYLOAD [--x86] [--preset N[e]] [--follow-links]\n"
    "                      [--allow-empty]\n"
    "\n"
    "Builds a payload from the patch source folder SOURCE:\n"
    "  version.txt                    the patch version, decimal (may be negative)\n"
    "  files/<target path>            loose files, by their path in the game folder\n"
    "  archives/<archive path>/       new entries of that archive, by entry name\n"
    "  archives/<archive path>.drop   entry names to drop from it, one a line\n"
    "  delete.txt                     game paths to delete, one a line\n"
    "Entry and drop names must be lower case and at most 256 bytes. Game paths\n"
    "that Windows cannot hold (a name ending in a space or a dot, holding one\n"
    "of < > : \" | ? * or a control character, or a device name such as CON,\n"
    "NUL, COM1 or LPT1 with any extension) are refused, as are symbolic links\n"
    "and archive records that change nothing. An existing PAYLOAD is replaced\n"
    "only once the new one is complete.\n"
    "\n"
    "options:\n"
    "  -o PAYLOAD       the payload file to write\n"
    "  --x86            apply the x86 BCJ filter before compressing (for executables)\n"
    "  --preset N[e]    the encoder's effort, 0 to 9 (default 6), e for extreme;\n"
    "                   the dictionary is sized to the patch whatever the preset,\n"
    "                   so the installer's memory does not depend on it\n"
    "  --follow-links   pack what symbolic links in SOURCE point to\n"
    "  --allow-empty    build a patch that changes nothing but the version\n"
    "  --json           print one JSON document instead of the summary\n"
    "  --quiet          no progress on stderr (shown for work longer than a second:\n"
    "                   a bar on a terminal, a line every 5 s otherwise)\n"
    "  -h, --help       show this help\n";

// --preset N or Ne: liblzma's level 0 to 9, "e" for its extreme variant.
payload::EncodeOptions PresetOptions(const ParsedArguments& parsed) {
  payload::EncodeOptions options;
  auto preset = parsed.values.find("--preset");
  if (preset == parsed.values.end()) return options;
  const std::string& value = preset->second;
  if (value.empty() || value[0] < '0' || value[0] > '9' || value.size() > 2 ||
      (value.size() == 2 && value[1] != 'e')) {
    throw UsageError("--preset takes a level from 0 to 9, optionally followed by e");
  }
  options.preset = value[0] - '0';
  options.extreme = value.size() == 2;
  return options;
}

std::size_t EntryCount(const payload::PatchDescription& description) {
  std::size_t count = 0;
  for (const payload::ArchiveRecord& archive : description.archives)
    count += archive.new_entries.size();
  return count;
}

std::uint64_t ContentBytes(const std::vector<payload::FileEntry>& files) {
  std::uint64_t bytes = 0;
  for (const payload::FileEntry& file : files) bytes += file.content.size();
  return bytes;
}

// The installer stages every loose file whole beside its target, and each
// rewritten archive beside the old one: the player needs at least the new
// contents free, plus the surviving old entries, which only the game knows.
std::uint64_t StagingBytesAtLeast(const payload::PatchDescription& description) {
  std::uint64_t bytes = ContentBytes(description.loose_files);
  for (const payload::ArchiveRecord& archive : description.archives)
    bytes += ContentBytes(archive.new_entries);
  return bytes;
}

std::size_t DroppedCount(const payload::PatchDescription& description) {
  std::size_t count = 0;
  for (const payload::ArchiveRecord& archive : description.archives)
    count += archive.drop_names.size();
  return count;
}

void PrintJson(const std::string& output, const payload::PatchDescription& description,
               std::uint64_t stream_size, std::uint64_t payload_size, const std::string& sha1) {
  const std::uint64_t loose_bytes = ContentBytes(description.loose_files);
  JsonWriter json(std::cout);
  json.BeginObject()
      .Member("patchpack", PI_VERSION)
      .Member("result", "built")
      .Member("payload", output)
      .Member("version", static_cast<std::int32_t>(description.version));
  json.Key("sections").BeginArray();
  json.BeginObject()
      .Member("name", "loose files")
      .Member("count", description.loose_files.size())
      .Member("bytes", loose_bytes)
      .EndObject();
  json.BeginObject()
      .Member("name", "archives")
      .Member("count", description.archives.size())
      .Member("new_entries", EntryCount(description))
      .Member("dropped_entries", DroppedCount(description))
      .Member("bytes", StagingBytesAtLeast(description) - loose_bytes)
      .EndObject();
  json.BeginObject()
      .Member("name", "deletions")
      .Member("count", description.deletions.size())
      .EndObject();
  json.EndArray()
      .Member("stream_bytes", stream_size)
      .Member("payload_bytes", payload_size)
      .Member("payload_sha1", sha1)
      .Member("staging_bytes_at_least", StagingBytesAtLeast(description))
      .EndObject();
}

}  // namespace

int RunBuildCommand(std::span<const std::string> arguments) {
  ParsedArguments parsed = ParseArguments(
      arguments, {.with_value = {"-o", "--preset"},
                  .switches = {"--x86", "--follow-links", "--allow-empty", "--quiet", "--json"}});
  if (AnswerHelpOrVersion(parsed, kHelp)) return 0;
  if (parsed.positional.size() != 1) throw UsageError("build takes one SOURCE folder");
  if (!parsed.values.contains("-o")) throw UsageError("build needs -o PAYLOAD");

  const std::string& output = parsed.values["-o"];
  PayloadOutput out(output);
  payload::PatchDescription description = LoadPatchSource(
      parsed.positional[0], {.follow_links = parsed.switches.contains("--follow-links")});
  if (description.loose_files.empty() && description.archives.empty() &&
      description.deletions.empty() && !parsed.switches.contains("--allow-empty")) {
    throw CommandError(parsed.positional[0] +
                       " holds no files, archives or deletions: the patch would change nothing "
                       "but curver.txt (--allow-empty builds it anyway)");
  }
  std::uint64_t stream_size = 0;
  std::uint64_t payload_size = 0;
  payload::Sha1 payload_sha1;
  try {
    stream_size = payload::PatchStreamSize(description);
    payload::EncodeOptions options = PresetOptions(parsed);
    options.x86_filter = parsed.switches.contains("--x86");
    payload::PayloadEncoder encoder(stream_size, options, [&](std::span<const std::uint8_t> piece) {
      out.Write(piece);
      payload_sha1.Update(piece);
      payload_size += piece.size();
    });
    ProgressReporter progress("compressing", stream_size,
                              ProgressReporter::ModeForStderr(parsed.switches.contains("--quiet")));
    payload::WritePatchStream(description, [&](std::span<const std::uint8_t> piece) {
      // Big contents go in slices, so that the progress moves within a file.
      constexpr std::size_t kSlice = 1u << 20;
      for (std::size_t at = 0; at < piece.size(); at += kSlice) {
        std::span<const std::uint8_t> slice =
            piece.subspan(at, std::min(kSlice, piece.size() - at));
        encoder.Feed(slice);
        progress.Advance(slice.size());
      }
    });
    encoder.Finish();
    progress.Finish();
  } catch (const std::invalid_argument& error) {
    throw CommandError(error.what());
  }
  out.Commit();

  std::string sha1 = base::LowerHex(payload_sha1.Finish());
  if (parsed.switches.contains("--json")) {
    PrintJson(output, description, stream_size, payload_size, sha1);
    return 0;
  }
  double ratio = stream_size == 0
                     ? 0
                     : 100.0 * static_cast<double>(payload_size) / static_cast<double>(stream_size);
  char percent[16];
  std::snprintf(percent, sizeof percent, "%.1f", ratio);
  std::cout << "wrote " << output << ": " << payload_size << " bytes, stream of " << stream_size
            << " bytes; " << Plural(description.loose_files.size(), "loose file", "loose files")
            << ", " << Plural(description.archives.size(), "archive", "archives") << " with "
            << Plural(EntryCount(description), "new entry", "new entries") << " and "
            << Plural(DroppedCount(description), "dropped entry", "dropped entries") << ", "
            << Plural(description.deletions.size(), "deletion", "deletions") << "\n"
            << "payload " << ByteCount(payload_size) << " of " << ByteCount(stream_size) << " ("
            << percent << " %), SHA-1 " << sha1 << "\n"
            << "the player needs at least " << ByteCount(StagingBytesAtLeast(description))
            << " free for staging";
  // A rewritten archive is staged whole, old entries and all, and only the
  // game knows how large they are.
  if (!description.archives.empty()) {
    std::cout << ", plus the surviving entries of each rewritten archive";
  }
  std::cout << "\n";
  return 0;
}

}  // namespace patchpack
