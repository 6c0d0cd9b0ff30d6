#include "common/bmp_file.h"

#include "common/io_vectors.h"

#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace {

// Rows per write call; two entries a row stay within the system's limit of 1024.
constexpr size_t kRowsPerCall = 500;

void put16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// Writes every byte of the entries, however the system splits them.
bool writeAll(int fd, std::vector<iovec> &iov)
{
    size_t first = 0;
    while (first < iov.size()) {
        const ssize_t n = ::writev(fd, iov.data() + first, int(std::min<size_t>(iov.size() - first, 1024)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        AdvanceIoVectors(iov, first, size_t(n));
    }
    return true;
}

} // namespace

uint64_t BmpFileBytes(uint64_t width, uint64_t height, int bitsPerPixel)
{
    const uint64_t row = ((width * uint64_t(bitsPerPixel) + 31) / 32) * 4;
    const uint64_t palette = bitsPerPixel <= 8 ? (uint64_t(1) << bitsPerPixel) * 4 : 0;
    return 14 + 40 + palette + row * height;
}

int BmpBits(const QImage &picture)
{
    switch (picture.format()) {
    case QImage::Format_Mono: return 1;
    case QImage::Format_Grayscale8: return 8;
    case QImage::Format_BGR888: return 24;
    default: return 0;
    }
}

bool WriteBmpTo(int fd, const QImage &picture, uint32_t pixelsPerMetreX, uint32_t pixelsPerMetreY)
{
    const int bits = BmpBits(picture);
    const uint64_t w = uint64_t(picture.width()), h = uint64_t(picture.height());
    const uint64_t fileBytes = BmpFileBytes(w, h, bits);
    if (bits == 0 || picture.isNull() || fileBytes > kMaxBmpFileBytes) {
        errno = EINVAL;
        return false;
    }
    const uint32_t colours = bits <= 8 ? (1u << bits) : 0;
    const uint32_t headerBytes = 14 + 40 + colours * 4;
    const size_t rowBytes = size_t(((w * bits + 31) / 32) * 4);

    std::vector<uint8_t> header(headerBytes, 0);
    uint8_t *p = header.data();
    p[0] = 'B';
    p[1] = 'M';
    put32(p + 2, uint32_t(fileBytes));
    put32(p + 10, headerBytes);
    put32(p + 14, 40);
    put32(p + 18, uint32_t(w));
    put32(p + 22, uint32_t(h));  // positive: rows bottom-up
    put16(p + 26, 1);
    put16(p + 28, uint16_t(bits));
    // The image size stays 0, as the image library leaves it for uncompressed rows.
    put32(p + 38, pixelsPerMetreX);
    put32(p + 42, pixelsPerMetreY);
    put32(p + 46, colours);
    for (uint32_t i = 0; i < colours; ++i) {
        const QRgb c = bits == 1 ? picture.color(int(i)) : qRgb(int(i), int(i), int(i));
        uint8_t *e = p + 54 + 4 * i;
        e[0] = uint8_t(qBlue(c));
        e[1] = uint8_t(qGreen(c));
        e[2] = uint8_t(qRed(c));
    }

    // Rows go out bottom-up straight from the picture, many per call, with
    // the padding from a zero block: no copy of the pixels is made.
    const size_t used = size_t((w * bits + 7) / 8);
    const size_t pad = rowBytes - used;
    static const uint8_t zeros[4] = {0, 0, 0, 0};
    std::vector<iovec> iov;
    iov.reserve(kRowsPerCall * 2 + 1);
    iov.push_back({header.data(), header.size()});
    for (int64_t y = int64_t(h) - 1; y >= 0;) {
        for (size_t n = 0; n < kRowsPerCall && y >= 0; ++n, --y) {
            iov.push_back({const_cast<uchar *>(picture.constScanLine(int(y))), used});
            if (pad)
                iov.push_back({const_cast<uint8_t *>(zeros), pad});
        }
        if (!writeAll(fd, iov))
            return false;
        iov.clear();
    }
    return true;
}
