// What the progress panel needs of the window it covers: the install
// dialog, or any window that offers the same three things.
//
// Threading: the panel calls every method on the GUI thread.
#pragma once

#include <cstdint>

class QWidget;

namespace hovane {

class ProgressPanelParent {
 public:
  virtual ~ProgressPanelParent() = default;

  // The window the panel is made a child of; alive as long as the panel.
  virtual QWidget* PanelParentWindow() = 0;
  // The receive thread has ended (the panel's end timer fired).
  virtual void OnDownloadFinished() = 0;
  // The install procedure reports success: the update-succeeded value.
  virtual void SetUpdateSucceeded(std::int32_t value) = 0;
  // m_bPaintState: true while the parent paints its own state picture;
  // false while the panel is on show and paints the in-progress picture.
  virtual bool PaintState() const = 0;
};

}  // namespace hovane
