#include "ui/skin_button.h"

#include <QDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "ui/pictures.h"
#include "ui/qt_test_support.h"

namespace hovane {
namespace {

using test::Pixels;

const QColor kBackground(0xFF, 0x00, 0xFF);
const QColor kNormal(0xD0, 0x20, 0x20);
const QColor kDown(0x20, 0xA0, 0x20);
const QColor kOver(0x20, 0x20, 0xD0);
const QColor kDisabled(0x80, 0x80, 0x80);
const QColor kFocus(0xE0, 0xC0, 0x10);

QImage Solid(const QColor& colour, QSize size = {75, 24}) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

SkinPictures AllStates() {
  return {Solid(kNormal), Solid(kDown), Solid(kOver), Solid(kDisabled), Solid(kFocus)};
}

// Without a focus picture: a clicked button, which takes the focus, still
// shows its normal picture when not pressed.
SkinPictures NoFocusPicture() {
  SkinPictures pictures = AllStates();
  pictures.focus = QImage();
  return pictures;
}

// A window in kBackground with skinned buttons on it.
class Scene {
 public:
  Scene() {
    host_.resize(240, 120);
    QPalette colours = host_.palette();
    colours.setColor(QPalette::Window, kBackground);
    host_.setPalette(colours);
    host_.setAutoFillBackground(true);
  }
  QWidget* host() { return &host_; }
  void Show() {
    host_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host_));
    host_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host_));
    // Activation gives the first button the focus; tests give it themselves.
    if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
  }
  // What the window shows at the point p of widget.
  QColor Shown(QWidget& widget, QPoint p) {
    QCoreApplication::processEvents();
    return Pixels(host_).pixelColor(widget.mapTo(&host_, p));
  }
  QImage ShownArea(QWidget& widget, QRect area) {
    QCoreApplication::processEvents();
    return Pixels(host_).copy(area.translated(widget.mapTo(&host_, QPoint(0, 0))));
  }

 private:
  QWidget host_;
};

TEST(SkinButton, DrawsThePictureOfEachState) {
  enum class State { Idle, Hover, Pressed, Focused, Disabled, Checked };
  struct Case {
    const char* name;
    State state;
    QColor allPictures;  // with every picture given
    QColor normalOnly;   // with only the normal picture
  };
  QWidget probe;
  const QColor buttonFace = probe.palette().color(QPalette::Button);
  const Case cases[] = {
      {"idle", State::Idle, kNormal, kNormal},
      {"hover", State::Hover, kOver, kNormal},
      {"pressed", State::Pressed, kDown, buttonFace},
      {"focused", State::Focused, kFocus, kNormal},
      {"disabled", State::Disabled, kDisabled, kNormal},  // the fallback to normal
      {"checked", State::Checked, kDown, buttonFace},
  };
  for (const Case& c : cases) {
    for (bool allPictures : {true, false}) {
      SCOPED_TRACE(testing::Message()
                   << c.name << (allPictures ? " all pictures" : " normal only"));
      Scene scene;
      CxSkinButton button(scene.host(), kButtonStyleAutoCheckBox);
      button.setGeometry(20, 20, 75, 24);
      SkinPictures pictures =
          allPictures ? AllStates() : SkinPictures{Solid(kNormal), {}, {}, {}, {}};
      button.AssignSkinPictures(pictures, QImage(), 0, 0, 0);
      scene.Show();
      const QPoint inside(5, 5);
      switch (c.state) {
        case State::Idle:
          break;
        case State::Hover:
          QTest::mouseMove(&button, inside);
          break;
        case State::Pressed:
          QTest::mousePress(&button, Qt::LeftButton, {}, inside);
          break;
        case State::Focused:
          button.setFocus();
          break;
        case State::Disabled:
          button.setEnabled(false);
          break;
        case State::Checked:
          button.SetCheck(1);
          break;
      }
      EXPECT_EQ(scene.Shown(button, inside), allPictures ? c.allPictures : c.normalOnly);
      if (c.state == State::Pressed) QTest::mouseRelease(&button, Qt::LeftButton, {}, inside);
    }
  }
}

