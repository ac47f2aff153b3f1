// patchpack build: a patch source folder in, a payload file out.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

#include "payload/payload_writer.h"
#include "tools/patchpack/command_line.h"
#include "tools/patchpack/patch_source.h"

namespace patchpack {
namespace {

constexpr const char* kHelp =
    "usage: patchpack build SOURCE -o PAYLOAD [--x86]\n"
    "\n"
    "Builds a payload from the patch source folder SOURCE:\n"
    "  version.txt                    the patch version, decimal (may be negative)\n"
    "  files/<target path>            loose files, by their path in the game folder\n"
    "  archives/<archive path>/       new entries of that archive, by entry name\n"
    "  archives/<archive path>.drop   entry names to drop from it, one a line\n"
    "  delete.txt                     game paths to delete, one a line\n"
    "Entry and drop names must be lower case. An existing PAYLOAD is replaced\n"
    "only once the new one is complete.\n"
    "\n"
    "options:\n"
    "  -o PAYLOAD   the payload file to write\n"
    "  --x86        apply the x86 BCJ filter before compressing (for executables)\n"
    "  -h, --help   show this help\n";

// Writes beside the destination first, so that a failed build never leaves a
// half-written payload under the real name.
void WriteReplacing(const std::filesystem::path& destination, const payload::Bytes& bytes) {
  std::filesystem::path partial = destination;
  partial += ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(partial, ignored);
      throw CommandError("cannot write " + partial.string());
    }
  }
  std::error_code error;
  std::filesystem::rename(partial, destination, error);
  if (error) {
    std::filesystem::remove(partial, error);
    throw CommandError("cannot write " + destination.string() + ": " + error.message());
  }
}

std::size_t EntryCount(const payload::PatchDescription& description) {
  std::size_t count = 0;
  for (const payload::ArchiveRecord& archive : description.archives)
    count += archive.new_entries.size();
  return count;
}

}  // namespace

int RunBuildCommand(std::span<const std::string> arguments) {
  ParsedArguments parsed = ParseArguments(arguments, {.with_value = {"-o"}, .switches = {"--x86"}});
  if (parsed.help) {
    std::cout << kHelp;
    return 0;
  }
  if (parsed.positional.size() != 1) throw UsageError("build takes one SOURCE folder");
  if (!parsed.values.contains("-o")) throw UsageError("build needs -o PAYLOAD");

  payload::PatchDescription description = LoadPatchSource(parsed.positional[0]);
  payload::Bytes stream;
  try {
    stream = payload::BuildPatchStream(description);
  } catch (const std::invalid_argument& error) {
    throw CommandError(error.what());
  }
  payload::Bytes payload =
      payload::BuildPayload(stream, {.x86_filter = parsed.switches.contains("--x86")});
  const std::string& output = parsed.values["-o"];
  WriteReplacing(output, payload);

  std::cout << "wrote " << output << ": " << payload.size() << " bytes, stream of " << stream.size()
            << " bytes; " << description.loose_files.size() << " loose files, "
            << description.archives.size() << " archives with " << EntryCount(description)
            << " new entries, " << description.deletions.size() << " deletions\n";
  return 0;
}

}  // namespace patchpack
