#include "ui/install_dialog_runner_qt.h"

#include <QApplication>
#include <QGuiApplication>

#include <memory>

#include "platform/msgbox/console_progress.h"
#include "ui/file_dn_dialog.h"
#include "ui/hovane_install.h"
#include "ui/widget_support.h"

namespace hovane {
namespace {

// A host without Qt of its own: the application lives as long as the
// process, since the module that made it is never unloaded.
void EnsureApplication() {
  if (QApplication::instance() != nullptr) return;
  ui::UseOffscreenPlatformWithoutDisplay();
  static int argc = 1;
  static char name[] = "HoVaneUpdate";
  static char* argv[] = {name, nullptr};
  static auto* application = new QApplication(argc, argv);
  application->setQuitOnLastWindowClosed(false);
}

}  // namespace

void QtInstallDialogRunner::RunModal() {
  EnsureApplication();
  std::unique_ptr<platform::ConsoleProgress> mirror;
  if (QGuiApplication::platformName() == QStringLiteral("offscreen")) {
    mirror = std::make_unique<platform::ConsoleProgress>(kInstallingLabel);
    CFileDnDialog::SetConsoleMirror(mirror.get());
  }
  {
    CHovaneInstall dialog;
    dialog.DoModal();
  }
  if (mirror) CFileDnDialog::SetConsoleMirror(nullptr);
}

}  // namespace hovane
