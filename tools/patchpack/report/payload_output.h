// The file a command writes its result to, opened before the work starts so
// that a path that cannot be written is refused at once, not after minutes of
// compression. The bytes go to a partial file of a fresh name beside it
// (".patchpack-XXXXXX.partial"), which replaces the path only
// when Commit succeeds; otherwise it is removed, so a failed command never
// leaves a half-written file under the real name. Every failure names the
// path the user gave, never the partial file, which the user did not name.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

namespace patchpack {

class PayloadOutput {
 public:
  // Throws CommandError "cannot write PATH: REASON" (the system's reason).
  explicit PayloadOutput(const std::filesystem::path& destination);
  ~PayloadOutput();
  PayloadOutput(const PayloadOutput&) = delete;
  PayloadOutput& operator=(const PayloadOutput&) = delete;

  // Appends to the partial file; throws CommandError naming the path and
  // the reason.
  void Write(std::span<const std::uint8_t> bytes);
  // Closes the partial file, gives it `permissions` when they are not
  // none, and renames it onto the destination; throws CommandError naming
  // the path and the reason.
  void Commit(std::filesystem::perms permissions = std::filesystem::perms::none);

 private:
  std::filesystem::path destination_;
  std::filesystem::path partial_;
  std::FILE* file_ = nullptr;
  bool committed_ = false;
};

}  // namespace patchpack