TEST(SkinButton, DrawsTheInstallDialogsPicturesByTheirNumbers) {
  Scene scene;
  CxSkinButton manual(scene.host());
  manual.setGeometry(10, 10, 75, 23);  // the layout's 43 x 13 units
  ASSERT_TRUE(manual.AssignSkin(205, 207, 206, 205, 0, 0, 0, 0, 4));
  CSkinCnlBtn start(scene.host());
  start.setGeometry(10, 60, 75, 23);
  ASSERT_TRUE(start.AssignTwoSkins(216, 218, 217, 216, 0, 208, 211, 209, 208, 0, 204, 0, 0, 0));
  EXPECT_EQ(start.size(), QSize(75, 24));  // the mask's size in draw mode 0
  EXPECT_EQ(manual.size(), QSize(75, 23));
  scene.Show();

  // The button shows the picture; with the focus and a focus margin, a
  // dotted focus rectangle that far inside its edge inverts it.
  auto expectPicture = [&](QWidget& button, int id, int focusMargin = 0) {
    const QImage picture = ui::LoadPicture(id).convertToFormat(QImage::Format_RGB32);
    const QImage shown = scene.ShownArea(button, button.rect());
    const QRect focus =
        button.rect().adjusted(focusMargin, focusMargin, -focusMargin, -focusMargin);
    int onFocusRect = 0;
    for (int y = 0; y < button.height(); ++y) {
      for (int x = 0; x < button.width(); ++x) {
        const bool onColumn =
            (x == focus.left() || x == focus.right()) && y >= focus.top() && y <= focus.bottom();
        const bool onRow =
            (y == focus.top() || y == focus.bottom()) && x >= focus.left() && x <= focus.right();
        const bool onEdge = onColumn || onRow;
        if (focusMargin > 0 && onEdge) {
          // Dotted: every pixel is the picture's or its inverse.
          const QRgb inverse = picture.pixel(x, y) ^ 0x00FFFFFFu;
          if (shown.pixel(x, y) == inverse) {
            ++onFocusRect;
            continue;
          }
        }
        ASSERT_EQ(shown.pixel(x, y), picture.pixel(x, y))
            << "picture " << id << " " << x << "," << y;
      }
    }
    if (focusMargin > 0) {
      EXPECT_GT(onFocusRect, 40) << "no focus rectangle";
    }
  };
  expectPicture(manual, 205);
  expectPicture(start, 216);
  QTest::mouseMove(&manual, {30, 10});
  expectPicture(manual, 206);
  QTest::mousePress(&manual, Qt::LeftButton, {}, {30, 10});
  expectPicture(manual, 207, 4);  // the press gave it the focus
  QTest::mouseRelease(&manual, Qt::LeftButton, {}, {30, 10});
  QTest::mouseMove(scene.host(), {200, 100});
  expectPicture(manual, 205, 4);

  start.SelectSkinSet(1);
  EXPECT_EQ(start.GetSkinSet(), 1);
  expectPicture(start, 208);
  QTest::mouseMove(&start, {30, 10});
  expectPicture(start, 209);
  QTest::mousePress(&start, Qt::LeftButton, {}, {30, 10});
  expectPicture(start, 211);
  QTest::mouseRelease(&start, Qt::LeftButton, {}, {30, 10});
  // Any other set leaves the button unpainted.
  start.SelectSkinSet(2);
  EXPECT_EQ(scene.ShownArea(start, QRect(0, 0, 75, 24)), Solid(kBackground));
  // Assigning skins again selects the first set.
  start.AssignSkin(216, 218, 217, 216, 0, 204, 0, 0, 0);
  EXPECT_EQ(start.GetSkinSet(), 0);
  // An unknown number is reported and treated as no picture.
  EXPECT_FALSE(manual.AssignSkin(205, 9999, 206, 0, 0, 0, 0, 0, 0));
}

// A mask: white except a black block with a stepped left edge and one
// grey pixel, 40 x 20.
QImage SteppedMask() {
  QImage mask = Solid(Qt::white, {40, 20});
  for (int y = 4; y < 16; ++y) {
    for (int x = 4 + (y % 4) * 3; x < 36; ++x) mask.setPixelColor(x, y, Qt::black);
  }
  mask.setPixelColor(30, 10, QColor(0x80, 0x80, 0x80));
  mask.setPixelColor(20, 2, QColor(0x40, 0x40, 0x40));  // a lone run above the block
  return mask;
}

