// Backend of the console message boxes: the terminal. Internal.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hovane::platform::backend {

// Writes UTF-8 text to the terminal's error stream.
void WriteToConsole(std::string_view utf8);
// True when the standard input is an interactive terminal.
bool InputIsTerminal();
// True when the error stream is an interactive terminal.
bool ErrorIsTerminal();
// The terminal's width in columns; 80 when it cannot be asked.
int ConsoleColumns();
// Reads one line from the standard input; nullopt at its end.
std::optional<std::string> ReadConsoleLine();

}  // namespace hovane::platform::backend
