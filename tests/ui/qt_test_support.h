// Qt for the ui tests: one QApplication for the whole test program (on the
// offscreen platform unless the environment names another), waiting while
// events run and reading pixels back.
#pragma once

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QImage>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>

#include "ui/test_panel_parent.h"

// Colours and texts in test messages.
inline void PrintTo(const QColor& colour, std::ostream* out) {
  *out << colour.name().toStdString();
}
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace hovane::test {

class QtApplicationEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    application_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { application_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "hovane-ui-test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
};

inline testing::Environment* const kQtEnvironment =
    testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

// Runs events until done() holds; false when it does not within the bound.
// Posted events are also sent directly: a wait inside a queued call (a
// script started by QTimer::singleShot(0, ...)) runs within the delivery of
// posted events, and the GLib event dispatcher then does not deliver again
// the events that were already queued when that delivery began, such as a
// receive thread's blocking call posted just before the dialog's loop
// started. processEvents alone would leave both threads waiting.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds bound = std::chrono::seconds(30)) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > bound.count()) return false;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// What the widget shows, as an RGB32 image of its size.
inline QImage Pixels(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QColor At(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

}  // namespace hovane::test
