// patchpack attach: makes an installer of a built stub, the console one or
// the Windows one, and a payload (and optionally a replacement message
// table): appended as a bundle to the console stub, written as resources into
// the Windows stub's image.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>

#include "messages/message_table.h"
#include "payload/payload_container.h"
#include "payload/payload_writer.h"
#include "tools/patchpack/command_line.h"
#include "tools/patchpack/installer_file.h"

namespace patchpack {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHelp =
    "usage: patchpack attach STUB PAYLOAD -o OUTPUT [--messages FILE]\n"
    "\n"
    "Writes the installer OUTPUT: the patch-installer executable STUB, the\n"
    "console stub (patch-installer) or the Windows one (patch-installer.exe),\n"
    "with the payload file PAYLOAD attached, ready to run. The Windows stub\n"
    "takes it as resource \"PATCHDATA\" 101. STUB may be an installer that\n"
    "already carries a payload; it is replaced. OUTPUT must be a new name,\n"
    "none of the files read.\n"
    "\n"
    "options:\n"
    "  -o OUTPUT        the installer to write (made executable)\n"
    "  --messages FILE  a UTF-16LE message table (byte-order mark, then the\n"
    "                   twelve messages, one a line) to use instead of the one\n"
    "                   built into STUB; in the Windows stub, \"LOCAL\" 103\n"
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

void CheckPayload(const std::string& path, const payload::Bytes& payload_bytes) {
  if (payload_bytes.size() <= payload::kTrailerSize ||
      !payload::CheckPayloadTrailer(payload_bytes)) {
    throw CommandError(path + ": not a payload: its SHA-1 trailer does not match the contents");
  }
}

// Loaded the way the installer loads it, so that what is counted is what a
// player would see: a table short of a line leaves a text empty.
void CheckMessages(const std::string& path, const payload::Bytes& table) {
  if (table.size() < 2 || table[0] != 0xFF || table[1] != 0xFE) {
    throw CommandError(path + ": not a message table: it lacks the UTF-16LE byte-order mark");
  }
  if (table.size() % 2 != 0) {
    throw CommandError(path + ": not a message table: an odd number of bytes is not UTF-16");
  }
  for (std::size_t at = 2; at < table.size(); at += 2) {
    if (table[at] == 0 && table[at + 1] == 0) {
      throw CommandError(path + ": not a message table: it holds a NUL character");
    }
  }
  messages::LoadMessageTable(table);
  int count = 0, empty = 0;
  while (count < messages::kMessageCount) {
    const char16_t* text = messages::Message(static_cast<messages::MsgId>(count));
    if (text == nullptr) break;
    if (text[0] == 0 && empty == 0) empty = count + 1;
    ++count;
  }
  messages::ReleaseMessageTable();
  if (count < messages::kMessageCount) {
    throw CommandError(path + ": incomplete message table: " + std::to_string(count) +
                       " lines, the installer needs " + std::to_string(messages::kMessageCount));
  }
  // Eleven lines and a final line end make an empty twelfth: a text missing
  // as surely as an absent one.
  if (empty != 0) {
    throw CommandError(path + ": incomplete message table: line " + std::to_string(empty) +
                       " is empty");
  }
}

// Writing over an input would lose it: a payload replaced by its own
// installer is gone.
void CheckOutputIsNew(const std::string& output, const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    std::error_code error;
    if (output == input || fs::equivalent(output, input, error)) {
      throw CommandError(output + ": the output would replace the input " + input +
                         "; write the installer to a new name");
    }
  }
}

// Written beside the target and renamed over it, so that a failed write
// leaves an earlier installer (possibly the stub itself) whole.
void WriteExecutable(const std::string& path, const payload::Bytes& bytes) {
  const std::string temporary = path + ".attaching";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
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

  const std::string& output = parsed.values["-o"];
  std::vector<std::string> inputs = {stub_path, payload_path};
  if (parsed.values.contains("--messages")) inputs.push_back(parsed.values["--messages"]);
  CheckOutputIsNew(output, inputs);

  const InstallerFile stub = ReadInstallerFile(stub_path, ReadFile(stub_path));
  if (stub.kind == InstallerKind::kNone) {
    throw CommandError(stub_path + ": not a patch-installer stub (console or Windows)");
  }
  const payload::Bytes payload_bytes = ReadFile(payload_path);
  CheckPayload(payload_path, payload_bytes);
  std::optional<payload::Bytes> messages;
  if (parsed.values.contains("--messages")) {
    messages = ReadFile(parsed.values["--messages"]);
    CheckMessages(parsed.values["--messages"], *messages);
  }

  const payload::Bytes installer = AttachToStub(stub_path, stub, payload_bytes, messages);
  WriteExecutable(output, installer);
  std::cout << "wrote " << output << ": " << KindName(stub.kind, true) << ", " << installer.size()
            << " bytes, payload " << payload_bytes.size() << " bytes";
  if (messages) std::cout << ", message table " << messages->size() << " bytes";
  std::cout << "\n";
  return 0;
}

}  // namespace patchpack
