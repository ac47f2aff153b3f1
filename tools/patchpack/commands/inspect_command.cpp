// patchpack inspect: checks a payload as the installer would, in the same
// order (trailer, declared size, decoding, stream grammar), and lists what
// the patch does. The payload may be a file of its own or the one inside a
// console or Windows installer. A failure names the first check that failed.
#include <cstdint>
#include <iostream>
#include <string>

#include "tools/patchpack/commands/command_line.h"
#include "tools/patchpack/formats/installer_file.h"
#include "tools/patchpack/formats/payload_check.h"
#include "tools/patchpack/report/listing_json.h"
#include "tools/patchpack/source/source_file.h"

namespace patchpack {
namespace {

constexpr const char* kHelp =
    "usage: patchpack inspect FILE [--json]\n"
    "\n"
    "Checks the payload in FILE, a payload file or a console or Windows\n"
    "installer, as the installer does (SHA-1 trailer, header, LZMA data, patch\n"
    "stream) and lists its version, loose files, archives with their new\n"
    "entries (+) and dropped entries (-), and deletions. A payload that fails\n"
    "is reported as corrupt, too short, undecodable or malformed; a stub with\n"
    "nothing attached, or an installer cut short, is reported as such. For a\n"
    "Windows installer it says whether it is signed, and by whom.\n"
    "\n"
    "options:\n"
    "  --json       print one JSON document instead: the file's kind, the\n"
    "               payload's size and SHA-1, the sections with their names\n"
    "               and sizes, totals, the staging space and the result\n"
    "  -h, --help   show this help\n";

void PrintListing(const payload::Bytes& payload_bytes,
                  const payload::PatchDescription& description) {
  std::cout << "version " << static_cast<std::int32_t>(description.version) << "\n";
  std::cout << "x86 filter " << (payload_bytes[0] == 1 ? "on" : "off") << "\n";
  std::cout << "loose files: " << description.loose_files.size() << "\n";
  for (const payload::FileEntry& file : description.loose_files) {
    std::cout << "  " << file.name << "  " << file.content.size() << " bytes\n";
  }
  std::cout << "archives: " << description.archives.size() << "\n";
  for (const payload::ArchiveRecord& archive : description.archives) {
    std::cout << "  " << archive.path << "\n";
    for (const payload::FileEntry& entry : archive.new_entries) {
      std::cout << "    + " << entry.name << "  " << entry.content.size() << " bytes\n";
    }
    for (const std::string& name : archive.drop_names) std::cout << "    - " << name << "\n";
  }
  std::cout << "deletions: " << description.deletions.size() << "\n";
  for (const std::string& path : description.deletions) std::cout << "  " << path << "\n";
}

}  // namespace

int RunInspectCommand(std::span<const std::string> arguments) {
  ParsedArguments parsed = ParseArguments(arguments, {.with_value = {}, .switches = {"--json"}});
  if (AnswerHelpOrVersion(parsed, kHelp)) return 0;
  if (parsed.positional.size() != 1) throw UsageError("inspect takes one FILE");
  const bool json = parsed.switches.contains("--json");
  const std::string& path = parsed.positional[0];
  payload::Bytes bytes = ReadWholeSourceFile(path, path);
  InstallerFile file = ReadInstallerFile(path, bytes);
  const bool attached = file.kind == InstallerKind::kNone || file.payload.has_value();
  InspectReport report;
  report.file = path;
  report.kind = KindName(file.kind, attached);
  report.signature = SignatureText(file);
  payload::Bytes payload_bytes;
  if (file.kind == InstallerKind::kNone) {
    payload_bytes = std::move(bytes);
  } else if (file.payload) {
    payload_bytes = std::move(*file.payload);
  }
  if (file.truncated) {
    report.result = "truncated";
    report.message = TruncationText(file);
  } else if (!attached) {
    report.result = "nothing attached";
    report.message = report.kind + ": nothing is attached, no payload to inspect";
  } else {
    report.payload = &payload_bytes;
    PayloadCheck check = CheckPayload(payload_bytes);
    report.description = std::move(check.description);
    report.result = std::move(check.result);
    report.message = std::move(check.message);
  }
  if (json) WriteInspectJson(std::cout, report);
  if (!report.description) throw CommandError(path + ": " + report.message);
  if (!json) {
    if (file.kind != InstallerKind::kNone) {
      std::cout << report.kind << ", payload " << payload_bytes.size() << " bytes";
      if (!report.signature.empty()) std::cout << ", " << report.signature;
      std::cout << "\n";
    }
    PrintListing(payload_bytes, *report.description);
  }
  return 0;
}

}  // namespace patchpack
