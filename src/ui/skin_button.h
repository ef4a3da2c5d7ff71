// Skinned buttons: buttons drawn from pictures instead of the toolkit's
// look. CxSkinButton draws from one set of state pictures (normal, down,
// over, disabled, focus), can take its outline from a mask picture and can
// behave as a check box or a radio button. CTwoSkinBtn holds two sets and
// draws from the one selected; CSkinCnlBtn is a CTwoSkinBtn with nothing
// added.
//
// What a button draws, by its state: disabled: the disabled picture (the
// normal one when none was given) with embossed text; pressed or checked:
// the down picture with the text one pixel right and down; otherwise the
// over picture while the mouse is over it, else the focus picture while it
// has the focus, else the normal picture. A state without its picture shows
// the button-face colour. With a mask, the mask's white pixels keep what is
// behind the button and its other pixels show the state picture; the mask's
// non-white pixels are also the button's outline (where it is drawn and
// where it can be clicked).
//
// Enter, Escape and F12 pressed on a skinned button do nothing at all:
// neither the button nor its dialog sees them.
//
// Threading: GUI thread only.
#pragma once

#include <QAbstractButton>
#include <QEvent>
#include <QImage>
#include <QPoint>
#include <QRegion>

#include <cstdint>

namespace hovane {

// Button styles as a dialog layout gives them; the skinned button reads its
// behaviour from them.
inline constexpr std::uint32_t kButtonStylePush = 0;
inline constexpr std::uint32_t kButtonStyleAutoCheckBox = 3;
inline constexpr std::uint32_t kButtonStyleAutoRadioButton = 9;

// Behaviours (m_nStyle).
inline constexpr std::int32_t kSkinPushButton = 0;
inline constexpr std::int32_t kSkinCheckBox = 2;
inline constexpr std::int32_t kSkinRadioButton = 4;

// A widget whose boolean property of this name is true starts a group of
// controls in its parent: the group runs, in the parent's child order, up
// to the next widget that starts one. Without any, all children are one
// group.
inline constexpr char kGroupStartProperty[] = "hovaneGroupStart";

// Sent to the other controls of its group by a radio button that becomes
// checked; a skinned button that gets it clears its check.
inline constexpr QEvent::Type kClearCheckEvent = static_cast<QEvent::Type>(QEvent::User + 0x500);

// One set of state pictures. A null image is "no picture".
struct SkinPictures {
  QImage normal;
  QImage down;
  QImage over;
  QImage disabled;
  QImage focus;
};

class CxSkinButton : public QAbstractButton {
 public:
  // buttonStyle: the button's style as its layout gives it; an automatic
  // check box (3) or automatic radio button (9) pattern makes the skinned
  // button behave as one, anything else as a push button.
  explicit CxSkinButton(QWidget* parent = nullptr, std::uint32_t buttonStyle = kButtonStylePush);

  // Assigns the first set of pictures by their numbers (0: none), the mask,
  // and how to draw: drawMode 0 draws a picture at its own size, 1 stretches
  // it to the button, 2 tiles it (values beyond are clamped); a non-zero
  // border draws a 3-D edge; focusMargin > 0 draws a focus rectangle that
  // far inside the edge. A disabled number of 0 takes the normal picture.
  // With a mask, the button takes the mask's outline and, in draw mode 0,
  // the mask's size. Without a mask number the previous outline stays.
  // False when a non-zero number names no picture; that picture is then
  // treated as absent (a missing mask changes neither outline nor size).
  bool AssignSkin(int normal, int down, int over, int disabled, int focus, int mask,
                  std::int16_t drawMode, std::int16_t border, std::int16_t focusMargin);
  // The same with pictures at hand; a null mask is "no mask".
  virtual void AssignSkinPictures(const SkinPictures& pictures, const QImage& mask,
                                  std::int16_t drawMode, std::int16_t border,
                                  std::int16_t focusMargin);

  // The check state of check-box and radio behaviour (0 or 1). Setting it
  // on a push button leaves it 0; checking a radio button clears the other
  // skinned buttons of its group before SetCheck returns.
  int GetCheck() const { return m_bChecked ? 1 : 0; }
  void SetCheck(int check);

