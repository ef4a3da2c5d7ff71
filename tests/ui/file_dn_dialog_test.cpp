#include "fixtures/text.h"
#include "ui/file_dn_dialog.h"

#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/codepage/codepage.h"
#include "ui/pictures.h"
#include "ui/qt_test_support.h"
#include "ui/widget_support.h"

namespace hovane {
namespace {

using test::Pixels;
using test::TestPanelParent;

// Records the text a label shows each time it is painted.
class LabelPaints : public QObject {
 public:
  explicit LabelPaints(CFontStatic* label) : label_(label) { label->installEventFilter(this); }
  std::vector<QString> texts;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) texts.push_back(label_->GetWindowText());
    return false;
  }

 private:
  CFontStatic* label_;
};

// A panel that counts the timers it gets, by number.
class CountingPanel : public CFileDnDialog {
 public:
  using CFileDnDialog::CFileDnDialog;
  std::map<unsigned, int> fired;

 protected:
  void OnTimer(unsigned id) override {
    ++fired[id];
    CFileDnDialog::OnTimer(id);
  }
};

using test::Narrow;

TEST(FileDnDialog, LaysOutItsControlsAndShowsPicture215WhileTheParentDoesNotPaint) {
  TestPanelParent parent;
  CFileDnDialog panel;
  EXPECT_EQ(panel.SetBarPosition(10), -1);  // no window yet
  EXPECT_FALSE(panel.Create(nullptr));
  ASSERT_TRUE(panel.Create(&parent));
  EXPECT_FALSE(panel.Create(&parent));
  EXPECT_EQ(panel.parentWidget(), &parent);
  EXPECT_FALSE(panel.isVisibleTo(&parent));  // the parent shows it

  // Layout 106 at 7 x 14 base units.
  EXPECT_EQ(panel.geometry(), QRect(0, 0, 403, 257));
  EXPECT_EQ(panel.m_lblInstalling.geometry(), QRect(142, 98, 42, 14));
  EXPECT_EQ(panel.m_lblFileName.geometry(), QRect(193, 96, 180, 14));
  EXPECT_EQ(panel.m_progress.geometry(), QRect(131, 138, 257, 16));
  EXPECT_EQ(panel.m_lblInstalling.GetWindowText(), QString::fromUtf8("설치중:"));
  EXPECT_EQ(panel.m_lblFileName.GetWindowText(), QString());

  panel.SetServerInfo(Narrow("서버1"), "127.0.0.1", "user", 7001);
  EXPECT_EQ(panel.m_serverInfo.m_strServerId, Narrow("서버1"));
  EXPECT_EQ(panel.m_serverInfo.m_strServerIp, "127.0.0.1");
  EXPECT_EQ(panel.m_serverInfo.m_strUserId, "user");
  EXPECT_EQ(panel.m_serverInfo.m_nPort, 7001);
  FetchRecord fetchList[2] = {};
  panel.SetFetchList(fetchList, 2);
  EXPECT_EQ(panel.m_pFetchList, fetchList);

  panel.show();
  parent.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
  const QImage picture =
      ui::LoadPicture(ui::kPictureInProgress).convertToFormat(QImage::Format_RGB32);
  // Away from the controls the panel shows picture 215 pixel for pixel.
  for (const QRect& area :
       {QRect(0, 0, 120, 250), QRect(120, 0, 283, 90), QRect(0, 160, 403, 90)}) {
    EXPECT_EQ(Pixels(parent).copy(area), picture.copy(area));
  }
  // Once the parent paints its own picture again, the panel erases to the
  // window colour instead.
  parent.paintState = true;
  panel.repaint();
  EXPECT_EQ(Pixels(parent).pixelColor(60, 60), panel.palette().color(QPalette::Window));
}

