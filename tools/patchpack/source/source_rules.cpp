#include "tools/patchpack/source/source_rules.h"

#include <charconv>
#include <cstdio>
#include <limits>
#include <string_view>

#include "base/ascii.h"
#include "engine/game_path.h"
#include "engine/name_limits.h"
#include "tools/patchpack/report/command_error.h"
#include "tools/patchpack/source/source_file.h"

namespace patchpack {
namespace {

constexpr std::uint64_t kMaxContent = std::numeric_limits<std::uint32_t>::max();

std::string ReadText(const std::filesystem::path& file, const std::string& shown_as) {
  payload::Bytes bytes = ReadWholeSourceFile(file, shown_as);
  return std::string(bytes.begin(), bytes.end());
}

void CheckNoZeroByte(const std::string& name, const std::string& shown_as) {
  if (name.find('\0') != std::string::npos) {
    throw CommandError(shown_as + ": a name holds a 0 byte, which would end it early");
  }
}

// Names that Windows opens as a device wherever they stand, also with an
// extension: writing "con.txt" writes to the console, not to a file.
bool IsDeviceName(const std::string& name) {
  std::string stem = base::ToLowerAscii(name.substr(0, name.find('.')));
  // Windows also drops spaces before the extension: "nul .txt" is NUL.
  stem.erase(stem.find_last_not_of(' ') + 1);
  if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul") return true;
  return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) &&
         stem[3] >= '0' && stem[3] <= '9';
}

std::optional<std::string> WindowsNameProblem(const std::string& name) {
  const std::string quoted = "the name '" + name + "'";
  if (name.ends_with(' ')) return quoted + " ends in a space, which Windows drops from names";
  if (name.ends_with('.')) return quoted + " ends in a dot, which Windows drops from names";
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20) {
      char code[8];
      std::snprintf(code, sizeof code, "0x%02x", byte);
      return quoted + " holds the control character " + code + ", which Windows refuses in names";
    }
    if (std::string_view("<>:\"|?*").find(c) != std::string_view::npos) {
      return quoted + " holds '" + std::string(1, c) + "', which Windows refuses in names";
    }
  }
  if (IsDeviceName(name)) {
    return quoted + " is a device on Windows (CON, PRN, AUX, NUL, COM0-9 and LPT0-9 are, with " +
           "any extension)";
  }
  return std::nullopt;
}

}  // namespace

std::uint32_t ReadVersionFile(const std::filesystem::path& file, const std::string& shown_as) {
  std::string text = ReadText(file, shown_as);
  const char* kSpace = " \t\r\n";
  std::size_t first = text.find_first_not_of(kSpace);
  std::size_t last = text.find_last_not_of(kSpace);
  std::string number = first == std::string::npos ? "" : text.substr(first, last - first + 1);
  std::int32_t version = 0;
  auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), version);
  if (number.empty() || error != std::errc() || end != number.data() + number.size()) {
    throw CommandError(shown_as + ": '" + number +
                       "' is not a whole number from -2147483648 to 2147483647");
  }
  return static_cast<std::uint32_t>(version);
}

std::vector<std::string> ReadListFile(const std::filesystem::path& file,
                                      const std::string& shown_as) {
  std::string text = ReadText(file, shown_as);
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") != std::string::npos) {
      CheckNoZeroByte(line, shown_as);
      names.push_back(line);
    }
    start = end + 1;
  }
  return names;
}

payload::Bytes ReadContent(const std::filesystem::path& file, const std::string& shown_as) {
  std::uint64_t size = SourceFileSize(file, shown_as);
  if (size > kMaxContent) {
    throw CommandError(shown_as + " is " + std::to_string(size) +
                       " bytes; a patch carries files of at most 4 GiB - 1 bytes");
  }
  return ReadWholeSourceFile(file, shown_as);
}

