#include "ui/font_static.h"

#include <QPainter>
#include <QPalette>

#include "ui/widget_support.h"

namespace hovane {

CFontStatic::CFontStatic(QWidget* parent) : QWidget(parent) {
  // The label paints every pixel itself: nothing is erased beforehand.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CFontStatic::SetBackgroundColor(const QColor& colour) {
  m_clrBk = colour;
  m_bUseBkColor = 1;
  m_brBk = QBrush(colour);
}

void CFontStatic::SetWindowText(const QString& text) {
  m_strWindowText = text;
  update();
}

bool CFontStatic::event(QEvent* event) {
  if (ui::SwallowDialogKey(event)) return true;
  return QWidget::event(event);
}

QFont CFontStatic::MakeFont() const {
  QFont font;
  if (m_strFaceName == QLatin1String("DEFAULT")) {
    font.setFamilies(ui::DialogFontFamilies());
  } else {
    font.setFamilies({m_strFaceName});
  }
  font.setPixelSize(m_nFontHeight);
  font.setWeight(m_bBold ? QFont::Black : QFont::Normal);
  font.setItalic(m_bItalic != 0);
  font.setUnderline(m_bUnderline != 0);
  font.setStrikeOut(m_bStrikeOut != 0);
  font.setStyleStrategy(m_bAntiAliased ? QFont::PreferAntialias : QFont::PreferDefault);
  return font;
}

void CFontStatic::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect client = rect();
  painter.fillRect(client, m_bUseBkColor ? m_brBk : palette().brush(QPalette::Button));
  painter.setPen(m_clrText);
  int format = Qt::TextWordWrap | Qt::AlignTop;
  if (m_bCenter) {
    format |= Qt::AlignHCenter;
  } else if (m_bRight) {
    format |= Qt::AlignRight;
  } else {
    format |= Qt::AlignLeft;
  }
  // Qt draws '&' as it stands unless asked to show mnemonics, which matches
  // the label's "no prefix" rule.
  painter.setFont(MakeFont());
  painter.drawText(client, format, m_strAltText.isEmpty() ? m_strWindowText : m_strAltText);
}

}  // namespace hovane
