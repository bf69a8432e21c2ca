#pragma once
// The pictures of the default skin: the left column's illustration of the two workflows
// and the two cards of the mode page. All on transparent backgrounds.

#include <QImage>

namespace skin {

// A film turning into music and a phone, and below it a download arrow.
QImage PaintLeftLogo();
// "download videos": a video screen with a download badge and a progress track.
QImage PaintDownloadCard();
// "convert files": a film frame, an arrow and a note.
QImage PaintConvertCard();

}  // namespace skin
