// patchpack attach: makes an installer of a built stub, the console one or
// the Windows one, and a payload (and optionally a replacement message
// table): appended as a bundle to the console stub, written as resources into
// the Windows stub's image.
#include <algorithm>
#include <array>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "bundle/bundle_format.h"
#include "messages/message_table.h"
#include "payload/payload_container.h"
#include "payload/payload_writer.h"
#include "payload/sha1.h"
#include "tools/patchpack/commands/command_line.h"
#include "tools/patchpack/formats/installer_file.h"
#include "tools/patchpack/report/json_writer.h"
#include "tools/patchpack/report/payload_output.h"
#include "tools/patchpack/report/progress_reporter.h"
#include "tools/patchpack/source/source_file.h"

namespace patchpack {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHelp =
    "usage: patchpack attach STUB PAYLOAD -o OUTPUT [--messages FILE] [--json]\n"
    "\n"
    "Writes the installer OUTPUT: the patch-installer executable STUB, the\n"
    "console stub (patch-installer) or the Windows one (patch-installer.exe),\n"
    "with the payload file PAYLOAD attached, ready to run. The Windows stub\n"
    "takes it as resource \"PATCHDATA\" 101. STUB may be an installer that\n"
    "already carries a payload; it is replaced. OUTPUT must be a new name,\n"
    "none of the files read. A signed Windows STUB's signature is left out\n"
    "(it could not cover the new payload): sign OUTPUT, for example with\n"
    "osslsigncode.\n"
    "\n"
    "options:\n"
    "  -o OUTPUT        the installer to write (made executable)\n"
    "  --messages FILE  a UTF-16LE message table (byte-order mark, then the\n"
    "                   twelve messages, one a line) to use instead of the one\n"
    "                   built into STUB; in the Windows stub, \"LOCAL\" 103\n"
    "  --json           print one JSON document instead of the summary\n"
    "  --quiet          no progress of the writing on stderr (shown for work\n"
    "                   longer than a second: a bar on a terminal, a line every\n"
    "                   5 s otherwise)\n"
    "  -h, --help       show this help\n";

// Payloads run to hundreds of megabytes: they are read a chunk at a time,
// to check them and again to copy them, so that a console installer is made
// without holding the payload at all.
constexpr std::size_t kChunkSize = std::size_t{1} << 20;

// The payload's size, once its SHA-1 trailer is found to match its contents.
std::uint64_t CheckPayloadFile(const std::string& path) {
  SourceFileReader in(path, path);
  const std::uint64_t size = in.size();
  const auto refuse = [&] {
    return CommandError(path + ": not a payload: its SHA-1 trailer does not match the contents");
  };
  if (size <= payload::kTrailerSize) throw refuse();
  payload::Sha1 sha1;
  std::vector<std::uint8_t> chunk(kChunkSize);
  for (std::uint64_t left = size - payload::kTrailerSize; left > 0;) {
    const auto piece = std::span(chunk).first(std::min<std::uint64_t>(left, chunk.size()));
    in.Read(piece);
    sha1.Update(piece);
    left -= piece.size();
  }
  const payload::Sha1Digest digest = sha1.Finish();
  std::array<std::uint8_t, payload::kTrailerSize> trailer;
  in.Read(trailer);
  if (!std::equal(trailer.begin(), trailer.end(), digest.begin())) throw refuse();
  return size;
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

// The output and its progress: every byte goes through here. Written beside
// the target and renamed over it, so that a failed write leaves an earlier
// installer (possibly the stub itself) whole.
class InstallerWriter {
 public:
  InstallerWriter(const std::string& path, std::uint64_t total, ProgressReporter::Mode mode)
      : out_(path), progress_("writing", total, mode) {}

  void Write(std::span<const std::uint8_t> bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += kChunkSize) {
      const auto piece = bytes.subspan(at, std::min(kChunkSize, bytes.size() - at));
      out_.Write(piece);
      progress_.Advance(piece.size());
    }
  }

  void CopyPayload(const std::string& path, std::uint64_t size) {
    SourceFileReader in(path, path);
    std::vector<std::uint8_t> chunk(kChunkSize);
    for (std::uint64_t left = size; left > 0;) {
      const auto piece = std::span(chunk).first(std::min<std::uint64_t>(left, chunk.size()));
      in.Read(piece);
      Write(piece);
      left -= piece.size();
    }
  }

  void Commit() {
    progress_.Finish();
    out_.Commit(fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                fs::perms::others_read | fs::perms::others_exec);
  }

 private:
  PayloadOutput out_;
  ProgressReporter progress_;
};

}  // namespace

