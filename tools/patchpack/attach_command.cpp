// patchpack attach: makes a console installer by attaching a payload (and
// optionally a replacement message table) to a built patch-installer stub,
// in the bundle format that the installer reads back from its own file.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>

#include "bundle/bundle_format.h"
#include "bundle/stub_image.h"
#include "payload/payload_container.h"
#include "payload/payload_writer.h"
#include "tools/patchpack/command_line.h"

namespace patchpack {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHelp =
    "usage: patchpack attach STUB PAYLOAD -o OUTPUT [--messages FILE]\n"
    "\n"
    "Writes the installer OUTPUT: the patch-installer executable STUB with the\n"
    "payload file PAYLOAD attached, ready to run. STUB may be an installer that\n"
    "already carries a payload; it is replaced, together with any replacement\n"
    "message table, so OUTPUT may name STUB itself.\n"
    "\n"
    "options:\n"
    "  -o OUTPUT        the installer to write (made executable)\n"
    "  --messages FILE  a UTF-16LE message table (byte-order mark, one message\n"
    "                   a line) to use instead of the one built into STUB\n"
    "  -h, --help       show this help\n";

// Read in one piece: a stub is megabytes, too many to take a byte at a time.
payload::Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) throw CommandError("cannot read " + path);
  payload::Bytes bytes(static_cast<std::size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!in) throw CommandError("cannot read " + path);
  return bytes;
}

// The bare stub: an installer that already carries a bundle loses it here,
// which is what makes a second attach replace the first.
payload::Bytes BareStub(const std::string& path, payload::Bytes image) {
  if (image.size() >= bundle::kFooterSize) {
    std::span<const std::uint8_t> footer(image.data() + image.size() - bundle::kFooterSize,
                                         bundle::kFooterSize);
    if (bundle::HasFooterMagic(footer)) {
      auto layout = bundle::DecodeFooter(footer, image.size());
      if (!layout) throw CommandError(path + ": damaged installer: its bundle footer is invalid");
      image.resize(layout->stub_size);
    }
  }
  if (!bundle::IsKnownStub(image)) {
    throw CommandError(path + ": not a patch-installer stub");
  }
  return image;
}

void CheckPayload(const std::string& path, const payload::Bytes& payload_bytes) {
  if (payload_bytes.size() <= payload::kTrailerSize ||
      !payload::CheckPayloadTrailer(payload_bytes)) {
    throw CommandError(path + ": not a payload: its SHA-1 trailer does not match the contents");
  }
}

void CheckMessages(const std::string& path, const payload::Bytes& table) {
  if (table.size() < 2 || table[0] != 0xFF || table[1] != 0xFE) {
    throw CommandError(path + ": not a message table: it lacks the UTF-16LE byte-order mark");
  }
}

// Written beside the target and renamed over it, so that a failed write
// leaves an earlier installer (possibly the stub itself) whole.
void WriteExecutable(const std::string& path,
                     const std::vector<std::span<const std::uint8_t>>& parts) {
  const std::string temporary = path + ".attaching";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    for (std::span<const std::uint8_t> part : parts) {
      out.write(reinterpret_cast<const char*>(part.data()),
                static_cast<std::streamsize>(part.size()));
    }
    out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      throw CommandError("cannot write " + path);
    }
  }
  std::error_code error;
  fs::permissions(temporary,
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec,
                  error);
  if (!error) fs::rename(temporary, path, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw CommandError("cannot write " + path + ": " + error.message());
  }
}

}  // namespace

int RunAttachCommand(std::span<const std::string> arguments) {
  ParsedArguments parsed =
      ParseArguments(arguments, {.with_value = {"-o", "--messages"}, .switches = {}});
  if (parsed.help) {
    std::cout << kHelp;
    return 0;
  }
  if (parsed.positional.size() != 2) throw UsageError("attach takes a STUB and a PAYLOAD");
  if (!parsed.values.contains("-o")) throw UsageError("attach needs -o OUTPUT");
  const std::string& stub_path = parsed.positional[0];
  const std::string& payload_path = parsed.positional[1];

  const payload::Bytes stub = BareStub(stub_path, ReadFile(stub_path));
  const payload::Bytes payload_bytes = ReadFile(payload_path);
  CheckPayload(payload_path, payload_bytes);
  payload::Bytes messages;
  if (parsed.values.contains("--messages")) {
    messages = ReadFile(parsed.values["--messages"]);
    CheckMessages(parsed.values["--messages"], messages);
  }

  const auto footer = bundle::EncodeFooter({.stub_size = stub.size(),
                                            .payload_size = payload_bytes.size(),
                                            .messages_size = messages.size()});
  const std::string& output = parsed.values["-o"];
  WriteExecutable(output, {stub, payload_bytes, messages, footer});

  std::cout << "wrote " << output << ": stub " << stub.size() << " bytes + payload "
            << payload_bytes.size() << " bytes";
  if (!messages.empty()) std::cout << " + message table " << messages.size() << " bytes";
  std::cout << " + footer " << footer.size() << " bytes\n";
  return 0;
}

}  // namespace patchpack
