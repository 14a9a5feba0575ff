// Turning the library's pictures into Qt's: embedded resources, decoded
// pictures and image-list entries with their transparent colour.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>

#include "kwinet/core/ComCtrls.h"
#include "kwinet/core/Picture.h"

namespace kwinet::qt {

inline QString ToQString(const String& s) {
  return QString::fromStdU16String(s);
}
inline String FromQString(const QString& s) {
  return s.toStdU16String();
}

// The embedded resource of that file name, or else a picture file of that
// path; a null image when neither can be read.
QImage ResourceImage(const String& Name);
// A copy of a decoded picture's pixels; a null image for an empty picture.
QImage PictureImage(const TPicture& Picture);
// What an image control shows: its decoded picture when it has one, else
// the resource its Picture() names.
QImage ImageOf(const TImage& Image);
// Entry Index of the list, with its mask colour made transparent; a null
// pixmap for an index out of range.
QPixmap ImageListPixmap(const TImageList& List, int Index);

}  // namespace kwinet::qt
