// Identifiers of the texts in the message table, in the order in which the
// table stores them.
#pragma once

namespace messages {

enum class MsgId {
  Extracting = 0,
  Installing = 1,
  Cancel = 2,
  Success = 3,
  Close = 4,
  Corrupted = 5,
  UnknownError = 6,
  WriteError = 7,
  EnglishOnly = 8,
  AlreadyInstalled = 9,
  NewerInstalled = 10,
  ChooseFolder = 11,
};

inline constexpr int kMessageCount = 12;

}  // namespace messages
