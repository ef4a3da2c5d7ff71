#include "ui/control_view.h"

#include <QFontMetrics>

#include <gtest/gtest.h>

#include "ui/qt_test_support.h"

namespace hovane {
namespace {

using test::Pixels;

bool Dark(const QImage& image, int x, int y) { return qGray(image.pixel(x, y)) < 128; }

TEST(ControlView, DefaultExtentGivesItsSize) {
  struct Case {
    std::int32_t cx, cy;
    double dpi;
    QSize size;
  };
  const Case cases[] = {
      {5080, 5080, 96, {192, 192}},
      {5080, 2540, 96, {192, 96}},
      {5080, 5080, 120, {240, 240}},
      {1, 1, 96, {0, 0}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CHoVaneUpdateInstallerView::SizeForExtent(c.cx, c.cy, c.dpi), c.size)
        << c.cx << " x " << c.cy << " at " << c.dpi;
  CHoVaneUpdateInstallerView view;
  EXPECT_EQ(view.size(), CHoVaneUpdateInstallerView::SizeForExtent(5080, 5080, view.logicalDpiX()));
}

// The outline covers the outermost pixels, the inside is white apart from
// the caption, and the caption's ink is centred horizontally and sits on
// the vertical middle: its body above the middle row, only descenders below.
TEST(ControlView, DrawsTheRectangleAndTheCentredCaptionOnTheMiddleBaseline) {
  for (const QSize size : {QSize(300, 120), QSize(401, 77)}) {
    SCOPED_TRACE(size.width());
    CHoVaneUpdateInstallerView view;
    view.resize(size);
    const QImage image = Pixels(view);
    ASSERT_EQ(image.size(), size);
    const int w = size.width(), h = size.height();
    for (int x = 0; x < w; ++x) {
      EXPECT_TRUE(Dark(image, x, 0)) << x;
      EXPECT_TRUE(Dark(image, x, h - 1)) << x;
    }
    for (int y = 0; y < h; ++y) {
      EXPECT_TRUE(Dark(image, 0, y)) << y;
      EXPECT_TRUE(Dark(image, w - 1, y)) << y;
    }
    EXPECT_EQ(qGray(image.pixel(2, 2)), 255);
    EXPECT_EQ(qGray(image.pixel(w - 3, h - 3)), 255);

    int left = w, right = -1, top = h, bottom = -1;
    for (int y = 1; y < h - 1; ++y)
      for (int x = 1; x < w - 1; ++x)
        if (Dark(image, x, y)) {
          left = std::min(left, x);
          right = std::max(right, x);
          top = std::min(top, y);
          bottom = std::max(bottom, y);
        }
    ASSERT_GE(right, left) << "no caption drawn";
    const QFontMetrics metrics(view.font());
    const int middle = h / 2;
    EXPECT_NEAR((left + right) / 2.0, w / 2.0, 3.0);
    EXPECT_NEAR(right - left + 1, metrics.horizontalAdvance(CHoVaneUpdateInstallerView::Caption()),
                4);
    // Capitals reach up from the baseline; "p" of "Update" reaches down.
    EXPECT_LT(top, middle - metrics.capHeight() / 2);
    EXPECT_GE(top, middle - metrics.ascent() - 1);
    EXPECT_GT(bottom, middle);
    EXPECT_LE(bottom, middle + metrics.descent() + 1);
    // The row just above the middle carries the baselines of the letters.
    int inkAboveMiddle = 0, inkTwoBelow = 0;
    for (int x = left; x <= right; ++x) {
      inkAboveMiddle += Dark(image, x, middle - 1);
      inkTwoBelow += Dark(image, x, middle + 1);
    }
    EXPECT_GT(inkAboveMiddle, 3 * inkTwoBelow);
  }
}

}  // namespace
}  // namespace hovane
