// patchpack inspect: checks a payload as the installer would, in the same
// order (trailer, declared size, decoding, stream grammar), and lists what
// the patch does. The payload may be a file of its own or the one inside a
// console or Windows installer. A failure names the first check that failed.
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <new>
#include <string>

#include "payload/payload_container.h"
#include "tools/patchpack/commands/command_line.h"
#include "tools/patchpack/formats/installer_file.h"
#include "tools/patchpack/report/listing_json.h"
#include "tools/patchpack/formats/patch_stream_reader.h"

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

payload::Bytes ReadPayloadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw CommandError("cannot read " + path);
  payload::Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw CommandError("cannot read " + path);
  return bytes;
}

// A payload that fails a check: its kind ("corrupt", ...) and the message.
struct PayloadFault {
  std::string result;
  std::string message;
};

payload::PatchDescription Unpack(const payload::Bytes& payload_bytes) {
  auto fail = [](const std::string& what) {
    const std::size_t colon = what.find(':');
    std::string result = what.substr(0, colon);
    if (result.starts_with("malformed")) result = "malformed";
    if (result.starts_with("cannot allocate")) result = "out of memory";
    return PayloadFault{result, what};
  };
  if (payload_bytes.size() <= payload::kTrailerSize) {
    throw fail("too short: " + std::to_string(payload_bytes.size()) +
               " bytes, not even room for the 20-byte SHA-1 trailer and a body");
  }
  if (!payload::CheckPayloadTrailer(payload_bytes)) {
    throw fail("corrupt: the SHA-1 trailer does not match the contents");
  }
  std::span<const std::uint8_t> body(payload_bytes.data(),
                                     payload_bytes.size() - payload::kTrailerSize);
  if (body.size() < payload::kHeaderSize) {
    throw fail("too short: the body is " + std::to_string(body.size()) +
               " bytes, less than its 14-byte header");
  }
  std::optional<std::uint32_t> size = payload::ReadDeclaredSize(body);
  if (!size) throw fail("undecodable: the declared stream size is 4 GiB or more");

  std::unique_ptr<std::uint8_t[]> block;
  try {
    block = std::make_unique_for_overwrite<std::uint8_t[]>(*size);
  } catch (const std::bad_alloc&) {
    throw fail("cannot allocate " + std::to_string(*size) + " bytes for the decoded stream");
  }
  const payload::DecodeResult decoded =
      payload::DecodePayload(body, std::span<std::uint8_t>(block.get(), *size));
  switch (decoded) {
    case payload::DecodeResult::kOk:
      break;
    case payload::DecodeResult::kTooShort:
      throw fail("undecodable: the LZMA data is damaged: " +
                 std::to_string(body.size() - payload::kHeaderSize) +
                 " bytes, fewer than the 5 that LZMA data begins with");
    case payload::DecodeResult::kUnknownFilter:
      throw fail("undecodable: unknown filter flag " + std::to_string(body[0]));
    case payload::DecodeResult::kBadProperties:
      throw fail("undecodable: LZMA properties byte " + std::to_string(body[1]) +
                 " is out of range");
    case payload::DecodeResult::kNoMemory:
      throw fail("cannot allocate the decoder's dictionary of " + std::to_string(*size) + " bytes");
    case payload::DecodeResult::kDamaged:
      throw fail("undecodable: the LZMA data is damaged");
    case payload::DecodeResult::kEndsEarly:
      throw fail("undecodable: the LZMA data ends before the declared " + std::to_string(*size) +
                 " bytes");
  }
  try {
    return ReadPatchDescription(std::move(block), *size);
  } catch (const MalformedStream& error) {
    throw fail(std::string("malformed stream: ") + error.what());
  }
}

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
  if (parsed.help) {
    std::cout << kHelp;
    return 0;
  }
  if (parsed.positional.size() != 1) throw UsageError("inspect takes one FILE");
  const bool json = parsed.switches.contains("--json");
  const std::string& path = parsed.positional[0];
  payload::Bytes bytes = ReadPayloadFile(path);
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
    try {
      report.description = Unpack(payload_bytes);
    } catch (const PayloadFault& fault) {
      report.result = fault.result;
      report.message = fault.message;
    }
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
