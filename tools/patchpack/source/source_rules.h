// The rules that a patch source's names and text files must follow, kept
// apart from the walk over the folder so each reads on its own. Every check
// throws CommandError with a message naming the file at fault.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
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
// archive, so an upper-case letter would never match anything.
void CheckEntryName(const std::string& name, const std::string& shown_as);

// A deletion path with either separator, returned with backslashes. Refused
// when a part is empty, "." or "..", or it names a drive.
std::string DeletionPath(const std::string& line, const std::string& shown_as);

// A target that the installer writes: refused when its staged name (the
// name with ".updtmp" appended) would pass the 255-byte limit of a name, or
// its folder prefix is longer than the 999 characters the installer makes.
// Either would otherwise reach the player as a full disk.
void CheckStageable(const std::string& target, const std::string& shown_as);

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
