#pragma once
// Allocation of large 24-bit pictures.
#include <QImage>
#include <cstddef>

// A new Format_BGR888 picture with uninitialised pixels; big ones get memory
// that may be backed by huge pages. Null when the memory cannot be had.
QImage NewPicture24(int width, int height);

// The pixels of picture (Format_BGR888) on memory from NewPicture24, a large
// picture copied on two cores when the machine has them free; the resolution
// is the default. Null when the memory cannot be had or the picture is of
// another format.
QImage CopyPicture24(const QImage &picture);

// Uninitialised memory for pixels, huge-page backed when large; nullptr when
// it cannot be had. Release with FreeLarge.
void *AllocateLarge(size_t bytes);
void FreeLarge(void *memory);

// Freed large blocks kept for reuse; never more than 224 MB, and a block made
// afresh first gives back what would take the kept and the new past that.
size_t KeptLargeBytes();
