// patchpack inspect: checks a payload as the installer would, in the same
// order (trailer, declared size, decoding, stream grammar), and lists what
// the patch does. A failure names the first check that failed.
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <new>
#include <string>

#include "payload/payload_container.h"
#include "tools/patchpack/command_line.h"
#include "tools/patchpack/patch_stream_reader.h"

namespace patchpack {
namespace {

constexpr const char* kHelp =
    "usage: patchpack inspect PAYLOAD\n"
    "\n"
    "Checks the payload file PAYLOAD as the installer does (SHA-1 trailer,\n"
    "header, LZMA data, patch stream) and lists its version, loose files,\n"
    "archives with their new entries (+) and dropped entries (-), and deletions.\n"
    "A payload that fails is reported as corrupt, too short, undecodable or\n"
    "malformed.\n"
    "\n"
    "options:\n"
    "  -h, --help   show this help\n";

payload::Bytes ReadPayloadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw CommandError("cannot read " + path);
  payload::Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw CommandError("cannot read " + path);
  return bytes;
}

payload::PatchDescription Unpack(const std::string& path, const payload::Bytes& payload_bytes) {
  auto fail = [&](const std::string& what) { return CommandError(path + ": " + what); };
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
      throw fail("cannot allocate the decoder's dictionary of " + std::to_string(*size) +
                 " bytes");
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
  ParsedArguments parsed = ParseArguments(arguments, {});
  if (parsed.help) {
    std::cout << kHelp;
    return 0;
  }
  if (parsed.positional.size() != 1) throw UsageError("inspect takes one PAYLOAD file");
  const std::string& path = parsed.positional[0];
  payload::Bytes payload_bytes = ReadPayloadFile(path);
  payload::PatchDescription description = Unpack(path, payload_bytes);
  PrintListing(payload_bytes, description);
  return 0;
}

}  // namespace patchpack
