#include "ui/widget_support.h"

#include <QKeyEvent>

#include "platform/codepage/codepage.h"

namespace hovane::ui {

QString NarrowToDisplay(std::string_view narrow) {
  if (auto utf8 = platform::NarrowToUtf8(narrow)) {
    return QString::fromUtf8(utf8->data(), static_cast<qsizetype>(utf8->size()));
  }
  // Character by character, so that a bad byte costs one '?' and the bytes
  // after it still show.
  QString shown;
  for (std::size_t i = 0; i < narrow.size();) {
    if (platform::IsLeadByte(static_cast<unsigned char>(narrow[i])) && i + 1 < narrow.size()) {
      if (auto pair = platform::NarrowToUtf8(narrow.substr(i, 2))) {
        shown += QString::fromUtf8(pair->data(), static_cast<qsizetype>(pair->size()));
        i += 2;
        continue;
      }
    }
    auto single = platform::NarrowToUtf8(narrow.substr(i, 1));
    shown += single ? QString::fromUtf8(single->data(), static_cast<qsizetype>(single->size()))
                    : QStringLiteral("?");
    ++i;
  }
  return shown;
}

QStringList DialogFontFamilies() {
  return {QStringLiteral("NanumGothic"), QStringLiteral("NanumBarunGothic"),
          QStringLiteral("Noto Sans CJK KR"), QStringLiteral("Sans Serif")};
}

QFont DialogFont(int pixelHeight) {
  QFont font;
  font.setFamilies(DialogFontFamilies());
  font.setPixelSize(pixelHeight);
  return font;
}

bool SwallowDialogKey(QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
  switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_F12:
      // Accepting a shortcut check keeps the key from triggering a shortcut,
      // so it comes back as a key press, which is then swallowed too.
      event->accept();
      return true;
    default:
      return false;
  }
}

bool HasDisplay() {
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void UseOffscreenPlatformWithoutDisplay() {
  if (!HasDisplay() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

}  // namespace hovane::ui
