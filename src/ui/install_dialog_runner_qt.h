// The install dialog on Qt as the check runs it (InstallDialogRunner):
// CHovaneInstall shown modally on the calling thread.
//
// A process that has no QApplication yet gets one on the first run, on Qt's
// offscreen platform when there is no display. On the offscreen platform
// nobody sees the dialog, so the progress panel is mirrored to a progress
// line on the console while the dialog runs.
//
// Threading: the thread that runs the QApplication (the page's thread).
#pragma once

#include "control/install_dialog_runner.h"

namespace hovane {

class QtInstallDialogRunner : public InstallDialogRunner {
 public:
  void RunModal() override;
};

}  // namespace hovane