int RunAttachCommand(std::span<const std::string> arguments) {
  ParsedArguments parsed = ParseArguments(
      arguments, {.with_value = {"-o", "--messages"}, .switches = {"--quiet", "--json"}});
  if (AnswerHelpOrVersion(parsed, kHelp)) return 0;
  if (parsed.positional.size() != 2) throw UsageError("attach takes a STUB and a PAYLOAD");
  if (!parsed.values.contains("-o")) throw UsageError("attach needs -o OUTPUT");
  const std::string& stub_path = parsed.positional[0];
  const std::string& payload_path = parsed.positional[1];

  const std::string& output = parsed.values["-o"];
  std::vector<std::string> inputs = {stub_path, payload_path};
  if (parsed.values.contains("--messages")) inputs.push_back(parsed.values["--messages"]);
  CheckOutputIsNew(output, inputs);

  const InstallerFile stub =
      ReadInstallerFile(stub_path, ReadWholeSourceFile(stub_path, stub_path));
  if (stub.kind == InstallerKind::kNone) {
    throw CommandError(stub_path + ": not a patch-installer stub (console or Windows)");
  }
  if (stub.truncated) throw CommandError(stub_path + ": " + TruncationText(stub));
  const std::uint64_t payload_size = CheckPayloadFile(payload_path);
  std::optional<payload::Bytes> messages;
  if (parsed.values.contains("--messages")) {
    messages = ReadWholeSourceFile(parsed.values["--messages"], parsed.values["--messages"]);
    CheckMessages(parsed.values["--messages"], *messages);
  }

  const ProgressReporter::Mode mode =
      ProgressReporter::ModeForStderr(parsed.switches.contains("--quiet"));
  std::uint64_t installer_size = 0;
  if (stub.kind == InstallerKind::kConsole) {
    // The stub, the payload, the table, the footer: the payload goes from
    // file to file.
    const std::uint64_t messages_size = messages ? messages->size() : 0;
    const auto footer = bundle::EncodeFooter({.stub_size = stub.stub.size(),
                                              .payload_size = payload_size,
                                              .messages_size = messages_size});
    installer_size = stub.stub.size() + payload_size + messages_size + footer.size();
    InstallerWriter out(output, installer_size, mode);
    out.Write(stub.stub);
    out.CopyPayload(payload_path, payload_size);
    if (messages) out.Write(*messages);
    out.Write(footer);
    out.Commit();
  } else {
    if (stub.signer) {
      std::cerr << "patchpack: " << stub_path << " is " << SignatureText(stub)
                << "; a signature covers the image as signed, not with a new payload, so " << output
                << " is written without it: sign " << output << " itself\n";
    }
    // The resource section is rebuilt around the payload, which is held once.
    const payload::Bytes installer = AttachToWindowsStub(
        stub_path, stub, ReadWholeSourceFile(payload_path, payload_path), messages);
    installer_size = installer.size();
    InstallerWriter out(output, installer_size, mode);
    out.Write(installer);
    out.Commit();
  }
  if (parsed.switches.contains("--json")) {
    JsonWriter json(std::cout);
    json.BeginObject()
        .Member("installer", output)
        .Member("kind", KindName(stub.kind, true))
        .Member("bytes", installer_size)
        .Member("payload_bytes", payload_size);
    if (messages) json.Member("message_table_bytes", messages->size());
    json.Member("result", "written").EndObject();
    return 0;
  }
  std::cout << "wrote " << output << ": " << KindName(stub.kind, true) << ", " << installer_size
            << " bytes, payload " << payload_size << " bytes";
  if (messages) std::cout << ", message table " << messages->size() << " bytes";
  std::cout << "\n";
  return 0;
}

}  // namespace patchpack
