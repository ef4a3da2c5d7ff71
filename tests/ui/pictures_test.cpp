#include "ui/pictures.h"

#include <gtest/gtest.h>

#include "ui/dialog_units.h"
#include "ui/qt_test_support.h"

namespace hovane::ui {
namespace {

TEST(Pictures, EveryNumberHasItsPictureAtItsSize) {
  struct Case {
    int id;
    QSize size;
  };
  const Case cases[] = {
      {219, {405, 250}}, {215, {405, 250}}, {214, {405, 250}}, {212, {405, 250}},
      {216, {75, 24}},   {218, {75, 24}},   {217, {75, 24}},   {208, {75, 24}},
      {211, {75, 24}},   {209, {75, 24}},   {205, {75, 24}},   {207, {75, 24}},
      {206, {75, 24}},   {204, {75, 24}},   {220, {32, 32}},   {103, {16, 15}},
  };
  for (const Case& c : cases) {
    const QImage picture = LoadPicture(c.id);
    ASSERT_FALSE(picture.isNull()) << c.id;
    EXPECT_EQ(picture.size(), c.size) << c.id;
  }
  EXPECT_TRUE(LoadPicture(0).isNull());
  EXPECT_TRUE(LoadPicture(9999).isNull());

  const QImage mask = LoadPicture(kPictureConfirmMask).convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < mask.height(); ++y) {
    for (int x = 0; x < mask.width(); ++x) ASSERT_EQ(mask.pixel(x, y), 0xFF000000u);
  }

  const QIcon icon = LoadIconPicture(kIconInstall);
  EXPECT_EQ(icon.availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}}));
  EXPECT_TRUE(LoadIconPicture(9999).isNull());
}

TEST(Pictures, LeaveRoomForWhatTheDialogsDrawOverThem) {
  // The panel's labels paint white: the picture is white under them and
  // under the bar, so that they sit on it without a seam.
  const QImage inProgress = LoadPicture(kPictureInProgress).convertToFormat(QImage::Format_RGB32);
  for (const QRect& area :
       {DialogRect(81, 56, 24, 8), DialogRect(110, 55, 103, 8), DialogRect(75, 79, 147, 9)}) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) {
        ASSERT_EQ(inProgress.pixel(x, y), 0xFFFFFFFFu) << x << "," << y;
      }
    }
  }
  // The buttons' corners take the colour of the footer they sit on.
  const QRgb corner = LoadPicture(kPictureInstallNormal).pixel(0, 0);
  const QPoint button(DialogUnitsToPixelsX(173), DialogUnitsToPixelsY(122));
  for (int id : {kPictureStarting, kPictureNotCompleted}) {
    EXPECT_EQ(LoadPicture(id).pixel(button), corner) << id;
  }
  for (int id : {kPictureConfirmOkDown, kPictureCancelOkOver, kPictureInstallOver}) {
    EXPECT_EQ(LoadPicture(id).pixel(0, 0), corner) << id;
  }
}

}  // namespace
}  // namespace hovane::ui
