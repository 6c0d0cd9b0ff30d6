#pragma once
// Allocation of large 24-bit pictures.
#include <QImage>

// A new Format_BGR888 picture with uninitialised pixels; big ones get memory
// that may be backed by huge pages. Null when the memory cannot be had.
QImage NewPicture24(int width, int height);
