#include "tools/patchpack/report/payload_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>


#include "tools/patchpack/report/command_error.h"

namespace patchpack {
namespace {

[[noreturn]] void Fail(const std::filesystem::path& path, const std::string& reason) {
  throw CommandError("cannot write " + path.string() + ": " + reason);
}

}  // namespace

PayloadOutput::PayloadOutput(const std::filesystem::path& destination)
    : destination_(destination) {
  // A folder at the destination would only be found by the final rename.
  std::error_code ignored;
  if (std::filesystem::is_directory(destination_, ignored))
    Fail(destination_, std::strerror(EISDIR));
  // The partial file gets a short name of its own beside the destination:
  // "<name>.partial" would not fit where the destination's name is near
  // the system's limit, and a fresh name is never one that already exists.
  std::random_device random;
  do {
    char name[32];
    std::snprintf(name, sizeof name, ".patchpack-%08x.partial", static_cast<unsigned>(random()));
    partial_ = destination_.parent_path() / name;
  } while (std::filesystem::exists(partial_, ignored));
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
