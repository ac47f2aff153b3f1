#include "tools/patchpack/trial/player_stand_in.h"

namespace patchpack {

std::string Utf8(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; p != nullptr && *p != 0; ++p) {
    std::uint32_t c = *p;
    if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(*++p) - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

PlayerStandIn::PlayerStandIn(ProgressReporter::Mode progress_mode)
    : progress_mode_(progress_mode) {}

bool PlayerStandIn::AskYesNo(const char16_t* text) {
  questions_.push_back(Utf8(text));
  return true;
}

void PlayerStandIn::MarkFinished() {
  finished_ = true;
  if (progress_) progress_->Finish();
}

void PlayerStandIn::ShowProgress(std::uint64_t done, std::uint64_t total) {
  if (!progress_) {
    staging_total_ = total;
    progress_ = std::make_unique<ProgressReporter>("staging", total, progress_mode_);
  }
  progress_->Advance(done - shown_done_);
  shown_done_ = done;
}

}  // namespace patchpack
