// An InstallerHost that records every call in order, answers the version
// questions from a script and reports a cancel at a chosen check point.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "engine/installer_host.h"

namespace engine::test {

class ScriptedHost final : public InstallerHost {
 public:
  // Answers for AskYesNo, in order; an unscripted question is answered yes.
  std::deque<bool> answers;
  // The 1-based IsCancelRequested call that first returns true; 0 never.
  int cancel_at_check = 0;

  // One line per call, e.g. "SetStatusText: Close" or "IsCancelRequested".
  std::vector<std::string> calls;
  int checks = 0;
  // Every ShowProgress call as (done, total), apart from `calls`, whose
  // order the tests compare whole.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;

  void SetStatusText(const char16_t* text) override { Record("SetStatusText", text); }
  void SetButtonText(const char16_t* text) override { Record("SetButtonText", text); }
  bool AskYesNo(const char16_t* text) override;
  void ShowError(const char16_t* text) override { Record("ShowError", text); }
  void CloseDialog() override { calls.push_back("CloseDialog"); }
  bool IsCancelRequested() override;
  void MarkFinished() override { calls.push_back("MarkFinished"); }
  void ShowProgress(std::uint64_t done, std::uint64_t total) override {
    progress.emplace_back(done, total);
  }

  // The texts of the ShowError calls.
  std::vector<std::string> Errors() const;

 private:
  void Record(const char* operation, const char16_t* text);
};

// A narrow copy of a UTF-16 text for comparisons in tests ("<null>" for null).
std::string Narrow(const char16_t* text);

}  // namespace engine::test
