// The failure value of an installation run. Phases throw it; only
// RunInstallation catches it, shows it (or not) and cleans up.
#pragma once

namespace engine {

class InstallError {
 public:
  enum Kind {
    Silent,   // cancel, or No to a version question: nothing is shown
    Unknown,  // shown as the "Unknown error" message
    Text,     // shows text()
  };

  explicit InstallError(Kind kind) : kind_(kind), text_(nullptr) {}
  // The text is a message-table entry or a fixed literal; both outlive the run.
  explicit InstallError(const char16_t* text) : kind_(Text), text_(text) {}

  Kind kind() const { return kind_; }
  const char16_t* text() const { return text_; }

 private:
  Kind kind_;
  const char16_t* text_;
};

}  // namespace engine