TEST(SkinButton, TakesItsOutlineFromTheMasksNonWhitePixels) {
  const QImage mask = SteppedMask();
  Scene scene;
  CxSkinButton button(scene.host());
  button.move(20, 20);
  button.AssignSkinPictures(AllStates(), mask, 0, 0, 0);
  ASSERT_EQ(button.size(), mask.size());
  scene.Show();

  const QImage shown = scene.ShownArea(button, button.rect());
  for (int y = 0; y < mask.height(); ++y) {
    for (int x = 0; x < mask.width(); ++x) {
      const QRgb m = mask.pixel(x, y);
      const bool opaque = (m & 0xFFFFFF) != 0xFFFFFF;
      ASSERT_EQ(button.GetOutline().contains(QPoint(x, y)), opaque) << x << "," << y;
      // What is behind XOR picture, AND mask, XOR picture.
      const QRgb expected =
          (((kBackground.rgb() ^ kNormal.rgb()) & m) ^ kNormal.rgb()) | 0xFF000000;
      ASSERT_EQ(shown.pixel(x, y), opaque ? expected : kBackground.rgb()) << x << "," << y;
    }
  }
  // Only the outline takes clicks.
  QSignalSpy clicks(&button, &QAbstractButton::clicked);
  QTest::mouseClick(&button, Qt::LeftButton, {}, {1, 1});
  EXPECT_EQ(clicks.count(), 0);
  QTest::mouseClick(&button, Qt::LeftButton, {}, {20, 10});
  EXPECT_EQ(clicks.count(), 1);
}

TEST(SkinButton, StretchesAndTilesByDrawMode) {
  // A 10 x 10 picture: red left half, blue right half, a green top-left pixel.
  QImage picture = Solid(Qt::red, {10, 10});
  for (int y = 0; y < 10; ++y) {
    for (int x = 5; x < 10; ++x) picture.setPixelColor(x, y, Qt::blue);
  }
  picture.setPixelColor(0, 0, Qt::green);
  struct Case {
    std::int16_t drawMode;
    QPoint point;
    QColor expected;
  };
  const Case cases[] = {
      {0, {2, 2}, Qt::red},        {0, {7, 2}, Qt::blue},   {0, {20, 15}, kBackground},
      {1, {15, 15}, Qt::red},      {1, {25, 15}, Qt::blue}, {1, {1, 1}, Qt::green},
      {1, {3, 3}, Qt::green},      {2, {10, 0}, Qt::green}, {2, {20, 10}, Qt::green},
      {2, {17, 3}, Qt::blue},      {2, {33, 23}, Qt::red},  {9, {20, 10}, Qt::green},
      {-3, {20, 15}, kBackground},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "mode " << c.drawMode << " at " << c.point.x() << "," << c.point.y());
    Scene scene;
    CxSkinButton button(scene.host());
    button.setGeometry(10, 10, 40, 40);
    button.AssignSkinPictures({picture, {}, {}, {}, {}}, QImage(), c.drawMode, 0, 0);
    scene.Show();
    EXPECT_EQ(scene.Shown(button, c.point), c.expected);
  }
  // With a mask, draw mode 1 keeps the button's size and stretches both.
  Scene scene;
  CxSkinButton button(scene.host());
  button.setGeometry(10, 10, 80, 40);
  button.AssignSkinPictures(AllStates(), SteppedMask(), 1, 0, 0);
  EXPECT_EQ(button.size(), QSize(80, 40));
}

TEST(SkinButton, DraggingOutOfAPressedButtonReleasesItAndBackInPressesIt) {
  Scene scene;
  CxSkinButton button(scene.host());
  button.setGeometry(20, 20, 75, 24);
  button.AssignSkinPictures(NoFocusPicture(), QImage(), 0, 0, 0);
  QSignalSpy clicks(&button, &QAbstractButton::clicked);
  scene.Show();

  const QPoint inside(10, 10);
  const QPoint outside(150, 60);
  QTest::mousePress(&button, Qt::LeftButton, {}, inside);
  EXPECT_TRUE(button.isDown());
  EXPECT_TRUE(button.IsButtonDown());
  EXPECT_EQ(scene.Shown(button, inside), kDown);
  QTest::mouseMove(&button, outside);
  EXPECT_FALSE(button.isDown());
  EXPECT_EQ(scene.Shown(button, inside), kNormal);
  QTest::mouseMove(&button, inside);
  EXPECT_TRUE(button.isDown());
  EXPECT_EQ(scene.Shown(button, inside), kDown);
  QTest::mouseMove(&button, outside);
  QTest::mouseRelease(&button, Qt::LeftButton, {}, outside);
  EXPECT_EQ(clicks.count(), 0);
  EXPECT_FALSE(button.IsButtonDown());

  QTest::mouseClick(&button, Qt::LeftButton, {}, inside);
  EXPECT_EQ(clicks.count(), 1);
  // A double click (press, release, double click, release) is two presses,
  // so two clicks.
  QTest::mouseClick(&button, Qt::LeftButton, {}, inside);
  QTest::mouseDClick(&button, Qt::LeftButton, {}, inside);
  EXPECT_TRUE(button.isDown());
  QTest::mouseRelease(&button, Qt::LeftButton, {}, inside);
  EXPECT_EQ(clicks.count(), 3);
}

