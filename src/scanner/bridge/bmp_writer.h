#pragma once
// Writing a picture as a BMP file: 24-bit colour, 8-bit grey with a grey
// palette, or 1-bit with a two-colour palette.
#include <QImage>
#include <QString>

// Writes `image` to `path` through a temporary file beside it that replaces
// `path` only when every byte was written. Returns an error text, empty on success.
QString WriteBmp(const QImage &image, double dpi, const QString &path);