  std::int32_t GetStyle() const { return m_nStyle; }
  bool IsHovered() const { return m_bHover; }
  bool IsButtonDown() const { return m_bButtonDown; }
  // The outline made from the last mask; empty before any.
  const QRegion& GetOutline() const { return m_hClipRgn; }

  // The union of one-pixel-high rectangles, one per maximal run in a row of
  // pixels whose colour is not transparent (alpha ignored).
  static QRegion OutlineFromMask(const QImage& mask, QRgb transparent);

 protected:
  struct SkinSet {
    const QImage* normal;
    const QImage* down;
    const QImage* disabled;
    const QImage* over;
    const QImage* focus;
  };
  // The set to draw from; false to draw nothing at all.
  virtual bool CurrentSkin(SkinSet& set) const;
  // Loads the picture numbered id (0: none); clears ok when id names none.
  static QImage LoadSkinPicture(int id, bool& ok);

  bool event(QEvent* event) override;
  bool hitButton(const QPoint& pos) const override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  // Toggles (check box) or sets (radio button) the check after a click.
  void ClickCheck();
  void PostClearToGroup();
  bool IsOverButton(const QPoint& pos) const;
  void DrawBitmap(QPainter& painter, const QImage& bitmap, const QRect& rect) const;

  bool m_bChecked = false;
  std::int32_t m_nStyle = kSkinPushButton;
  bool m_bHover = false;
  bool m_bButtonDown = false;
  // The left button went down here and the mouse is still ours; the last
  // point it was seen at, in widget coordinates.
  bool m_bCapture = false;
  QPoint m_ptMouse;
  QImage m_bmpNormal;
  QImage m_bmpDown;
  QImage m_bmpDisabled;
  QImage m_bmpMask;
  QImage m_bmpOver;
  QImage m_bmpFocus;
  std::int16_t m_nFocusMargin = 0;
  QColor m_clrText;
  // The widget keeps its own copy of the outline given to it, so this one
  // is ours alone and simply replaced by the next mask.
  QRegion m_hClipRgn;
  std::int32_t m_nBorder = 0;
  std::int16_t m_nDrawMode = 1;
};

class CTwoSkinBtn : public CxSkinButton {
 public:
  using CxSkinButton::CxSkinButton;

  // Also selects the first set.
  void AssignSkinPictures(const SkinPictures& pictures, const QImage& mask, std::int16_t drawMode,
                          std::int16_t border, std::int16_t focusMargin) override;

  // Both sets by number: AssignSkin with the first five, the mask and the
  // drawing values, then the second set the same way (its disabled picture
  // falls back to its normal one). The mask, outline, draw mode, border and
  // focus margin are shared by both sets. False as for AssignSkin.
  bool AssignTwoSkins(int normal, int down, int over, int disabled, int focus, int normal2,
                      int down2, int over2, int disabled2, int focus2, int mask,
                      std::int16_t drawMode, std::int16_t border, std::int16_t focusMargin);
  void AssignTwoSkinPictures(const SkinPictures& first, const SkinPictures& second,
                             const QImage& mask, std::int16_t drawMode, std::int16_t border,
                             std::int16_t focusMargin);

  // 0 draws the first set, 1 the second; any other value draws nothing.
  // Repaints when the set changes.
  void SelectSkinSet(std::int32_t set);
  std::int32_t GetSkinSet() const { return m_nSkinSet; }

 protected:
  bool CurrentSkin(SkinSet& set) const override;

 private:
  void SetSecondSet(const SkinPictures& pictures);

  std::int32_t m_nSkinSet = 0;
  QImage m_bmpNormal2;
  QImage m_bmpDown2;
  QImage m_bmpDisabled2;
  QImage m_bmpOver2;
  QImage m_bmpFocus2;
};

class CSkinCnlBtn : public CTwoSkinBtn {
 public:
  using CTwoSkinBtn::CTwoSkinBtn;
};

}  // namespace hovane
