// What the run and merge targets share: a host that never waits for anyone,
// and a small game folder held in memory.
#pragma once

#include <cstdint>
#include <string>

#include "engine/installer_host.h"
#include "tests/engine/fs/memory_file_system.h"

namespace fuzz {

// Answers every question from a bit pattern and asks for a cancel at a
// chosen check; counts how the run ended.
class FuzzHost final : public engine::InstallerHost {
 public:
  FuzzHost(std::uint8_t answers, int cancel_at) : answers_(answers), cancel_at_(cancel_at) {}

  void SetStatusText(const char16_t*) override {}
  void SetButtonText(const char16_t*) override {}
  bool AskYesNo(const char16_t*) override {
    const bool yes = (answers_ & 1) != 0;
    answers_ >>= 1;
    return yes;
  }
  void ShowError(const char16_t*) override { ++errors; }
  void CloseDialog() override { ++closes; }
  bool IsCancelRequested() override { return ++checks == cancel_at_; }
  void MarkFinished() override { ++finishes; }

  int errors = 0;
  int closes = 0;
  int finishes = 0;
  int checks = 0;

 private:
  std::uint8_t answers_;
  int cancel_at_;
};

// The zip archive of `entries` (name, content), deflated, as minizip writes it.
std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& entries);

}  // namespace fuzz
