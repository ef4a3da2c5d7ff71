#include "fixtures/text.h"
#include "ui/qt_message_boxes.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/codepage/codepage.h"
#include "ui/qt_test_support.h"

namespace hovane::ui {
namespace {

using platform::MessageBoxButtons;
using platform::MessageBoxIcon;
using platform::MessageBoxRequest;
using platform::MessageBoxResult;

using test::Narrow;

// Answers the next message box from inside its own modal loop: notes what
// it shows and presses a button (NoButton: the Escape key).
class BoxAnswerer {
 public:
  explicit BoxAnswerer(QMessageBox::StandardButton press) {
    QObject::connect(&timer_, &QTimer::timeout, [this, press] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      timer_.stop();
      seen = true;
      title = box->windowTitle();
      text = box->text();
      format = box->textFormat();
      icon = box->icon();
      parent = box->parentWidget();
      buttons = box->standardButtons();
      if (press == QMessageBox::NoButton) {
        QTest::keyClick(box, Qt::Key_Escape);
      } else {
        box->button(press)->click();
      }
    });
    timer_.start(10);
  }

  bool seen = false;
  QString title;
  QString text;
  Qt::TextFormat format = Qt::AutoText;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QWidget* parent = nullptr;
  QMessageBox::StandardButtons buttons;

 private:
  QTimer timer_;
};

TEST(QtMessageBoxes, ShowsTheRequestOverItsOwnerAndAnswersOnTheCallersThread) {
  struct Case {
    MessageBoxButtons buttons;
    MessageBoxIcon icon;
    QMessageBox::Icon shownIcon;
    QMessageBox::StandardButton press;  // NoButton: Escape
    MessageBoxResult answer;
  };
  const Case cases[] = {
      {MessageBoxButtons::Ok, MessageBoxIcon::Error, QMessageBox::Critical, QMessageBox::Ok,
       MessageBoxResult::Ok},
      {MessageBoxButtons::YesNo, MessageBoxIcon::Question, QMessageBox::Question, QMessageBox::Yes,
       MessageBoxResult::Yes},
      {MessageBoxButtons::YesNo, MessageBoxIcon::Warning, QMessageBox::Warning, QMessageBox::No,
       MessageBoxResult::No},
      {MessageBoxButtons::YesNo, MessageBoxIcon::Question, QMessageBox::Question,
       QMessageBox::NoButton, MessageBoxResult::No},
      {MessageBoxButtons::Ok, MessageBoxIcon::Information, QMessageBox::Information,
       QMessageBox::Ok, MessageBoxResult::Ok},
      {MessageBoxButtons::Ok, MessageBoxIcon::None, QMessageBox::NoIcon, QMessageBox::Ok,
       MessageBoxResult::Ok},
  };
  const QString text = QString::fromUtf8("%s와 \n같은 이름을 가진 파일이 있습니다.\n<b>x</b>");
  QWidget ownerWindow;
  QWidget owner(&ownerWindow);
  ownerWindow.show();
  QtMessageBoxes service;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "icon " << static_cast<int>(c.icon) << " press " << c.press);
    const MessageBoxRequest request{reinterpret_cast<std::uintptr_t>(&owner),
                                    Narrow(text.toUtf8().constData()), Narrow("알림"), c.buttons,
                                    c.icon};
    BoxAnswerer answerer(c.press);
    std::atomic<bool> answered{false};
    MessageBoxResult answer{};
    std::thread caller([&] {
      answer = service.Show(request);
      answered = true;
    });
    const bool done = test::WaitUntil([&] { return answered.load(); });
    caller.join();
    ASSERT_TRUE(done);
    EXPECT_EQ(answer, c.answer);
    ASSERT_TRUE(answerer.seen);
    EXPECT_EQ(answerer.title, QString::fromUtf8("알림"));
    EXPECT_EQ(answerer.text, text);
    EXPECT_EQ(answerer.format, Qt::PlainText);
    EXPECT_EQ(answerer.icon, c.shownIcon);
    EXPECT_EQ(answerer.parent, &ownerWindow);
    EXPECT_EQ(answerer.buttons, c.buttons == MessageBoxButtons::Ok
                                    ? QMessageBox::StandardButtons(QMessageBox::Ok)
                                    : (QMessageBox::Yes | QMessageBox::No));
  }
}

TEST(QtMessageBoxes, RunsOnTheGuiThreadItselfAndIgnoresAnUnknownOwner) {
  QtMessageBoxes service;
  BoxAnswerer answerer(QMessageBox::Yes);
  const MessageBoxRequest request{0x1234, "resume?", "caption", MessageBoxButtons::YesNo,
                                  MessageBoxIcon::Question};
  EXPECT_EQ(service.Show(request), MessageBoxResult::Yes);
  EXPECT_TRUE(answerer.seen);
  EXPECT_EQ(answerer.parent, nullptr);
}

}  // namespace
}  // namespace hovane::ui
