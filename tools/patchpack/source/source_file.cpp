#include "tools/patchpack/source/source_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/patchpack/report/command_error.h"

namespace patchpack {
namespace {

[[noreturn]] void FailWithErrno(const std::string& shown_as) {
  throw CommandError("cannot read " + shown_as + ": " + std::strerror(errno));
}

// The size of the regular file at `file`, refusing a folder or anything else
// by name before a read could fail in some less telling way.
std::uint64_t RegularFileSize(const std::filesystem::path& file, const std::string& shown_as) {
  std::error_code error;
  std::filesystem::file_status status = std::filesystem::status(file, error);
  if (error) throw CommandError("cannot read " + shown_as + ": " + error.message());
  if (std::filesystem::is_directory(status)) {
    throw CommandError(shown_as + " is a folder, not a file");
  }
  if (!std::filesystem::is_regular_file(status)) {
    throw CommandError(shown_as + " is not a regular file");
  }
  std::uint64_t size = std::filesystem::file_size(file, error);
  if (error) throw CommandError("cannot read " + shown_as + ": " + error.message());
  return size;
}

}  // namespace

void RequireFolder(const std::filesystem::path& folder, const std::string& role) {
  const std::string shown = role + " " + folder.string();
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(folder, error);
  if (status.type() == std::filesystem::file_type::not_found) {
    throw CommandError(shown + " does not exist");
  }
  if (error) throw CommandError("cannot read " + shown + ": " + error.message());
  if (!std::filesystem::is_directory(status)) throw CommandError(shown + " is not a folder");
}

std::uint64_t SourceFileSize(const std::filesystem::path& file, const std::string& shown_as) {
  return RegularFileSize(file, shown_as);
}

SourceFileReader::SourceFileReader(const std::filesystem::path& file, std::string shown_as)
    : shown_(std::move(shown_as)),
      size_(RegularFileSize(file, shown_)),
      file_(std::fopen(file.string().c_str(), "rb")) {
  if (!file_) FailWithErrno(shown_);
}

void SourceFileReader::Read(std::span<std::uint8_t> piece) {
  if (std::fread(piece.data(), 1, piece.size(), file_.get()) != piece.size()) {
    if (std::ferror(file_.get())) FailWithErrno(shown_);
    throw CommandError("cannot read " + shown_ + ": the file became shorter");
  }
}

payload::Bytes ReadWholeSourceFile(const std::filesystem::path& file, const std::string& shown_as) {
  SourceFileReader in(file, shown_as);
  payload::Bytes content(static_cast<std::size_t>(in.size()));
  in.Read(content);
  return content;
}

}  // namespace patchpack
