#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "platform/msgbox/terminal_backend.h"

namespace hovane::platform::backend {

void WriteToConsole(std::string_view utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}

bool InputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool ErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

int ConsoleColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

std::optional<std::string> ReadConsoleLine() {
  std::string line;
  if (!std::getline(std::cin, line)) return std::nullopt;
  return line;
}

}  // namespace hovane::platform::backend
