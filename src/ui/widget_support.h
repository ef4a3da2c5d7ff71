// Small pieces shared by the install dialog's widgets: narrow text for
// display, the dialogs' font, and the key filter of the skinned controls.
//
// Threading: NarrowToDisplay any thread; the rest on the GUI thread.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

#include <string_view>

class QEvent;

namespace hovane::ui {

// Narrow text (system code page) as Qt text. A byte sequence that is not
// valid in the code page shows as '?' instead of hiding the whole text.
QString NarrowToDisplay(std::string_view narrow);

// The faces the dialogs draw Korean text in, best first; the layouts name
// the platform's default dialog face, which on Linux is the first of these
// that fontconfig has, Hangul included.
QStringList DialogFontFamilies();

// A font of the dialog faces, pixelHeight pixels high. The layouts' 9-point
// font is 12 pixels at the 96 dpi that the pictures are drawn for.
QFont DialogFont(int pixelHeight = 12);

// The key filter of the skinned controls. True (and the event accepted) for
// a key press or shortcut check of Enter, Return, Escape or F12: the control
// swallows the key, so pressing it on the control neither confirms nor
// cancels the dialog. False for every other event.
bool SwallowDialogKey(QEvent* event);

// Whether the process has a display to show windows on (an X or Wayland
// session). Without one, programs run Qt on its offscreen platform.
bool HasDisplay();
// Before the QApplication exists: chooses the offscreen platform when there
// is no display and no platform was asked for.
void UseOffscreenPlatformWithoutDisplay();

}  // namespace hovane::ui
