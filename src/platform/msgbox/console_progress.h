// A progress line on the console (the error stream) for programs that run
// without a window: a label, the name of the item being worked on, a bar
// and the percentage.
//
// On a terminal the line is redrawn in place, at most once per percent, and
// cut to the terminal's width; elsewhere (a log file, a pipe) one line is
// written per item and one when the work ends, so logs stay readable.
//
// Threading: any thread; calls are serialised.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/export.h"

namespace hovane::platform {

class HOVANE_PLATFORM_API ConsoleProgress {
 public:
  // label: UTF-8, shown before the item's name (may be empty).
  explicit ConsoleProgress(std::string label = {});

  // The item now worked on; narrow text (system code page).
  void SetItem(std::string_view narrow);
  void SetRange(std::int32_t lower, std::int32_t upper);
  void SetPosition(std::int32_t position);
  // Ends the line; the next item starts a new one.
  void Finish();

  // The line as it would be drawn now, width columns at most (for tests).
  std::string Render(int width) const;

 private:
  int PercentLocked() const;
  void DrawLocked(bool force);
  void CloseLineLocked();

  mutable std::mutex mutex_;
  std::string label_;
  std::string item_;  // UTF-8
  std::int32_t lower_ = 0;
  std::int32_t upper_ = 100;
  std::int32_t position_ = 0;
  int drawnPercent_ = -1;
  bool lineOpen_ = false;
};

}  // namespace hovane::platform
