// Writes to the terminal at once: the status lines must appear when the run
// reaches them, also when the output goes to a pipe, which stdio would buffer.
#pragma once

#include <cstdio>
#include <string>

namespace console {

void Print(std::FILE* stream, const std::string& text);
void PrintLine(std::FILE* stream, const std::string& text);

}  // namespace console
