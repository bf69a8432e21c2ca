#pragma once
// An icon file holding several sizes of one picture. Qt's ICO writer stores one image per
// file; the images it writes are gathered into a single directory here.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

namespace skin {

// Returns the bytes of the icon file, or an empty array with the reason in *error.
QByteArray EncodeMultiSizeIco(const QList<QImage>& images, QString* error);

}  // namespace skin
