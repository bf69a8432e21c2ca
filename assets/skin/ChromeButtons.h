#pragma once
// The window's image buttons: minimise and close in the header band, and the background of
// the five wizard buttons on the bottom bar (the program draws their captions).

#include <QImage>

namespace skin {

enum class ButtonState { kNormal, kHover, kPressed, kDisabled };

// face: the window face (PaintWindowFace); the button copies its own spot from it.
QImage PaintMinButton(const QImage& face, ButtonState state);
QImage PaintCloseButton(const QImage& face, ButtonState state);
QImage PaintBottomButton(ButtonState state);

}  // namespace skin
