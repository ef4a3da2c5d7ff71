#include "ui/skin_button.h"

#include <qdrawutil.h>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>

#include "ui/pictures.h"
#include "ui/widget_support.h"

namespace hovane {
namespace {

constexpr QRgb kMaskTransparent = 0xFFFFFF;

// Qt takes an empty mask for "no mask". An outline without any pixel must
// leave nothing of the button, so it becomes a region outside it.
const QRegion kNowhere(-1, -1, 1, 1);

bool StartsGroup(const QWidget* widget) { return widget->property(kGroupStartProperty).toBool(); }

}  // namespace

CxSkinButton::CxSkinButton(QWidget* parent, std::uint32_t buttonStyle) : QAbstractButton(parent) {
  if ((buttonStyle & 3u) == 3u) {
    m_nStyle = kSkinCheckBox;
  } else if ((buttonStyle & 9u) == 9u) {
    m_nStyle = kSkinRadioButton;
  }
  m_clrText = palette().color(QPalette::ButtonText);
  // Moves without a pressed button are needed for the hover picture.
  setMouseTracking(true);
}

QImage CxSkinButton::LoadSkinPicture(int id, bool& ok) {
  if (id == 0) return {};
  QImage picture = ui::LoadPicture(id);
  if (picture.isNull()) ok = false;
  return picture;
}

bool CxSkinButton::AssignSkin(int normal, int down, int over, int disabled, int focus, int mask,
                              std::int16_t drawMode, std::int16_t border,
                              std::int16_t focusMargin) {
  bool ok = true;
  SkinPictures pictures{
      LoadSkinPicture(normal, ok), LoadSkinPicture(down, ok), LoadSkinPicture(over, ok),
      LoadSkinPicture(disabled != 0 ? disabled : normal, ok), LoadSkinPicture(focus, ok)};
  const QImage maskPicture = LoadSkinPicture(mask, ok);
  AssignSkinPictures(pictures, maskPicture, drawMode, border, focusMargin);
  return ok;
}

void CxSkinButton::AssignSkinPictures(const SkinPictures& pictures, const QImage& mask,
                                      std::int16_t drawMode, std::int16_t border,
                                      std::int16_t focusMargin) {
  m_bmpNormal = pictures.normal;
  m_bmpDown = pictures.down;
  m_bmpOver = pictures.over;
  m_bmpFocus = pictures.focus;
  m_bmpDisabled = pictures.disabled.isNull() ? pictures.normal : pictures.disabled;
  m_bmpMask = QImage();
  m_nDrawMode = std::clamp<std::int16_t>(drawMode, 0, 2);
  m_nBorder = border;
  m_nFocusMargin = std::max<std::int16_t>(focusMargin, 0);
  update();
  if (mask.isNull()) return;

  m_bmpMask = mask;
  m_hClipRgn = OutlineFromMask(mask, kMaskTransparent);
  setMask(m_hClipRgn.isEmpty() ? kNowhere : m_hClipRgn);
  if (m_nDrawMode == 0) resize(mask.size());
}

QRegion CxSkinButton::OutlineFromMask(const QImage& mask, QRgb transparent) {
  const QImage pixels = mask.convertToFormat(QImage::Format_RGB32);
  QRegion outline;
  for (int y = 0; y < pixels.height(); ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
    int x = 0;
    while (x < pixels.width()) {
      if ((row[x] & 0xFFFFFFu) == (transparent & 0xFFFFFFu)) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < pixels.width() && (row[x] & 0xFFFFFFu) != (transparent & 0xFFFFFFu)) ++x;
      outline += QRect(start, y, x - start, 1);
    }
  }
  return outline;
}

void CxSkinButton::SetCheck(int check) {
  m_bChecked = check != 0;
  if (m_nStyle == kSkinPushButton) m_bChecked = false;
  if (m_nStyle == kSkinRadioButton && m_bChecked) PostClearToGroup();
  update();
}

void CxSkinButton::ClickCheck() {
  if (m_nStyle == kSkinCheckBox) {
    SetCheck(m_bChecked ? 0 : 1);
  } else if (m_nStyle == kSkinRadioButton) {
    SetCheck(1);
  }
}

void CxSkinButton::PostClearToGroup() {
  QWidget* parent = parentWidget();
  if (!parent) return;
  // The parent's child order is the dialog's order: creation order, with a
  // raised widget moved last, as the window order of a dialog's controls.
  const QList<QWidget*> controls = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  const auto self = controls.indexOf(this);
  if (self < 0) return;
  auto first = self;
  while (first > 0 && !StartsGroup(controls[first])) --first;
  auto end = self + 1;
  while (end < controls.size() && !StartsGroup(controls[end])) ++end;
  for (auto i = first; i < end; ++i) {
    if (i == self) continue;
    // Sent, not posted: a clear still queued when a later radio button of
    // the group is checked would take that button's check away too.
    QEvent clear(kClearCheckEvent);
    QCoreApplication::sendEvent(controls[i], &clear);
  }
}

