// The stand-in for the install dialog, shared by the ui tests and the
// screenshot tool.
#pragma once

#include <QColor>
#include <QDialog>
#include <QPainter>
#include <QThread>

#include <cstdint>

#include "ui/progress_panel_parent.h"

namespace hovane::test {

// A dialog that plays the install dialog for the progress panel: it paints
// kOwnPictureColour while PaintState() holds, records the panel's calls and
// the thread they ran on, and can end its modal run when the download ends.
class TestPanelParent : public QDialog, public ProgressPanelParent {
 public:
  static inline const QColor kOwnPictureColour{0x40, 0xA0, 0x60};

  TestPanelParent() { resize(405, 250); }

  QWidget* PanelParentWindow() override { return this; }
  void OnDownloadFinished() override {
    finishedOnGuiThread = QThread::currentThread() == thread();
    ++finishedCalls;
    if (endModalRunWhenFinished) done(QDialog::Accepted);
  }
  void SetUpdateSucceeded(std::int32_t value) override {
    succeededOnGuiThread = QThread::currentThread() == thread();
    updateSucceeded = value;
  }
  bool PaintState() const override { return paintState; }

  bool paintState = false;
  bool endModalRunWhenFinished = false;
  int finishedCalls = 0;
  bool finishedOnGuiThread = false;
  std::int32_t updateSucceeded = -1;
  bool succeededOnGuiThread = false;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), paintState ? kOwnPictureColour : palette().window().color());
  }
};

}  // namespace hovane::test
