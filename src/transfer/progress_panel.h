// What the receive thread and the install procedure need of the progress
// panel: show a file name or a status text, drive the bar, report success,
// bring the install dialog forward, own message boxes, and signal the end.
//
// The panel lives on the GUI thread. Every method may be called from the
// receive thread; an implementation runs it synchronously on the GUI thread
// (the caller waits until it is done), so the GUI thread must keep handling
// events meanwhile, which the modal install dialog does. Text is narrow
// (system code page). The panel outlives every thread that calls it.
#pragma once

#include <cstdint>
#include <string_view>

#include "install/install_files.h"

namespace hovane {

class ProgressPanel : public InstallProgress {
 public:
  virtual ~ProgressPanel() = default;

  // From InstallProgress: SetFileName (the file-name label, repainted at
  // once), SetUpdateSucceeded (to the install dialog), MessageBoxOwner.

  // The progress bar (CTextProgressCtrl).
  virtual void SetTextVisible(bool visible) = 0;
  virtual void SetBarRange(std::int32_t lower, std::int32_t upper) = 0;
  // Returns the previous position, or -1 when the bar has no window.
  virtual std::int32_t SetBarPosition(std::int32_t position) = 0;

  // Makes the install dialog top-most, without moving, resizing or
  // activating it, and gives it the keyboard focus.
  virtual void BringDialogToFront() = 0;

  // The end of the receive thread: starts the panel's 300 ms end timer
  // (timer 0), then clears the panel's running flag, in that order.
  virtual void SignalThreadEnd() = 0;
};

}  // namespace hovane