bool CxSkinButton::IsOverButton(const QPoint& pos) const {
  if (!rect().contains(pos)) return false;
  return mask().isEmpty() || mask().contains(pos);
}

bool CxSkinButton::hitButton(const QPoint& pos) const { return IsOverButton(pos); }

bool CxSkinButton::event(QEvent* event) {
  if (ui::SwallowDialogKey(event)) return true;
  if (event->type() == kClearCheckEvent) {
    if (m_bChecked) {
      m_bChecked = false;
      update();
    }
    return true;
  }
  return QAbstractButton::event(event);
}

void CxSkinButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractButton::mousePressEvent(event);
    return;
  }
  // A press ends the hover look until the mouse moves again.
  m_bHover = false;
  QAbstractButton::mousePressEvent(event);
  m_bButtonDown = true;
  m_bCapture = true;
  m_ptMouse = event->position().toPoint();
}

void CxSkinButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractButton::mouseReleaseEvent(event);
    return;
  }
  if (m_nStyle != kSkinPushButton && IsOverButton(event->position().toPoint())) ClickCheck();
  m_bButtonDown = false;
  m_bCapture = false;
  QAbstractButton::mouseReleaseEvent(event);
}

void CxSkinButton::mouseMoveEvent(QMouseEvent* event) {
  m_ptMouse = event->position().toPoint();
  if (m_bButtonDown && m_bCapture) {
    // Dragged out of a pressed button it looks released; back in, pressed.
    const bool over = IsOverButton(m_ptMouse);
    if (isDown() != over) {
      setDown(over);
      update();
    }
  } else if (!m_bHover) {
    m_bHover = true;
    update();
  }
  QAbstractButton::mouseMoveEvent(event);
}

void CxSkinButton::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractButton::mouseDoubleClickEvent(event);
    return;
  }
  // A double click is a second press.
  QMouseEvent press(QEvent::MouseButtonPress, event->position(), event->scenePosition(),
                    event->globalPosition(), Qt::LeftButton, event->buttons(), event->modifiers());
  QCoreApplication::sendEvent(this, &press);
}

void CxSkinButton::keyPressEvent(QKeyEvent* event) {
  if (m_nStyle != kSkinPushButton && event->key() == Qt::Key_Space) ClickCheck();
  QAbstractButton::keyPressEvent(event);
}

void CxSkinButton::focusOutEvent(QFocusEvent* event) {
  if (m_bCapture) {
    m_bCapture = false;
    m_bButtonDown = false;
  }
  QAbstractButton::focusOutEvent(event);
}

void CxSkinButton::leaveEvent(QEvent* event) {
  m_bHover = false;
  update();
  QAbstractButton::leaveEvent(event);
}

bool CxSkinButton::CurrentSkin(SkinSet& set) const {
  set = {&m_bmpNormal, &m_bmpDown, &m_bmpDisabled, &m_bmpOver, &m_bmpFocus};
  return true;
}

void CxSkinButton::DrawBitmap(QPainter& painter, const QImage& bitmap, const QRect& rect) const {
  painter.save();
  painter.setClipRect(rect, Qt::IntersectClip);
  if (m_nDrawMode == 2) {
    for (int y = rect.top(); y <= rect.bottom(); y += bitmap.height()) {
      for (int x = rect.left(); x <= rect.right(); x += bitmap.width()) {
        painter.drawImage(QPoint(x, y), bitmap);
      }
    }
  } else if (m_bmpMask.isNull()) {
    if (m_nDrawMode == 1) {
      painter.drawImage(rect.topLeft(), bitmap.scaled(rect.size()));
    } else {
      painter.drawImage(rect.topLeft(), bitmap);
    }
  } else {
    // The mask's white keeps the background: what is behind XOR picture,
    // AND mask, XOR picture gives the background where the mask is white
    // and the picture where it is black. Qt has already painted what is
    // behind the button into the same buffer, so the three steps run on it.
    QImage picture = bitmap;
    QImage mask = m_bmpMask;
    if (m_nDrawMode == 1) {
      picture = bitmap.scaled(rect.size());
      mask = m_bmpMask.copy(0, 0, bitmap.width(), bitmap.height()).scaled(rect.size());
    }
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.drawImage(rect.topLeft(), picture);
    painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    painter.drawImage(rect.topLeft(), mask);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.drawImage(rect.topLeft(), picture);
  }
  painter.restore();
}

