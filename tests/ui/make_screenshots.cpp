// Writes the screenshots of the README into the folder named on the command
// line: the install dialog in its four states (dialog-*.png), the progress
// panel at 0 %, 47 % and 100 % (panel-*.png) and each skinned button of the
// install dialog in each state (button-*.png), drawn by the real widgets on
// Qt's offscreen platform.
//
// Usage: hovane-ui-screenshots OUTPUT_FOLDER

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "control/settings.h"
#include "platform/codepage/codepage.h"
#include "platform/msgbox/message_box.h"
#include "ui/file_dn_dialog.h"
#include "ui/hovane_install.h"
#include "ui/pictures.h"
#include "ui/skin_button.h"
#include "ui/test_panel_parent.h"

namespace {

using hovane::CFileDnDialog;
using hovane::CSkinCnlBtn;
using hovane::CTwoSkinBtn;

// Shows window and waits until it is on screen (and active, if asked).
bool ShowWindow(QWidget& window, bool activate) {
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) {
    std::fprintf(stderr, "the window did not show\n");
    return false;
  }
  if (!activate) return true;
  window.activateWindow();
  if (!QTest::qWaitForWindowActive(&window)) {
    std::fprintf(stderr, "the window did not become active\n");
    return false;
  }
  // Activation gives the first button the focus; only the focused shot
  // should show it.
  if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
  return true;
}

