#pragma once
// Where the default skin's pieces sit in the 772 x 560 window. The program places the
// images at these positions (layout 0); the background is drawn so that they blend in.

#include <QPoint>
#include <QRect>
#include <QSize>

namespace skin {

constexpr int kWindowWidth = 772;
constexpr int kWindowHeight = 560;
constexpr int kCornerRadius = 10;

constexpr int kHeaderHeight = 36;
// The title line (24, 43) spans more than the left column is wide, so the column starts
// below it and the title sits on one plain background.
constexpr int kColumnTop = 68;
constexpr int kColumnHairlineX = 195;
constexpr int kBottomBarTop = 500;

inline const QRect kPageArea(203, 74, 553, 426);  // 203,74 .. 756,500

inline const QPoint kMinButtonPos(696, 4);
inline const QPoint kCloseButtonPos(728, 4);
inline const QSize kChromeButtonSize(28, 24);
inline const QSize kBottomButtonSize(90, 32);

inline const QSize kTopLogoSize(320, 36);
inline const QPoint kLeftLogoPos(12, 74);
inline const QSize kLeftLogoSize(180, 420);
inline const QSize kModeCardSize(240, 160);

}  // namespace skin
