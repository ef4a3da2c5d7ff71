// CFontStatic: a static label that paints its text on a background colour
// of its choice. In this system only the background colour is ever changed,
// so a label draws left-aligned black text, word-wrapped, in the dialog face
// at 12 pixels, on its background colour (or the button-face colour).
//
// A Qt widget receives clicks without asking, so the notify style that the
// label would add to its window has no counterpart here.
//
// Threading: GUI thread only.
#pragma once

#include <QBrush>
#include <QColor>
#include <QString>
#include <QWidget>

#include <cstdint>

namespace hovane {

class CFontStatic : public QWidget {
 public:
  explicit CFontStatic(QWidget* parent = nullptr);

  // Paints the background in colour from now on.
  void SetBackgroundColor(const QColor& colour);

  // The label's text; it is repainted on the next paint (call repaint() to
  // paint it at once).
  void SetWindowText(const QString& text);
  const QString& GetWindowText() const { return m_strWindowText; }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QFont MakeFont() const;

  std::uint8_t m_bBold = 0;
  std::uint8_t m_bItalic = 0;
  std::uint8_t m_bUnderline = 0;
  std::uint8_t m_bStrikeOut = 0;
  std::uint8_t m_bAntiAliased = 0;
  std::uint8_t m_bUseBkColor = 0;
  std::uint8_t m_bCenter = 0;
  std::uint8_t m_bRight = 0;
  // "DEFAULT" names no face: the platform's default dialog face is used.
  QString m_strFaceName = QStringLiteral("DEFAULT");
  QColor m_clrText = Qt::black;
  QColor m_clrBk = Qt::white;
  int m_nFontHeight = 12;
  QBrush m_brBk{Qt::white};
  // Drawn instead of the window text when not empty.
  QString m_strAltText;
  QString m_strWindowText;
};

}  // namespace hovane