void CheckEntryName(const std::string& name, const std::string& shown_as) {
  CheckNoZeroByte(name, shown_as);
  if (base::ToLowerAscii(name) != name) {
    throw CommandError(shown_as + ": entry name '" + name +
                       "' has upper-case letters; the installer compares entry names in lower "
                       "case, so write them in lower case");
  }
  if (name.size() > engine::kMaxEntryNameLength) {
    throw CommandError(shown_as + ": entry name '" + name + "' is " + std::to_string(name.size()) +
                       " bytes; the installer reads entry names of at most " +
                       std::to_string(engine::kMaxEntryNameLength) +
                       ", so no later patch could rewrite the archive");
  }
}

std::string DeletionPath(const std::string& line, const std::string& shown_as) {
  std::string path;
  std::size_t start = 0;
  while (true) {
    std::size_t end = line.find_first_of("/\\", start);
    std::string part = line.substr(start, end == std::string::npos ? end : end - start);
    if (part.empty()) {
      throw CommandError(shown_as + ": '" + line + "' has an empty name between separators");
    }
    if (part == "." || part == ".." || part.find(':') != std::string::npos) {
      throw CommandError(shown_as + ": '" + line + "' is not a path inside the game folder");
    }
    path += part;
    if (end == std::string::npos) {
      if (std::optional<std::string> problem = GamePathProblem(path)) {
        throw CommandError(shown_as + ": '" + line + "': " + *problem);
      }
      return path;
    }
    path += '\\';
    start = end + 1;
  }
}

std::optional<std::string> GamePathProblem(const std::string& path) {
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (std::optional<std::string> problem = WindowsNameProblem(path.substr(start, end - start))) {
      return problem;
    }
    start = end + 1;
  }
  // The installer's own rule has the last word, so that no patch is built
  // that every player's installer would refuse: it also keeps out short-name
  // aliases, which may be a second spelling of another file, and the names
  // it uses for itself.
  if (!engine::GamePathKey(path)) {
    return "the installer refuses it: a short-name alias such as PROGRA~1 may be another "
           "file's second name, and names ending in .updtmp or .updbak, updcommit.lst, "
           "updcommit.done and updrun.lock are the installer's own";
  }
  return std::nullopt;
}

std::optional<std::string> TargetProblem(const std::string& target) {
  if (std::optional<std::string> problem = GamePathProblem(target)) return problem;
  const std::size_t last = target.rfind('\\');
  const std::size_t name_start = last == std::string::npos ? 0 : last + 1;
  const std::size_t name_bytes = target.size() - name_start;
  if (name_bytes + engine::kOwnSuffixBytes > engine::kMaxNameBytes) {
    return "the name is " + std::to_string(name_bytes) +
           " bytes; the installer stages it under a name " +
           std::to_string(engine::kOwnSuffixBytes) + " bytes longer, and names end at " +
           std::to_string(engine::kMaxNameBytes) + " bytes, so use at most " +
           std::to_string(engine::kMaxNameBytes - engine::kOwnSuffixBytes);
  }
  if (last != std::string::npos && last > engine::kMaxDirectoryPrefix) {
    return "the folders above it take " + std::to_string(last) +
           " characters; the installer creates at most " +
           std::to_string(engine::kMaxDirectoryPrefix);
  }
  return std::nullopt;
}

void CheckTarget(const std::string& target, const std::string& shown_as) {
  if (std::optional<std::string> problem = TargetProblem(target)) {
    throw CommandError(shown_as + ": " + *problem);
  }
}

bool NamesArchive(const std::string& folder_name) {
  std::size_t dot = folder_name.rfind('.');
  return dot != std::string::npos && dot != 0 && dot + 1 != folder_name.size();
}

void TargetRegistry::Add(const std::string& target, const std::string& shown_as) {
  auto [existing, inserted] =
      origins_.try_emplace(base::ToLowerAscii(target), Origin{target, shown_as});
  if (inserted) return;
  const Origin& first = existing->second;
  std::string message =
      "duplicate target '" + target + "' from " + first.shown_as + " and " + shown_as;
  if (first.target != target) message += " (the game's file system ignores case)";
  throw CommandError(message);
}

}  // namespace patchpack
