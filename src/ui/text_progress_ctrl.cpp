#include "ui/text_progress_ctrl.h"

#include <QPainter>
#include <QPalette>

#include <algorithm>

#include "ui/gui_thread.h"
#include "ui/widget_support.h"

namespace hovane {
namespace {

// (position - lower) * scale / (upper - lower), truncated toward zero; 0
// for an empty range. Worked in 64-bit integers, so that 29 of 100 is 29%
// and not the 28.999...% of a floating-point fraction; scale is at most a
// widget's largest width (2^24), so nothing overflows. Results far beyond
// the bar are bounded before they become ints.
int ScaledFraction(std::int32_t position, std::int32_t lower, std::int32_t upper, int scale) {
  constexpr std::int64_t kFarOutside = std::int64_t{1} << 30;
  const std::int64_t span = static_cast<std::int64_t>(upper) - lower;
  if (span == 0) return 0;
  const std::int64_t boundedScale = std::clamp<std::int64_t>(scale, 0, QWIDGETSIZE_MAX);
  const std::int64_t value = (static_cast<std::int64_t>(position) - lower) * boundedScale / span;
  return static_cast<int>(std::clamp(value, -kFarOutside, kFarOutside));
}

QString TextToShow(const QString& own, bool showText, std::int32_t position, std::int32_t lower,
                   std::int32_t upper) {
  if (!showText || lower > upper) return {};
  if (!own.isEmpty()) return own;
  return QStringLiteral("%1%").arg(ScaledFraction(position, lower, upper, 100));
}

}  // namespace

CTextProgressCtrl::CTextProgressCtrl(QWidget* parent) : QWidget(parent) {
  const QPalette colours = palette();
  m_clrBar = colours.color(QPalette::Highlight);
  m_clrBk = colours.color(QPalette::Base);
  m_clrBkText = colours.color(QPalette::Highlight);
  m_clrBarText = colours.color(QPalette::Base);
  hide();
}

void CTextProgressCtrl::Create(QWidget* parent, const QRect& rect, bool border) {
  setParent(parent);
  m_bBorder = border;
  const int frame = border ? 1 : 0;
  setContentsMargins(frame, frame, frame, frame);
  setGeometry(rect);
  {
    std::lock_guard lock(m_mutex);
    m_bWindow = true;
    m_nClientWidth = contentsRect().width();
    m_nBarWidth = -1;
  }
  show();
}

bool CTextProgressCtrl::HasWindow() const {
  std::lock_guard lock(m_mutex);
  return m_bWindow;
}

std::int32_t CTextProgressCtrl::FilledWidth(std::int32_t position, std::int32_t lower,
                                            std::int32_t upper, int clientWidth) {
  return ScaledFraction(position, lower, upper, clientWidth);
}

void CTextProgressCtrl::SetBarRange(std::int32_t lower, std::int32_t upper) {
  std::lock_guard lock(m_mutex);
  m_nMin = lower;
  m_nMax = upper;
}

void CTextProgressCtrl::SetTextVisible(bool visible) {
  bool changed;
  {
    std::lock_guard lock(m_mutex);
    changed = m_bWindow && visible != m_bShowText;
    m_bShowText = visible;
  }
  if (changed) ui::PostToThreadOf(this, [this] { update(); });
}

std::int32_t CTextProgressCtrl::SetBarPosition(std::int32_t position) {
  std::int32_t previous;
  bool redraw;
  {
    std::lock_guard lock(m_mutex);
    if (!m_bWindow) return -1;
    previous = m_nPos;
    m_nPos = position;
    const std::int32_t width = FilledWidth(position, m_nMin, m_nMax, m_nClientWidth);
    redraw = width != m_nBarWidth;
    if (redraw) m_nBarWidth = width;
  }
  // Most positions from the receive thread leave the width as it is; only
  // a real change costs a trip to the GUI thread. The lock is not held
  // across the trip, so the GUI thread can paint meanwhile.
  if (redraw) ui::RunOnThreadOf(this, [this] { repaint(); });
  return previous;
}

void CTextProgressCtrl::SetWindowText(const QString& text) {
  {
    std::lock_guard lock(m_mutex);
    m_strText = text;
  }
  ui::PostToThreadOf(this, [this] { update(); });
}

QString CTextProgressCtrl::GetWindowText() const {
  std::lock_guard lock(m_mutex);
  return m_strText;
}

QString CTextProgressCtrl::DisplayedText() const {
  std::lock_guard lock(m_mutex);
  return TextToShow(m_strText, m_bShowText, m_nPos, m_nMin, m_nMax);
}

std::int32_t CTextProgressCtrl::GetPos() const {
  std::lock_guard lock(m_mutex);
  return m_nPos;
}

std::int32_t CTextProgressCtrl::GetBarWidth() const {
  std::lock_guard lock(m_mutex);
  return m_nBarWidth;
}

bool CTextProgressCtrl::event(QEvent* event) {
  if (ui::SwallowDialogKey(event)) return true;
  return QWidget::event(event);
}

void CTextProgressCtrl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  std::lock_guard lock(m_mutex);
  m_nClientWidth = contentsRect().width();
  m_nBarWidth = -1;
}

void CTextProgressCtrl::paintEvent(QPaintEvent*) {
  std::int32_t position, lower, upper;
  QString text;
  bool showText;
  {
    std::lock_guard lock(m_mutex);
    position = m_nPos;
    lower = m_nMin;
    upper = m_nMax;
    text = m_strText;
    showText = m_bShowText;
  }
  QPainter painter(this);
  if (m_bBorder) {
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  // A reversed range draws nothing; Qt counts the paint as done all the same.
  if (lower > upper) return;

  const QRect client = contentsRect();
  // A split left of the bar or right of it is clipped to the bar, as the
  // window clips a fill beyond its edges.
  const int split = std::clamp(client.left() + FilledWidth(position, lower, upper, client.width()),
                               client.left(), client.left() + client.width());
  const QRect filled(client.left(), client.top(), split - client.left(), client.height());
  const QRect empty(split, client.top(), client.left() + client.width() - split, client.height());
  painter.fillRect(filled, m_clrBar);
  painter.fillRect(empty, m_clrBk);
  text = TextToShow(text, showText, position, lower, upper);
  if (text.isEmpty()) return;
  const int format = Qt::AlignCenter | Qt::TextSingleLine;
  painter.setClipRect(filled);
  painter.setPen(m_clrBarText);
  painter.drawText(client, format, text);
  painter.setClipRect(empty);
  painter.setPen(m_clrBkText);
  painter.drawText(client, format, text);
}

}  // namespace hovane
