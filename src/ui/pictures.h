// The install dialog's pictures and icon, compiled into the binary and
// looked up by the numbers that the dialog layouts and the skins use.
//
// Threading: any thread (QImage only; QIcon on the GUI thread).
#pragma once

#include <QIcon>
#include <QImage>

namespace hovane::ui {

// Backgrounds, 405 x 250.
inline constexpr int kPictureStarting = 219;
inline constexpr int kPictureInProgress = 215;
inline constexpr int kPictureCompleted = 214;
inline constexpr int kPictureNotCompleted = 212;
// Button faces, 75 x 24: normal, down, over. First set of the confirm
// button (설치), its second set (확인), the cancel button (확인).
inline constexpr int kPictureInstallNormal = 216;
inline constexpr int kPictureInstallDown = 218;
inline constexpr int kPictureInstallOver = 217;
inline constexpr int kPictureConfirmOkNormal = 208;
inline constexpr int kPictureConfirmOkDown = 211;
inline constexpr int kPictureConfirmOkOver = 209;
inline constexpr int kPictureCancelOkNormal = 205;
inline constexpr int kPictureCancelOkDown = 207;
inline constexpr int kPictureCancelOkOver = 206;
// Mask of the confirm button, 75 x 24, all black.
inline constexpr int kPictureConfirmMask = 204;
// The dialog's icon and the control's toolbox picture (16 x 15).
inline constexpr int kIconInstall = 220;
inline constexpr int kPictureToolbox = 103;

// The picture with this number; a null image when there is none.
QImage LoadPicture(int id);

// The icon with this number, with every size it is drawn in; a null icon
// when there is none.
QIcon LoadIconPicture(int id);

}  // namespace hovane::ui
