#include "platform/msgbox/console_progress.h"

#include <algorithm>

#include "platform/msgbox/console_text.h"
#include "platform/msgbox/terminal_backend.h"

namespace hovane::platform {
namespace {

constexpr int kBarCells = 24;

// Columns a UTF-8 text takes: East Asian wide characters (Hangul, CJK) take
// two, every other character one. Enough for names and labels; combining
// marks are not expected here.
int Columns(char32_t c) {
  const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                    (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                    (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6);
  return wide ? 2 : 1;
}

// The longest prefix of utf8 that fits columns; its width in *used.
std::string FitColumns(std::string_view utf8, int columns, int* used) {
  std::size_t i = 0;
  int width = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
      c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    if (width + Columns(c) > columns) break;
    width += Columns(c);
    i += length;
  }
  *used = width;
  return std::string(utf8.substr(0, std::min(i, utf8.size())));
}

}  // namespace

ConsoleProgress::ConsoleProgress(std::string label) : label_(std::move(label)) {}

void ConsoleProgress::SetItem(std::string_view narrow) {
  std::lock_guard lock(mutex_);
  std::string item = NarrowForConsole(narrow);
  if (item == item_ && lineOpen_) return;
  CloseLineLocked();
  item_ = std::move(item);
  DrawLocked(true);
}

void ConsoleProgress::SetRange(std::int32_t lower, std::int32_t upper) {
  std::lock_guard lock(mutex_);
  lower_ = lower;
  upper_ = upper;
  DrawLocked(false);
}

void ConsoleProgress::SetPosition(std::int32_t position) {
  std::lock_guard lock(mutex_);
  position_ = position;
  DrawLocked(false);
}

void ConsoleProgress::Finish() {
  std::lock_guard lock(mutex_);
  CloseLineLocked();
}

// Each item keeps a line of its own: a terminal's already shows the bar; a
// log's gets the percentage reached.
void ConsoleProgress::CloseLineLocked() {
  if (!lineOpen_) return;
  if (!backend::ErrorIsTerminal()) backend::WriteToConsole(" " + std::to_string(PercentLocked()) + "%");
  backend::WriteToConsole("\n");
  lineOpen_ = false;
  drawnPercent_ = -1;
}

int ConsoleProgress::PercentLocked() const {
  if (upper_ <= lower_) return 0;
  const double share = (static_cast<double>(position_) - lower_) / (static_cast<double>(upper_) - lower_);
  return static_cast<int>(std::clamp(share, 0.0, 1.0) * 100.0);
}

std::string ConsoleProgress::Render(int width) const {
  const int percent = PercentLocked();
  const int filled = percent * kBarCells / 100;
  std::string bar = " [" + std::string(static_cast<std::size_t>(filled), '#') +
                    std::string(static_cast<std::size_t>(kBarCells - filled), ' ') + "] " +
                    std::to_string(percent) + "%";
  const std::string head = label_.empty() ? item_ : label_ + " " + item_;
  int used = 0;
  const int room = std::max(0, width - static_cast<int>(bar.size()));
  std::string line = FitColumns(head, room, &used);
  line.append(static_cast<std::size_t>(room - used), ' ');
  return line + bar;
}

// A terminal gets the whole line again whenever the percentage changes; a
// log gets the item once, when it starts, and the percentage at Finish.
void ConsoleProgress::DrawLocked(bool force) {
  const int percent = PercentLocked();
  if (!force && percent == drawnPercent_) return;
  if (backend::ErrorIsTerminal()) {
    backend::WriteToConsole("\r" + Render(backend::ConsoleColumns() - 1));
  } else if (force) {
    backend::WriteToConsole(label_.empty() ? item_ : label_ + " " + item_);
  }
  drawnPercent_ = percent;
  lineOpen_ = true;
}

}  // namespace hovane::platform
