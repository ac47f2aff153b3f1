#include "shell/console/terminal_output.h"

namespace console {

void Print(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

void PrintLine(std::FILE* stream, const std::string& text) { Print(stream, text + "\n"); }

}  // namespace console
