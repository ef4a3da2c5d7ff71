// CTextProgressCtrl: a progress bar that writes its percentage, or a text of
// its own, across the bar in two colours that change at the bar's edge.
//
// The object is made first and gets its window from Create, as the controls
// of a dialog layout do; until then SetBarPosition answers -1 and stores
// nothing.
//
// Threading: the widget belongs to the GUI thread. SetBarRange,
// SetTextVisible, SetBarPosition and SetWindowText may be called from any
// thread: the bar's numbers are kept under a lock, a repaint is asked of
// the GUI thread only when the picture changes, and SetBarPosition's
// repaint runs there while the caller waits (the GUI thread must be
// handling events). The object must outlive every caller.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <mutex>

namespace hovane {

class CTextProgressCtrl : public QWidget {
 public:
  explicit CTextProgressCtrl(QWidget* parent = nullptr);

  // Gives the control its window: a child of parent at rect (pixels),
  // shown, with a one-pixel border inside rect when border is set. GUI
  // thread; once.
  void Create(QWidget* parent, const QRect& rect, bool border);
  bool HasWindow() const;

  // Stores the range; nothing is redrawn.
  void SetBarRange(std::int32_t lower, std::int32_t upper);
  // Stores whether any text is drawn; repaints when that changes.
  void SetTextVisible(bool visible);
  // Stores the position and redraws at once when the filled width changes.
  // Returns the previous position, or -1 (storing nothing) without a window.
  // An empty range (upper == lower) counts as an empty bar.
  std::int32_t SetBarPosition(std::int32_t position);
  // A non-empty text replaces the percentage; an empty one brings it back.
  void SetWindowText(const QString& text);
  QString GetWindowText() const;

  // The text the bar draws now: its own text when it has one, else the
  // percentage, truncated ("99%" for 99.9 %); empty when text is hidden or
  // the range is reversed.
  QString DisplayedText() const;

  std::int32_t GetPos() const;
  // The filled width in pixels as last computed; -1 to be computed afresh.
  std::int32_t GetBarWidth() const;

  // The filled width for position in [lower, upper] on a bar clientWidth
  // pixels wide: (position - lower) / (upper - lower) of it, worked exactly
  // and truncated toward zero. An empty range gives 0; positions beyond the
  // range give widths beyond the bar, bounded far outside it.
  static std::int32_t FilledWidth(std::int32_t position, std::int32_t lower, std::int32_t upper,
                                  int clientWidth);

 protected:
  bool event(QEvent* event) override;
  // Qt paints every widget into its window's back buffer and shows the
  // result in one step, so the bar needs no off-screen surface of its own.
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Set at construction or by Create, then only read.
  QColor m_clrBar;
  QColor m_clrBk;
  QColor m_clrBkText;
  QColor m_clrBarText;
  bool m_bBorder = false;

  // Everything below m_mutex is guarded by it.
  mutable std::mutex m_mutex;
  bool m_bWindow = false;
  int m_nClientWidth = 0;
  std::int32_t m_nPos = 0;
  std::int32_t m_nMax = 100;
  std::int32_t m_nMin = 0;
  QString m_strText;
  bool m_bShowText = true;
  std::int32_t m_nBarWidth = -1;
};

}  // namespace hovane
