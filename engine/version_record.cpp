#include "engine/version_record.h"

#include <string_view>

#include "engine/atomic_write.h"
#include "engine/install_error.h"
#include "messages/message_table.h"

namespace engine {
namespace {

using messages::Message;
using messages::MsgId;

// Text mode on Windows ends a file at its first Ctrl+Z. Its other change,
// CR LF to LF, needs no counterpart: CR is whitespace like LF.
constexpr char kEndOfText = 0x1A;

bool IsWhitespace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  void SkipWhitespace() {
    while (pos_ < text_.size() && IsWhitespace(text_[pos_])) ++pos_;
  }

  // A base-10 number with an optional sign; false when there is no digit or
  // the value does not fit 32 signed bits.
  bool ReadNumber(std::int32_t& number) {
    bool negative = false;
    if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
      negative = text_[pos_] == '-';
      ++pos_;
    }
    if (pos_ == text_.size() || !IsDigit(text_[pos_])) return false;
    // Accumulated as a magnitude, which may reach 2^31 for the lowest value;
    // once past that every further digit keeps it out of range.
    constexpr std::int64_t kLimit = std::int64_t{1} << 31;
    std::int64_t magnitude = 0;
    for (; pos_ < text_.size() && IsDigit(text_[pos_]); ++pos_) {
      if (magnitude <= kLimit) magnitude = magnitude * 10 + (text_[pos_] - '0');
    }
    if (magnitude > (negative ? kLimit : kLimit - 1)) return false;
    number = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
  }

  std::string ReadWord() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !IsWhitespace(text_[pos_])) ++pos_;
    return std::string(text_.substr(start, pos_ - start));
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

VersionRecord ReadVersionRecord(FileSystem& file_system) {
  VersionRecord record;
  const std::optional<std::string> contents = file_system.ReadWholeFile(kVersionRecordPath);
  if (!contents) return record;
  std::string_view text = *contents;
  text = text.substr(0, text.find(kEndOfText));

  Scanner scanner(text);
  scanner.SkipWhitespace();
  std::int32_t version;
  if (!scanner.ReadNumber(version)) return record;
  record.version = version;
  scanner.SkipWhitespace();
  record.tag = scanner.ReadWord();
  return record;
}

void CheckVersionGate(const VersionRecord& record, std::int32_t patch_version,
                      InstallerHost& host) {
  if (!record.tag.empty() && record.tag != "online") {
    throw InstallError(Message(MsgId::EnglishOnly));
  }
  if (record.version == patch_version) {
    if (!host.AskYesNo(Message(MsgId::AlreadyInstalled))) throw InstallError(InstallError::Silent);
  } else if (record.version > patch_version) {
    if (!host.AskYesNo(Message(MsgId::NewerInstalled))) throw InstallError(InstallError::Silent);
  }
}

void WriteVersionRecord(FileSystem& file_system, std::int32_t version, const std::string& tag) {
  // A kill or a power cut leaves the old record or the new one, never a
  // part of one: losing the tag to a half-written record would lose it for
  // good. A failure is not reported and leaves the old record.
  WriteFileAtomically(file_system, kVersionRecordPath, std::to_string(version) + "\r\n" + tag);
}

}  // namespace engine
