#pragma once
// The one palette of the default look: the skin drawing, the format buttons and every
// widget the program draws itself take their colours from here. Header only, no Qt,
// so that the build-time skin painter can use it too. Colours are 0xRRGGBB.

#include <cstdint>

namespace palette {

constexpr uint32_t kWindow = 0xF4F6FA;        // page background
constexpr uint32_t kPanel = 0xFFFFFF;         // cards, lists, edit boxes
constexpr uint32_t kBorder = 0xD5DBE5;        // hairlines and frames
constexpr uint32_t kHeaderDark = 0x17324F;    // title band and left band, dark end
constexpr uint32_t kHeaderLight = 0x23507F;   // title band and left band, light end
constexpr uint32_t kAccent = 0x2D6CDF;        // buttons, current choice
constexpr uint32_t kAccentHover = 0x4A86F0;   // mouse over
constexpr uint32_t kAccentPressed = 0x1F54B8; // pressed
constexpr uint32_t kDisabledFill = 0xC9D1DE;  // a disabled button
constexpr uint32_t kDisabledText = 0x7A8598;
constexpr uint32_t kText = 0x1E2430;          // body text
constexpr uint32_t kTextSecondary = 0x5B6475; // captions, hints
constexpr uint32_t kTextOnAccent = 0xFFFFFF;
constexpr uint32_t kGrey = 0x808080;          // version and more-tools labels (skins 0, 2)
constexpr uint32_t kSuccess = 0x2E9D5B;
constexpr uint32_t kFailure = 0xD1453B;
constexpr uint32_t kTransparent = 0xFF00FF;   // magenta: outside the shaped window

}  // namespace palette
