// The rules that a patch source's names and text files must follow, kept
// apart from the walk over the folder so each reads on its own. Every check
// throws CommandError with a message naming the file at fault.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "payload/payload_writer.h"

namespace patchpack {

// version.txt: a decimal number that fits a signed 32-bit integer, since the
// installer compares versions that way. Surrounding white space is ignored.
std::uint32_t ReadVersionFile(const std::filesystem::path& file, const std::string& shown_as);

// A list file (.drop, delete.txt): one name a line; CR before LF and blank
// lines are ignored.
std::vector<std::string> ReadListFile(const std::filesystem::path& file,
                                      const std::string& shown_as);

// The whole content of a file that the patch carries, refused when its size
// does not fit the stream's 32-bit size field.
payload::Bytes ReadContent(const std::filesystem::path& file, const std::string& shown_as);

// Entry and drop names are matched against lower-cased names of the old
// archive, so an upper-case letter would never match anything; and the
// installer reads old entry names of at most 256 bytes, so a longer new one
// would keep every later patch from rewriting the archive.
void CheckEntryName(const std::string& name, const std::string& shown_as);

// A deletion path with either separator, returned with backslashes. Refused
// when a part is empty, "." or "..", or it names a drive, or a part is a
// name that Windows cannot hold (see GamePathProblem).
std::string DeletionPath(const std::string& line, const std::string& shown_as);

// Why a game path (parts separated by backslashes) cannot name a file on the
// player's Windows, or nullopt: a part that ends in a space or a dot (which
// Windows drops, so another file would be written or deleted), that holds
// one of < > : " | ? * or a control character, or that is a device name
// (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9) with or without an
// extension.
std::optional<std::string> GamePathProblem(const std::string& path);

// Why the installer cannot write a target, or nullopt: a game path problem,
// or a staged name (the name with ".updtmp" appended) that would pass the
// 255-byte limit of a name, or a folder prefix longer than the 999
// characters the installer makes. Either limit would otherwise reach the
// player as a full disk.
std::optional<std::string> TargetProblem(const std::string& target);

// Throws CommandError "SHOWN_AS: PROBLEM" for a TargetProblem.
void CheckTarget(const std::string& target, const std::string& shown_as);

// Under archives/, the first folder whose name has an extension (sounds.zip,
// pak0.pk3) is an archive; the folders above it are the game's.
bool NamesArchive(const std::string& folder_name);

// Game paths that the patch writes or deletes. The game's file system does
// not tell upper from lower case, so neither does this.
class TargetRegistry {
 public:
  void Add(const std::string& target, const std::string& shown_as);

 private:
  struct Origin {
    std::string target;
    std::string shown_as;
  };
  std::map<std::string, Origin> origins_;  // by folded target
};

}  // namespace patchpack
