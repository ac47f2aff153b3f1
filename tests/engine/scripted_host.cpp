#include "scripted_host.h"

namespace engine::test {

std::string Narrow(const char16_t* text) {
  if (text == nullptr) return "<null>";
  std::string narrow;
  for (; *text != u'\0'; ++text) narrow += *text < 0x80 ? static_cast<char>(*text) : '?';
  return narrow;
}

bool ScriptedHost::AskYesNo(const char16_t* text) {
  const bool yes = answers.empty() || answers.front();
  if (!answers.empty()) answers.pop_front();
  calls.push_back("AskYesNo: " + Narrow(text) + (yes ? " -> yes" : " -> no"));
  return yes;
}

bool ScriptedHost::IsCancelRequested() {
  calls.push_back("IsCancelRequested");
  ++checks;
  return cancel_at_check != 0 && checks >= cancel_at_check;
}

std::vector<std::string> ScriptedHost::Errors() const {
  const std::string prefix = "ShowError: ";
  std::vector<std::string> errors;
  for (const std::string& call : calls) {
    if (call.starts_with(prefix)) errors.push_back(call.substr(prefix.size()));
  }
  return errors;
}

void ScriptedHost::Record(const char* operation, const char16_t* text) {
  calls.push_back(std::string(operation) + ": " + Narrow(text));
}

}  // namespace engine::test
