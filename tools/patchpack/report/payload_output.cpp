#include "tools/patchpack/report/payload_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/patchpack/report/command_error.h"

namespace patchpack {
namespace {

[[noreturn]] void Fail(const std::filesystem::path& path, const std::string& reason) {
  throw CommandError("cannot write " + path.string() + ": " + reason);
}

}  // namespace

PayloadOutput::PayloadOutput(const std::filesystem::path& destination)
    : destination_(destination), partial_(destination) {
  partial_ += ".partial";
  // A folder at the destination would only be found by the final rename.
  std::error_code ignored;
  if (std::filesystem::is_directory(destination_, ignored))
    Fail(destination_, std::strerror(EISDIR));
  file_ = std::fopen(partial_.string().c_str(), "wb");
  if (file_ == nullptr) Fail(destination_, std::strerror(errno));
}

PayloadOutput::~PayloadOutput() {
  if (file_ != nullptr) std::fclose(file_);
  if (!committed_) {
    std::error_code ignored;
    std::filesystem::remove(partial_, ignored);
  }
}

void PayloadOutput::Write(std::span<const std::uint8_t> bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    Fail(destination_, std::strerror(errno));
  }
}

void PayloadOutput::Commit(std::filesystem::perms permissions) {
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) Fail(destination_, std::strerror(errno));
  std::error_code error;
  if (permissions != std::filesystem::perms::none) {
    std::filesystem::permissions(partial_, permissions, error);
    if (error) Fail(destination_, error.message());
  }
  std::filesystem::rename(partial_, destination_, error);
  if (error) Fail(destination_, error.message());
  committed_ = true;
}

}  // namespace patchpack
