#include "tools/patchpack/source/source_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tools/patchpack/commands/command_line.h"

namespace patchpack {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

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

std::uint64_t SourceFileSize(const std::filesystem::path& file, const std::string& shown_as) {
  return RegularFileSize(file, shown_as);
}

payload::Bytes ReadWholeSourceFile(const std::filesystem::path& file, const std::string& shown_as) {
  std::uint64_t size = RegularFileSize(file, shown_as);
  File in(std::fopen(file.string().c_str(), "rb"));
  if (!in) FailWithErrno(shown_as);
  payload::Bytes content(static_cast<std::size_t>(size));
  if (std::fread(content.data(), 1, content.size(), in.get()) != content.size()) {
    if (std::ferror(in.get())) FailWithErrno(shown_as);
    throw CommandError("cannot read " + shown_as + ": the file became shorter");
  }
  return content;
}

}  // namespace patchpack
