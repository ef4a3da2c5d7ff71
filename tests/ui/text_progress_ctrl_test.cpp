#include "ui/text_progress_ctrl.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

#include "ui/qt_test_support.h"

namespace hovane {
namespace {

using test::At;
using test::Pixels;

// Counts the paints a widget gets.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  std::atomic<int> paints{0};

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

struct BarOnScreen {
  BarOnScreen(int width, bool border) {
    host.resize(width + 20, 40);
    bar.Create(&host, QRect(0, 0, width, 20), border);
    host.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&host));
    QCoreApplication::processEvents();
  }
  QWidget host;
  CTextProgressCtrl bar;
};

TEST(TextProgressCtrl, FillsUpToThePositionAndChangesTextColourAtTheEdge) {
  BarOnScreen screen(200, false);
  const QColor barColour = screen.bar.palette().color(QPalette::Highlight);
  const QColor emptyColour = screen.bar.palette().color(QPalette::Base);
  screen.bar.SetBarRange(0, 100);
  EXPECT_EQ(screen.bar.SetBarPosition(50), 0);
  EXPECT_EQ(screen.bar.GetBarWidth(), 100);
  EXPECT_EQ(screen.bar.DisplayedText(), "50%");

  const QImage shown = Pixels(screen.bar);
  for (int x = 0; x < 200; ++x) {
    ASSERT_EQ(At(shown, x, 0), x < 100 ? barColour : emptyColour) << "x " << x;
    ASSERT_EQ(At(shown, x, 19), x < 100 ? barColour : emptyColour) << "x " << x;
  }
  // "50%" is centred on pixel 100: left of the edge its glyphs are drawn in
  // the empty part's colour over the bar, right of it in the bar's colour
  // over the empty part. Either half in the other colour would vanish.
  int textOnBar = 0;
  int textOnEmpty = 0;
  for (int y = 1; y < 19; ++y) {
    for (int x = 80; x < 120; ++x) {
      const QColor pixel = At(shown, x, y);
      if (x < 100 && pixel == emptyColour) ++textOnBar;
      if (x >= 100 && pixel == barColour) ++textOnEmpty;
    }
  }
  EXPECT_GT(textOnBar, 0);
  EXPECT_GT(textOnEmpty, 0);
}

TEST(TextProgressCtrl, ShowsTruncatedPercentagesAndTheirBars) {
  struct Case {
    std::int32_t lower, upper, position;
    const char* text;
    int width;  // of a 200-pixel bar
  };
  const Case cases[] = {
      {0, 3, 1, "33%", 66},       {0, 3, 3, "100%", 200},
      {0, 1000, 999, "99%", 199}, {0, 100, 29, "29%", 58},
      {0, 100, 0, "0%", 0},       {5, 5, 5, "0%", 0},
      {0, 100, 150, "150%", 300}, {0, 100, -10, "-10%", -20},
      {-50, 50, 0, "50%", 100},   {INT32_MIN, INT32_MAX, INT32_MAX, "100%", 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lower << ".." << c.upper << " at " << c.position);
    BarOnScreen screen(200, false);
    screen.bar.SetBarRange(c.lower, c.upper);
    screen.bar.SetBarPosition(c.position);
    EXPECT_EQ(screen.bar.DisplayedText(), c.text);
    EXPECT_EQ(screen.bar.GetBarWidth(), c.width);
    // The fill is clipped to the bar at both ends.
    const QImage shown = Pixels(screen.bar);
    const QColor barColour = screen.bar.palette().color(QPalette::Highlight);
    const int filled = std::clamp(c.width, 0, 200);
    if (filled > 0) {
      EXPECT_EQ(At(shown, filled - 1, 0), barColour);
    }
    if (filled < 200) {
      EXPECT_NE(At(shown, filled, 0), barColour);
    }
  }
}

TEST(TextProgressCtrl, OwnTextReplacesThePercentageUntilCleared) {
  BarOnScreen screen(200, true);
  screen.bar.SetBarPosition(40);
  screen.bar.SetWindowText(QStringLiteral("시스템 등록 중"));
  EXPECT_EQ(screen.bar.DisplayedText(), QStringLiteral("시스템 등록 중"));
  EXPECT_EQ(screen.bar.GetWindowText(), QStringLiteral("시스템 등록 중"));
  screen.bar.SetWindowText(QString());
  EXPECT_EQ(screen.bar.DisplayedText(), "40%");
  screen.bar.SetTextVisible(false);
  EXPECT_EQ(screen.bar.DisplayedText(), "");
  // A reversed range draws nothing at all.
  screen.bar.SetTextVisible(true);
  screen.bar.SetBarRange(10, 0);
  EXPECT_EQ(screen.bar.DisplayedText(), "");
}

