// A new folder under the system's temporary folder that is removed, with
// all it holds, when the object goes.
#pragma once

#include <filesystem>
#include <string>

namespace test_support {

class TempDir {
 public:
  // The folder's name starts with `prefix`, so that a leftover shows which
  // tests made it.
  explicit TempDir(const std::string& prefix = "test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& relative) const {
    return path_ / relative;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace test_support