void CxSkinButton::paintEvent(QPaintEvent*) {
  if (m_bButtonDown && m_bCapture) {
    // The pushed look follows the mouse; a change repaints by itself.
    const bool over = IsOverButton(m_ptMouse);
    if (over != isDown()) {
      setDown(over);
      return;
    }
  }
  SkinSet skin{};
  if (!CurrentSkin(skin)) return;

  QPainter painter(this);
  const QRect item = rect();
  const int inset = m_nFocusMargin + 2;
  QRect textRect = item.adjusted(inset, 0, -inset, 0);
  const QPalette& colours = palette();
  const QBrush buttonFace = colours.brush(QPalette::Button);
  auto drawOrFill = [&](const QImage& picture) {
    if (picture.isNull()) {
      painter.fillRect(item, buttonFace);
    } else {
      DrawBitmap(painter, picture, item);
    }
  };

  if (!isEnabled()) {
    drawOrFill(*skin.disabled);
    if (m_nBorder) qDrawWinPanel(&painter, item, colours, false);
    // Embossed: the text in the light colour, then one pixel up and left
    // in the grey-text colour.
    painter.setPen(colours.color(QPalette::Light));
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, text());
    textRect.translate(-1, -1);
    painter.setPen(colours.color(QPalette::Disabled, QPalette::ButtonText));
  } else {
    if (isDown() || m_bChecked) {
      drawOrFill(*skin.down);
      textRect.translate(1, 1);
      if (m_nBorder) qDrawWinPanel(&painter, item, colours, true);
    } else {
      if (skin.normal->isNull()) {
        painter.fillRect(item, buttonFace);
      } else if (m_bHover && !skin.over->isNull()) {
        DrawBitmap(painter, *skin.over, item);
      } else if (hasFocus() && !skin.focus->isNull()) {
        DrawBitmap(painter, *skin.focus, item);
      } else {
        DrawBitmap(painter, *skin.normal, item);
      }
      if (m_nBorder) qDrawWinPanel(&painter, item, colours, false);
    }
    if (hasFocus() && m_nFocusMargin > 0) {
      const QRect focusRect =
          item.adjusted(m_nFocusMargin, m_nFocusMargin, -m_nFocusMargin, -m_nFocusMargin);
      // The classic focus rectangle: a dotted line that inverts what is
      // under it, so it shows on any picture.
      painter.save();
      painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
      painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
      painter.drawRect(focusRect.adjusted(0, 0, -1, -1));
      painter.restore();
    }
    painter.setPen(m_clrText);
  }
  painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, text());
}

void CTwoSkinBtn::AssignSkinPictures(const SkinPictures& pictures, const QImage& mask,
                                     std::int16_t drawMode, std::int16_t border,
                                     std::int16_t focusMargin) {
  m_nSkinSet = 0;
  CxSkinButton::AssignSkinPictures(pictures, mask, drawMode, border, focusMargin);
}

bool CTwoSkinBtn::AssignTwoSkins(int normal, int down, int over, int disabled, int focus,
                                 int normal2, int down2, int over2, int disabled2, int focus2,
                                 int mask, std::int16_t drawMode, std::int16_t border,
                                 std::int16_t focusMargin) {
  bool ok = AssignSkin(normal, down, over, disabled, focus, mask, drawMode, border, focusMargin);
  SetSecondSet(
      {LoadSkinPicture(normal2, ok), LoadSkinPicture(down2, ok), LoadSkinPicture(over2, ok),
       LoadSkinPicture(disabled2 != 0 ? disabled2 : normal2, ok), LoadSkinPicture(focus2, ok)});
  return ok;
}

void CTwoSkinBtn::AssignTwoSkinPictures(const SkinPictures& first, const SkinPictures& second,
                                        const QImage& mask, std::int16_t drawMode,
                                        std::int16_t border, std::int16_t focusMargin) {
  AssignSkinPictures(first, mask, drawMode, border, focusMargin);
  SetSecondSet(second);
}

void CTwoSkinBtn::SetSecondSet(const SkinPictures& pictures) {
  m_bmpNormal2 = pictures.normal;
  m_bmpDown2 = pictures.down;
  m_bmpOver2 = pictures.over;
  m_bmpFocus2 = pictures.focus;
  m_bmpDisabled2 = pictures.disabled.isNull() ? pictures.normal : pictures.disabled;
  update();
}

void CTwoSkinBtn::SelectSkinSet(std::int32_t set) {
  if (set == m_nSkinSet) return;
  m_nSkinSet = set;
  update();
}

bool CTwoSkinBtn::CurrentSkin(SkinSet& set) const {
  if (m_nSkinSet == 0) return CxSkinButton::CurrentSkin(set);
  if (m_nSkinSet != 1) return false;
  set = {&m_bmpNormal2, &m_bmpDown2, &m_bmpDisabled2, &m_bmpOver2, &m_bmpFocus2};
  return true;
}

}  // namespace hovane
