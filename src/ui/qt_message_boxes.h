// Message boxes on Qt: the message-box service of a process whose GUI runs
// on Qt. Install it with platform::SetMessageBoxService once the
// QApplication exists.
//
// A box shows the request's caption and text (narrow text, converted for
// display; shown as plain text, never as markup), its icon (error, question,
// warning, information or none; the system's stop icon is its error icon)
// and OK or Yes/No. It is modal and, when the request's owner names a live
// widget (the value of its QWidget address, as CFileDnDialog gives it), it
// is shown over that widget's window. A Yes/No box closed without an answer
// (Escape) answers No.
//
// Threading: Show may be called from any thread. The box is shown on the
// GUI thread while the caller waits; called on the GUI thread, it runs its
// own modal loop. Without a QApplication the console service answers.
#pragma once

#include "platform/msgbox/message_box.h"

namespace hovane::ui {

class QtMessageBoxes : public platform::MessageBoxService {
 public:
  platform::MessageBoxResult Show(const platform::MessageBoxRequest& request) override;
};

}  // namespace hovane::ui
