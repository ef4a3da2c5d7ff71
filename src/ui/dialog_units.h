// Dialog units to pixels for the install dialog's layouts (dialogs 105 and
// 106). The layouts are given in dialog units of their font; the 405 x 250
// pictures that fill dialog 105 (231 x 143 units) fix the base units at
// 7 x 14 pixels, so one unit is 7/4 pixel across and 14/8 pixel down.
#pragma once

#include <QRect>

namespace hovane::ui {

inline constexpr int kBaseUnitX = 7;
inline constexpr int kBaseUnitY = 14;

// units * numerator / denominator, rounded half away from zero as the
// dialog manager rounds.
constexpr int ScaleRounded(int units, int numerator, int denominator) {
  const long long product = static_cast<long long>(units) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : -((-product + half) / denominator));
}

constexpr int DialogUnitsToPixelsX(int units) { return ScaleRounded(units, kBaseUnitX, 4); }
constexpr int DialogUnitsToPixelsY(int units) { return ScaleRounded(units, kBaseUnitY, 8); }

// A layout rectangle (left, top, width, height in dialog units) in pixels.
constexpr QRect DialogRect(int left, int top, int width, int height) {
  return QRect(DialogUnitsToPixelsX(left), DialogUnitsToPixelsY(top), DialogUnitsToPixelsX(width),
               DialogUnitsToPixelsY(height));
}

}  // namespace hovane::ui
