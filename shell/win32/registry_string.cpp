#include "shell/win32/registry_string.h"

#include <windows.h>

namespace shell::win32 {
namespace {

// One byte is kept back from the registry for the terminator that a value
// stored without its own NUL still needs.
constexpr DWORD kBufferSize = 1024;

// An open registry key, closed when it goes out of scope.
class OpenKey {
 public:
  explicit OpenKey(const char* subkey) {
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, KEY_QUERY_VALUE, &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~OpenKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;

  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

std::string ReadRegistryString(const char* subkey, const char* value_name) {
  char buffer[kBufferSize];
  DWORD type = 0;
  DWORD size = kBufferSize - 1;
  {
    OpenKey key(subkey);
    if (key.get() == nullptr) return {};
    if (RegQueryValueExA(key.get(), value_name, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
      return {};
    }
  }
  buffer[size] = '\0';
  // Up to the first NUL: the stored terminator, or the one just written.
  return std::string(buffer);
}

}  // namespace shell::win32
