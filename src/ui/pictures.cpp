#include "ui/pictures.h"

#include <QFile>
#include <QString>

#include <mutex>

// The pictures live in a static library: referencing the resource's
// initialiser keeps the linker from dropping it, and registers it before the
// first look-up. Qt's macro must be used outside any namespace.
static void InitPictureResources() { Q_INIT_RESOURCE(pictures); }

namespace hovane::ui {
namespace {

void EnsureResources() {
  static std::once_flag once;
  std::call_once(once, InitPictureResources);
}

}  // namespace

QImage LoadPicture(int id) {
  EnsureResources();
  return QImage(QStringLiteral(":/pictures/%1.png").arg(id));
}

QIcon LoadIconPicture(int id) {
  EnsureResources();
  QIcon icon;
  // An icon is kept at each size it was drawn for, so that none is scaled.
  for (const char* size : {"-16", "", "-48"}) {
    const QString path = QStringLiteral(":/pictures/%1%2.png").arg(id).arg(QLatin1String(size));
    if (QFile::exists(path)) icon.addFile(path);
  }
  return icon;
}

}  // namespace hovane::ui