TEST(TextProgressCtrl, WithoutAWindowAPositionIsRefusedAndNotStored) {
  QWidget host;
  CTextProgressCtrl bar;
  EXPECT_FALSE(bar.HasWindow());
  EXPECT_EQ(bar.SetBarPosition(30), -1);
  EXPECT_EQ(bar.GetPos(), 0);
  bar.Create(&host, QRect(0, 0, 100, 10), true);
  EXPECT_EQ(bar.SetBarPosition(30), 0);
  EXPECT_EQ(bar.SetBarPosition(31), 30);
}

TEST(TextProgressCtrl, RedrawsOnlyWhenTheFilledWidthChangesFromEitherThread) {
  BarOnScreen screen(200, false);
  PaintCounter counter(&screen.bar);
  screen.bar.SetBarRange(0, 1000);
  screen.bar.SetBarPosition(500);  // 100 pixels: drawn
  QCoreApplication::processEvents();
  const int afterFirst = counter.paints;
  EXPECT_GT(afterFirst, 0);
  EXPECT_EQ(screen.bar.SetBarPosition(501), 500);  // still 100 pixels
  EXPECT_EQ(screen.bar.SetBarPosition(504), 501);
  EXPECT_EQ(counter.paints, afterFirst);

  // From another thread: each position of the same width costs nothing; a
  // new width is painted before the call returns.
  std::atomic<bool> done{false};
  std::vector<std::int32_t> previous;
  std::vector<int> paintsAfter;
  std::thread receiver([&] {
    for (std::int32_t position : {502, 503, 505, 506, 1000}) {
      previous.push_back(screen.bar.SetBarPosition(position));
      paintsAfter.push_back(counter.paints);
    }
    done = true;
  });
  ASSERT_TRUE(test::WaitUntil([&] { return done.load(); }));
  receiver.join();
  EXPECT_EQ(previous, (std::vector<std::int32_t>{504, 502, 503, 505, 506}));
  EXPECT_EQ(paintsAfter[0], afterFirst);  // 502: 100 pixels
  EXPECT_EQ(paintsAfter[1], afterFirst);  // 503
  EXPECT_GT(paintsAfter[2], afterFirst);  // 505: 101 pixels, painted at once
  EXPECT_EQ(paintsAfter[3], paintsAfter[2]);
  EXPECT_GT(paintsAfter[4], paintsAfter[3]);
  EXPECT_EQ(At(Pixels(screen.bar), 199, 0), screen.bar.palette().color(QPalette::Highlight));
}

TEST(TextProgressCtrl, ResizingMakesTheWidthBeComputedAfresh) {
  BarOnScreen screen(200, false);
  screen.bar.SetBarPosition(50);
  EXPECT_EQ(screen.bar.GetBarWidth(), 100);
  screen.bar.resize(100, 20);
  EXPECT_EQ(screen.bar.GetBarWidth(), -1);
  screen.bar.SetBarPosition(50);
  EXPECT_EQ(screen.bar.GetBarWidth(), 50);
}

TEST(TextProgressCtrl, EnterEscapeAndF12OnTheBarReachNoDialog) {
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_F12}) {
    QDialog dialog;
    QPushButton confirm(&dialog);
    confirm.setDefault(true);
    QSignalSpy clicks(&confirm, &QPushButton::clicked);
    CTextProgressCtrl bar;
    bar.Create(&dialog, QRect(0, 0, 100, 16), true);
    dialog.show();
    QTest::keyClick(&bar, key);
    EXPECT_EQ(clicks.count(), 0) << key;
    EXPECT_TRUE(dialog.isVisible()) << key;
  }
  // The same keys on a widget without the filter do reach the dialog.
  QDialog dialog;
  QLineEdit edit(&dialog);
  dialog.show();
  QTest::keyClick(&edit, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
}  // namespace hovane
