#include "ui/font_static.h"

#include <QDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "ui/qt_test_support.h"

namespace hovane {
namespace {

using test::At;
using test::Pixels;

// Rows of the image that hold at least one pixel darker than mid-grey.
std::vector<int> InkedRows(const QImage& image) {
  std::vector<int> rows;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qGray(image.pixel(x, y)) < 128) {
        rows.push_back(y);
        break;
      }
    }
  }
  return rows;
}

TEST(FontStatic, PaintsBlackTextOnItsBackgroundColourOrTheButtonFace) {
  struct Case {
    bool setBackground;
    QColor expected;
  };
  QWidget host;
  const Case cases[] = {{true, Qt::white}, {false, host.palette().color(QPalette::Button)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setBackground ? "white set" : "none set");
    CFontStatic label(&host);
    label.setGeometry(0, 0, 120, 14);
    if (c.setBackground) label.SetBackgroundColor(Qt::white);
    label.SetWindowText(QString::fromUtf8("설치중:"));
    const QImage shown = Pixels(label);
    EXPECT_EQ(At(shown, 119, 13), c.expected);
    EXPECT_EQ(At(shown, 119, 0), c.expected);
    EXPECT_FALSE(InkedRows(shown).empty());
    // Left-aligned: the right half is background only.
    for (int y = 0; y < 14; ++y) {
      for (int x = 60; x < 120; ++x) ASSERT_EQ(At(shown, x, y), c.expected) << x << "," << y;
    }
    int darkest = 255;
    for (int y = 0; y < 14; ++y) {
      for (int x = 0; x < 60; ++x) darkest = std::min(darkest, qGray(shown.pixel(x, y)));
    }
    EXPECT_LT(darkest, 40);  // black ink
  }
}

TEST(FontStatic, BreaksALongTextIntoLines) {
  QWidget host;
  CFontStatic label(&host);
  label.setGeometry(0, 0, 60, 60);
  label.SetBackgroundColor(Qt::white);
  label.SetWindowText(QString::fromUtf8("시스템 등록 중입니다."));
  const std::vector<int> rows = InkedRows(Pixels(label));
  ASSERT_FALSE(rows.empty());
  EXPECT_GT(rows.back() - rows.front(), 14) << "one line only";
}

TEST(FontStatic, EnterEscapeAndF12OnTheLabelReachNoDialog) {
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_F12}) {
    QDialog dialog;
    QPushButton confirm(&dialog);
    confirm.setDefault(true);
    QSignalSpy clicks(&confirm, &QPushButton::clicked);
    CFontStatic label(&dialog);
    dialog.show();
    QTest::keyClick(&label, key);
    EXPECT_EQ(clicks.count(), 0) << key;
    EXPECT_TRUE(dialog.isVisible()) << key;
  }
}

}  // namespace
}  // namespace hovane
