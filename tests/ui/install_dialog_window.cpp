// Second process of the install dialog's window test: shows the real dialog
// on the X display of the environment (Qt's xcb platform), held in its
// about-to-start state by a running client program, and writes a PNG of
// the window with its frame as the X server shows it.
//
//   install_dialog_window PROGRAM.exe OUTPUT.png
//
// Prints "shown <window id> <frame left> <top> <right> <bottom>" once the
// picture is written, then keeps the dialog open until standard input
// closes; prints "failed: <reason>" and exits 1 when it cannot.
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "control/settings.h"
#include "platform/codepage/codepage.h"
#include "platform/msgbox/message_box.h"
#include "ui/hovane_install.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::printf("failed: usage: %s PROGRAM.exe OUTPUT.png\n", argv[0]);
    return 1;
  }
  hovane::platform::SetSystemCodePage(949);
  hovane::platform::ScriptedMessageBoxes boxes;
  hovane::platform::SetMessageBoxService(&boxes);

  hovane::CHoVaneUpdateModule& module = hovane::TheModule();
  module.AllocFetchList(1);
  module.m_pFetchList[0].nCount = 1;
  std::strncpy(module.m_pFetchList[0].szName, argv[1], hovane::kFetchNameSize - 1);
  module.m_bExeInFetchList = 1;

  hovane::CHovaneInstall dialog;
  QTimer::singleShot(0, &dialog, [&] {
    if (!QTest::qWaitForWindowExposed(&dialog) || !dialog.m_btnStart.isVisible()) {
      std::printf("failed: the dialog did not show in its about-to-start state\n");
      std::fflush(stdout);
      std::_Exit(1);
    }
    // The window manager frames the window a moment after it is exposed.
    QTest::qWait(500);
    const QRect frame = dialog.frameGeometry();
    const QRect client = dialog.geometry();
    const QImage shot = dialog.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(),
                                                    frame.height()).toImage();
    if (!shot.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
      std::printf("failed: cannot write %s\n", argv[2]);
      std::fflush(stdout);
      std::_Exit(1);
    }
    std::printf("shown %llu %d %d %d %d\n", static_cast<unsigned long long>(dialog.winId()),
                client.left() - frame.left(), client.top() - frame.top(),
                frame.right() - client.right(), frame.bottom() - client.bottom());
    std::fflush(stdout);
  });
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, &dialog, [&] {
    char byte;
    if (read(STDIN_FILENO, &byte, 1) <= 0) std::_Exit(0);
  });
  dialog.DoModal();
  return 0;
}