TEST(FileDnDialog, ServesTheReceiveThreadWhileTheGuiThreadRunsAModalLoop) {
  TestPanelParent parent;
  parent.endModalRunWhenFinished = true;
  CFileDnDialog panel;
  ASSERT_TRUE(panel.Create(&parent));
  panel.show();
  LabelPaints paints(&panel.m_lblFileName);

  const std::vector<std::string> names = {"HoVaneClient.exe", Narrow("호바네설치.dll"),
                                          std::string("bad\xFF\xFE.dat"),
                                          Narrow("시스템 등록 중입니다.")};
  std::vector<std::int32_t> previous;
  std::atomic<bool> threadEnded{false};
  std::thread receiver;
  panel.m_bRunning = 1;
  QTimer::singleShot(0, &parent, [&] {
    receiver = std::thread([&] {
      panel.SetTextVisible(true);
      panel.SetBarRange(0, 1000);
      std::int32_t position = 0;
      for (const std::string& name : names) {
        panel.SetFileName(name);
        for (int step = 0; step < 250; ++step) previous.push_back(panel.SetBarPosition(++position));
      }
      panel.SetUpdateSucceeded(1);
      panel.BringDialogToFront();
      panel.SignalThreadEnd();
      threadEnded = true;
    });
  });
  bool timedOut = false;
  QTimer::singleShot(60'000, &parent, [&] {
    timedOut = true;
    parent.reject();
  });
  parent.exec();
  receiver.join();

  ASSERT_FALSE(timedOut) << "the modal loop did not end";
  EXPECT_TRUE(threadEnded);
  EXPECT_EQ(panel.m_bRunning, 0);
  EXPECT_EQ(parent.finishedCalls, 1);
  EXPECT_TRUE(parent.finishedOnGuiThread);
  EXPECT_EQ(parent.updateSucceeded, 1);
  EXPECT_TRUE(parent.succeededOnGuiThread);
  EXPECT_FALSE(panel.IsTimerRunning(kEndTimerId));
  EXPECT_TRUE(parent.windowFlags() & Qt::WindowStaysOnTopHint);
  ASSERT_NE(parent.windowHandle(), nullptr);
  EXPECT_TRUE(parent.windowHandle()->flags() & Qt::WindowStaysOnTopHint);

  // Every name was painted before the next one was set, in order.
  std::vector<QString> painted;
  for (const QString& text : paints.texts) {
    if (!text.isEmpty() && (painted.empty() || painted.back() != text)) painted.push_back(text);
  }
  std::vector<QString> expected;
  for (const std::string& name : names) expected.push_back(ui::NarrowToDisplay(name));
  EXPECT_EQ(painted, expected);
  EXPECT_EQ(expected[2], QStringLiteral("bad??.dat"));

  ASSERT_EQ(previous.size(), 1000u);
  for (std::size_t i = 0; i < previous.size(); ++i) ASSERT_EQ(previous[i], std::int32_t(i));
  EXPECT_EQ(panel.m_progress.DisplayedText(), "100%");
  const QImage bar = Pixels(panel.m_progress);
  EXPECT_EQ(bar.pixelColor(bar.width() - 2, 2), panel.palette().color(QPalette::Highlight));
}

TEST(FileDnDialog, CallsOnTheGuiThreadRunAtOnce) {
  TestPanelParent parent;
  CFileDnDialog panel;
  ASSERT_TRUE(panel.Create(&parent));
  panel.show();
  parent.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
  LabelPaints paints(&panel.m_lblFileName);
  panel.SetFileName("a.exe");
  ASSERT_EQ(paints.texts.size(), 1u);  // painted before the call returned
  EXPECT_EQ(paints.texts[0], "a.exe");
  panel.SetUpdateSucceeded(1);
  EXPECT_EQ(parent.updateSucceeded, 1);
  EXPECT_EQ(panel.MessageBoxOwner(),
            reinterpret_cast<std::uintptr_t>(static_cast<QWidget*>(&panel)));
}

TEST(FileDnDialog, OnlyTimerZeroEndsTheWait) {
  TestPanelParent parent;
  CountingPanel panel;
  ASSERT_TRUE(panel.Create(&parent));
  panel.SetTimer(7, 5);
  ASSERT_TRUE(test::WaitUntil([&] { return panel.fired[7] >= 3; }));
  EXPECT_EQ(parent.finishedCalls, 0);
  EXPECT_TRUE(panel.IsTimerRunning(7));

  panel.SetTimer(kEndTimerId, 5);
  ASSERT_TRUE(test::WaitUntil([&] { return parent.finishedCalls == 1; }));
  const int sevens = panel.fired[7];
  ASSERT_TRUE(test::WaitUntil([&] { return panel.fired[7] >= sevens + 3; }));
  EXPECT_EQ(parent.finishedCalls, 1);  // timer 0 stopped itself
  EXPECT_EQ(panel.fired[kEndTimerId], 1);
  EXPECT_FALSE(panel.IsTimerRunning(kEndTimerId));
  panel.KillTimer(7);
  EXPECT_FALSE(panel.IsTimerRunning(7));
}

}  // namespace
}  // namespace hovane
