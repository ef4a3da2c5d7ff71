// CHoVaneUpdateInstallerView: what the control shows where a host gives it
// a visible area: a rectangle over its bounds (black outline, white inside)
// and the text "ATL 8.0 : HoVaneUpdateInstaller" in black, centred
// horizontally on the bounds' middle with its baseline on the vertical
// middle. The control has no other user interface of its own.
//
// Threading: GUI thread only.
#pragma once

#include <QSize>
#include <QString>
#include <QWidget>

#include <cstdint>

namespace hovane {

class CHoVaneUpdateInstallerView : public QWidget {
 public:
  // The text drawn in the middle.
  static QString Caption();

  // Sized from the control's default extent at the screen's resolution.
  explicit CHoVaneUpdateInstallerView(QWidget* parent = nullptr);

  // The size in pixels of an extent in units of 0.01 mm at dpi dots per
  // inch (5080 at 96 dpi: 192 pixels), rounded to the nearest pixel.
  static QSize SizeForExtent(std::int32_t cx, std::int32_t cy, double dpi);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace hovane