bool Save(const QImage& image, const QDir& folder, const QString& name) {
  const QString path = folder.filePath(name);
  if (image.save(path, "PNG")) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

std::string Narrow(const char* utf8) {
  return hovane::platform::Utf8ToNarrow(utf8).value_or(std::string());
}

bool PanelShots(const QDir& folder) {
  struct Shot {
    const char* file;
    const char* name;
    int position;
  };
  const Shot shots[] = {{"panel-0.png", "HoVaneClient.exe", 0},
                        {"panel-47.png", "HoVaneClient.exe", 470},
                        {"panel-100.png", "시스템 등록 중입니다.", 1000}};
  for (const Shot& shot : shots) {
    hovane::test::TestPanelParent parent;
    CFileDnDialog panel;
    panel.Create(&parent);
    panel.show();
    if (!ShowWindow(parent, false)) return false;
    panel.SetBarRange(0, 1000);
    panel.SetFileName(Narrow(shot.name));
    panel.SetBarPosition(shot.position);
    QCoreApplication::processEvents();
    if (!Save(parent.grab().toImage(), folder, QString::fromLatin1(shot.file))) return false;
  }
  return true;
}

// The buttons sit in the footer of the dialog's pictures; each shot shows a
// button on the footer with a margin around it.
bool ButtonShots(const QDir& folder) {
  const QImage starting = hovane::ui::LoadPicture(hovane::ui::kPictureStarting);
  const QRect around(303 - 12, 214 - 10, 75 + 24, 24 + 20);
  struct Kind {
    const char* name;
    std::function<void(CTwoSkinBtn&)> skin;
  };
  const Kind kinds[] = {
      {"install",
       [](CTwoSkinBtn& b) {
         b.AssignTwoSkins(216, 218, 217, 216, 0, 208, 211, 209, 208, 0, 204, 0, 0, 0);
       }},
      {"confirm-ok",
       [](CTwoSkinBtn& b) {
         b.AssignTwoSkins(216, 218, 217, 216, 0, 208, 211, 209, 208, 0, 204, 0, 0, 0);
         b.SelectSkinSet(1);
       }},
      {"cancel-ok", [](CTwoSkinBtn& b) { b.AssignSkin(205, 207, 206, 205, 0, 0, 0, 0, 4); }},
  };
  const char* states[] = {"normal", "hover", "pressed", "focused", "disabled"};
  for (const Kind& kind : kinds) {
    for (const char* state : states) {
      // A window showing the part of the starting picture around the button.
      QWidget window;
      window.setFixedSize(around.size());
      QPalette colours = window.palette();
      colours.setBrush(QPalette::Window, QBrush(starting.copy(around)));
      window.setPalette(colours);
      window.setAutoFillBackground(true);
      CSkinCnlBtn button(&window);
      button.setGeometry(12, 10, 75, 23);
      kind.skin(button);
      if (!ShowWindow(window, true)) return false;
      const QString which = QString::fromLatin1(state);
      const QPoint inside(37, 11);
      if (which == "hover") {
        // Qt drops a move to where the mouse already is, and the last shot
        // left it there: come in from the window's corner.
        QTest::mouseMove(&window, QPoint(1, 1));
        QTest::mouseMove(&button, inside);
      }
      if (which == "pressed") QTest::mousePress(&button, Qt::LeftButton, {}, inside);
      if (which == "focused") button.setFocus();
      if (which == "disabled") button.setEnabled(false);
      QCoreApplication::processEvents();
      const QString file = QStringLiteral("button-%1-%2.png").arg(kind.name, which);
      if (!Save(window.grab().toImage(), folder, file)) return false;
      if (which == "pressed") QTest::mouseRelease(&button, Qt::LeftButton, {}, inside);
    }
  }
  return true;
}

// The install dialog runs for real up to its not-completed state: a
// download from a file server that is not there. The other states are then
// set up on the same window: the in-progress panel shown again, the
// completed picture, the about-to-start picture with the Install button.
bool DialogShots(const QDir& folder) {
  hovane::platform::ScriptedMessageBoxes boxes;
  hovane::platform::MessageBoxService* previous = hovane::platform::SetMessageBoxService(&boxes);
  hovane::CHoVaneUpdateModule& module = hovane::TheModule();
  module.FreeFetchList();
  module.AllocFetchList(1);
  module.m_bExeInFetchList = 0;
  // A port that refuses: bound, not listening.
  const int refusing = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(refusing, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(refusing, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::fprintf(stderr, "cannot bind a port to refuse on\n");
    return false;
  }
  module.m_serverInfo = {"server", "127.0.0.1", "user", ntohs(address.sin_port)};

  hovane::CHovaneInstall dialog;
  bool ok = false;
  QTimer::singleShot(0, &dialog, [&] {
    const auto shot = [&](const char* file) {
      QCoreApplication::processEvents();
      return Save(dialog.grab().toImage(), folder, QString::fromLatin1(file));
    };
    QElapsedTimer clock;
    clock.start();
    while (!dialog.m_btnManual.isVisible() && clock.elapsed() < 30'000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!dialog.m_btnManual.isVisible() || dialog.m_pPanel == nullptr) {
      std::fprintf(stderr, "the dialog did not reach its not-completed state (%d %d %d)\n",
                   dialog.m_pPanel != nullptr, dialog.m_pPanel && dialog.m_pPanel->m_bRunning.load(),
                   static_cast<int>(boxes.Shown().size()));
      dialog.done(QDialog::Rejected);
      return;
    }
    ok = shot("dialog-not-completed.png");

    dialog.m_btnManual.hide();
    dialog.m_bPaintState = false;
    hovane::CFileDnDialog& panel = *dialog.m_pPanel;
    panel.show();
    panel.SetTextVisible(true);
    panel.SetBarRange(0, 1000);
    panel.SetFileName(Narrow("HoVaneClient.exe"));
    panel.SetBarPosition(470);
    ok = ok && shot("dialog-in-progress.png");

    panel.hide();
    dialog.m_nState = hovane::kInstallCompleted;
    dialog.m_bPaintState = true;
    ok = ok && shot("dialog-completed.png");

    dialog.m_nState = hovane::kInstallStarting;
    dialog.m_btnStart.show();
    ok = ok && shot("dialog-starting.png");
    dialog.done(QDialog::Rejected);
  });
  dialog.DoModal();
  close(refusing);
  hovane::platform::SetMessageBoxService(previous);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.exists() && !QDir().mkpath(folder.path())) {
    std::fprintf(stderr, "cannot make %s\n", argv[1]);
    return 1;
  }
  return DialogShots(folder) && PanelShots(folder) && ButtonShots(folder) ? 0 : 1;
}
