// Reads the files patchpack is given (a patch source, game folders, stubs,
// payloads, installers) with the system's own calls, so that a failure is
// reported with the path and the system's reason (strerror), and a folder
// where a file belongs is named as such rather than surfacing as a stream
// library's exception text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "payload/payload_writer.h"

namespace patchpack {

// A regular file read from its start a piece at a time, for files too large
// to hold at once.
class SourceFileReader {
 public:
  // Throws CommandError "cannot read SHOWN: REASON", or names a folder or
  // anything else that is not a regular file as such.
  SourceFileReader(const std::filesystem::path& file, std::string shown_as);

  // Its size when it was opened.
  std::uint64_t size() const { return size_; }

  // Fills `piece` with the next bytes; throws CommandError "cannot read
  // SHOWN: REASON", or "...: the file became shorter" when it ends first.
  void Read(std::span<std::uint8_t> piece);

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::string shown_;
  std::uint64_t size_ = 0;
  std::unique_ptr<std::FILE, Closer> file_;
};

// The whole file. Throws CommandError "cannot read SHOWN: REASON" when it
// cannot be opened or read, and "SHOWN is a folder, not a file" for a folder.
payload::Bytes ReadWholeSourceFile(const std::filesystem::path& file, const std::string& shown_as);

// Returns when `folder` is one; throws CommandError "ROLE FOLDER does not
// exist", "ROLE FOLDER is not a folder", or "cannot read ROLE FOLDER: REASON"
// when the system cannot tell. ROLE is what the user gave it as (GAME, NEW).
void RequireFolder(const std::filesystem::path& folder, const std::string& role);

// The size of a regular file, with the same refusals.
std::uint64_t SourceFileSize(const std::filesystem::path& file, const std::string& shown_as);

}  // namespace patchpack
