#pragma once
// Reading JPEG files with libjpeg, for when the image library's pixels cannot
// be handed over.
#include <QImage>
#include <QString>

// A 24-bit picture of the file; null when it cannot be read or would be larger
// than maxBytes.
QImage ReadJpegFile(const QString &path, qint64 maxBytes);
