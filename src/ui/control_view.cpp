#include "ui/control_view.h"

#include <QPainter>
#include <QPen>

#include <cmath>

namespace hovane {
namespace {

// The control's default extent, "_cx" and "_cy", in units of 0.01 mm.
constexpr std::int32_t kDefaultExtent = 5080;
constexpr double kExtentUnitsPerInch = 2540.0;

}  // namespace

QString CHoVaneUpdateInstallerView::Caption() {
  return QStringLiteral("ATL 8.0 : HoVaneUpdateInstaller");
}

CHoVaneUpdateInstallerView::CHoVaneUpdateInstallerView(QWidget* parent) : QWidget(parent) {
  resize(sizeHint());
}

QSize CHoVaneUpdateInstallerView::SizeForExtent(std::int32_t cx, std::int32_t cy, double dpi) {
  auto pixels = [dpi](std::int32_t extent) {
    return static_cast<int>(std::lround(extent * dpi / kExtentUnitsPerInch));
  };
  return QSize(pixels(cx), pixels(cy));
}

QSize CHoVaneUpdateInstallerView::sizeHint() const {
  return SizeForExtent(kDefaultExtent, kDefaultExtent, logicalDpiX());
}

void CHoVaneUpdateInstallerView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // The outline lies on the bounds' outermost pixels, as a rectangle drawn
  // over the bounds with a one-pixel pen covers them.
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::white);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  const QString caption = Caption();
  const int textWidth = painter.fontMetrics().horizontalAdvance(caption);
  // drawText's point is the left end of the baseline.
  painter.drawText(QPoint(width() / 2 - textWidth / 2, height() / 2), caption);
}

}  // namespace hovane