TEST(SkinButton, HoverFollowsTheMouseAndEndsWithAPressOrALeave) {
  Scene scene;
  CxSkinButton button(scene.host());
  button.setGeometry(20, 20, 75, 24);
  button.AssignSkinPictures(NoFocusPicture(), QImage(), 0, 0, 0);
  scene.Show();
  QTest::mouseMove(&button, {10, 10});
  EXPECT_TRUE(button.IsHovered());
  EXPECT_EQ(scene.Shown(button, {10, 10}), kOver);
  QTest::mousePress(&button, Qt::LeftButton, {}, {10, 10});
  EXPECT_FALSE(button.IsHovered());
  QTest::mouseRelease(&button, Qt::LeftButton, {}, {10, 10});
  QTest::mouseMove(&button, {12, 10});
  EXPECT_TRUE(button.IsHovered());
  QTest::mouseMove(scene.host(), {200, 100});
  EXPECT_FALSE(button.IsHovered());
  EXPECT_EQ(scene.Shown(button, {10, 10}), kNormal);
}

TEST(SkinButton, EnterEscapeAndF12OnTheButtonNeitherConfirmNorCancel) {
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_F12}) {
    QDialog dialog;
    QPushButton confirm(&dialog);
    confirm.setDefault(true);
    QSignalSpy confirms(&confirm, &QPushButton::clicked);
    CSkinCnlBtn button(&dialog);
    button.setGeometry(10, 40, 75, 24);
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    dialog.show();
    button.setFocus();
    QTest::keyClick(&button, key);
    EXPECT_EQ(confirms.count(), 0) << key;
    EXPECT_EQ(clicks.count(), 0) << key;
    EXPECT_TRUE(dialog.isVisible()) << key;
  }
}

TEST(SkinButton, ChecksLikeCheckBoxesAndRadioButtonsAndClearsTheRestOfTheGroup) {
  Scene scene;
  auto radio = [&](bool startsGroup, int y) {
    auto* button = new CxSkinButton(scene.host(), kButtonStyleAutoRadioButton);
    button->setGeometry(10, y, 40, 20);
    button->setProperty(kGroupStartProperty, startsGroup);
    return button;
  };
  CxSkinButton* first = radio(true, 0);
  CxSkinButton* second = radio(false, 20);
  CxSkinButton* third = radio(false, 40);
  CxSkinButton* otherGroup = radio(true, 60);
  CxSkinButton box(scene.host(), kButtonStyleAutoCheckBox);
  box.setGeometry(100, 0, 40, 20);
  CxSkinButton push(scene.host());
  push.setGeometry(100, 40, 40, 20);
  scene.Show();
  EXPECT_EQ(first->GetStyle(), kSkinRadioButton);
  EXPECT_EQ(box.GetStyle(), kSkinCheckBox);
  EXPECT_EQ(push.GetStyle(), kSkinPushButton);

  // Each check clears the group at once, so the last one stands.
  otherGroup->SetCheck(1);
  third->SetCheck(1);
  first->SetCheck(1);
  EXPECT_EQ(first->GetCheck(), 1);
  EXPECT_EQ(third->GetCheck(), 0);
  EXPECT_EQ(otherGroup->GetCheck(), 1);
  QTest::mouseClick(second, Qt::LeftButton, {}, {5, 5});
  EXPECT_EQ(first->GetCheck(), 0);
  EXPECT_EQ(second->GetCheck(), 1);
  EXPECT_EQ(otherGroup->GetCheck(), 1);

  QTest::mouseClick(&box, Qt::LeftButton, {}, {5, 5});
  EXPECT_EQ(box.GetCheck(), 1);
  QTest::keyClick(&box, Qt::Key_Space);
  EXPECT_EQ(box.GetCheck(), 0);
  push.SetCheck(1);
  EXPECT_EQ(push.GetCheck(), 0);
}

}  // namespace
}  // namespace hovane
