#include "ui/qt_message_boxes.h"

#include <QApplication>
#include <QMessageBox>

#include "ui/gui_thread.h"
#include "ui/widget_support.h"

namespace hovane::ui {
namespace {

using platform::MessageBoxButtons;
using platform::MessageBoxIcon;
using platform::MessageBoxResult;

QMessageBox::Icon QtIcon(MessageBoxIcon icon) {
  switch (icon) {
    case MessageBoxIcon::Error:
      return QMessageBox::Critical;
    case MessageBoxIcon::Warning:
      return QMessageBox::Warning;
    case MessageBoxIcon::Question:
      return QMessageBox::Question;
    case MessageBoxIcon::Information:
      return QMessageBox::Information;
    case MessageBoxIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

// The owner is a number handed across threads and modules; it is taken for
// a widget only when a live widget has that address.
QWidget* FindOwner(std::uintptr_t owner) {
  if (owner == 0) return nullptr;
  const auto widgets = QApplication::allWidgets();
  for (QWidget* widget : widgets) {
    if (reinterpret_cast<std::uintptr_t>(widget) == owner) return widget->window();
  }
  return nullptr;
}

MessageBoxResult ShowOnGuiThread(const platform::MessageBoxRequest& request) {
  const bool question = request.buttons == MessageBoxButtons::YesNo;
  QMessageBox box(
      QtIcon(request.icon), NarrowToDisplay(request.caption), NarrowToDisplay(request.text),
      question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, FindOwner(request.owner));
  // Texts may carry names that came from a server; they are never markup.
  box.setTextFormat(Qt::PlainText);
  box.setFont(DialogFont());
  box.exec();
  if (!question) return MessageBoxResult::Ok;
  return box.clickedButton() == box.button(QMessageBox::Yes) ? MessageBoxResult::Yes
                                                             : MessageBoxResult::No;
}

}  // namespace

MessageBoxResult QtMessageBoxes::Show(const platform::MessageBoxRequest& request) {
  QCoreApplication* application = QCoreApplication::instance();
  if (qobject_cast<QApplication*>(application) == nullptr) {
    static platform::ConsoleMessageBoxes console;
    return console.Show(request);
  }
  const MessageBoxResult answer =
      RunOnThreadOf(application, [&request] { return ShowOnGuiThread(request); });
  // A box that never got shown, because the application went away first,
  // counts as closed without an answer.
  if (answer != MessageBoxResult::Ok && answer != MessageBoxResult::Yes) {
    return request.buttons == MessageBoxButtons::YesNo ? MessageBoxResult::No
                                                       : MessageBoxResult::Ok;
  }
  return answer;
}

}  // namespace hovane::ui
