// Quarter and half turns of 24-bit pictures.
#include "imaging/picture.h"
#include "imaging/picture_buffer.h"
#include "imaging/picture_file.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kTile = 32;

inline void Copy3(uchar *d, const uchar *s)
{
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
}

// Copies 4 bytes; the 4th lands on the next pixel, which is written after it.
inline void Copy4(uchar *d, const uchar *s)
{
    uint32_t v;
    std::memcpy(&v, s, 4);
    std::memcpy(d, &v, 4);
}

// dst(r, c) = src(x = sourceX(r), y = sourceY(c)), walked in square tiles so
// the source rows of a tile stay in cache.
template <bool Right>
void QuarterTurn(const QImage &src, QImage &dst)
{
    const int W = src.width();
    const int H = src.height();
    std::vector<const uchar *> rows(static_cast<size_t>(H));
    for (int y = 0; y < H; ++y)
        rows[size_t(y)] = src.constScanLine(Right ? H - 1 - y : y);   // indexed by result column
    uchar *const dstBits = dst.bits();
    const qsizetype dstStride = dst.bytesPerLine();
    for (int r0 = 0; r0 < W; r0 += kTile) {
        const int r1 = std::min(W, r0 + kTile);
        for (int c0 = 0; c0 < H; c0 += kTile) {
            const int c1 = std::min(H, c0 + kTile);
            for (int r = r0; r < r1; ++r) {
                const int x = Right ? r : W - 1 - r;
                const size_t sx = size_t(x) * 3;
                uchar *d = dstBits + r * dstStride + size_t(c0) * 3;
                // The source's last pixel may end its buffer: read exactly 3 bytes there.
                if (x < W - 1) {
                    int c = c0;
                    for (; c < c1 - 1; ++c, d += 3)
                        Copy4(d, rows[size_t(c)] + sx);
                    Copy3(d, rows[size_t(c)] + sx);
                } else {
                    for (int c = c0; c < c1; ++c, d += 3)
                        Copy3(d, rows[size_t(c)] + sx);
                }
            }
        }
    }
}

// Writes row src reversed pixel by pixel into dst (distinct memory). The two
// end pixels move 3 bytes so neither row is read or written past its end.
void ReverseRow(uchar *dst, const uchar *src, int width)
{
    const uchar *s = src + size_t(width - 1) * 3;
    Copy3(dst, s);
    if (width == 1)
        return;
    dst += 3;
    s -= 3;
    for (int x = 1; x < width - 1; ++x, s -= 3, dst += 3)
        Copy4(dst, s);
    Copy3(dst, s);
}

void TakeResolutionTurned(QImage &result, const QImage &source)
{
    result.setDotsPerMeterX(source.dotsPerMeterY());
    result.setDotsPerMeterY(source.dotsPerMeterX());
}

template <bool Right>
void RotateQuarter(QImage &picture)
{
    if (picture.isNull())
        return;
    if (picture.format() != QImage::Format_BGR888)
        MakeBitmap24(picture);
    QImage turned = NewPicture24(picture.height(), picture.width());
    if (turned.isNull())
        return;
    QuarterTurn<Right>(picture, turned);
    TakeResolutionTurned(turned, picture);
    picture = turned;
}
}

void RotateQuarterLeft(QImage &picture) { RotateQuarter<false>(picture); }

void RotateQuarterRight(QImage &picture) { RotateQuarter<true>(picture); }

void RotateHalf(QImage &picture)
{
    if (picture.isNull())
        return;
    if (picture.format() != QImage::Format_BGR888)
        MakeBitmap24(picture);
    const int W = picture.width();
    const int H = picture.height();
    if (!picture.isDetached()) {
        // Shared pixels: write the turned rows straight into a new picture
        // rather than copying first and turning the copy.
        QImage turned = NewPicture24(W, H);
        if (turned.isNull())
            return;
        for (int y = 0; y < H; ++y)
            ReverseRow(turned.scanLine(H - 1 - y), picture.constScanLine(y), W);
        turned.setDotsPerMeterX(picture.dotsPerMeterX());
        turned.setDotsPerMeterY(picture.dotsPerMeterY());
        picture = turned;
        return;
    }
    // Sole owner: swap rows from both ends, reversing each, through one spare row.
    const size_t rowBytes = size_t(W) * 3;
    std::vector<uchar> spare(rowBytes);
    for (int top = 0, bottom = H - 1; top <= bottom; ++top, --bottom) {
        uchar *a = picture.scanLine(top);
        uchar *b = picture.scanLine(bottom);
        std::memcpy(spare.data(), a, rowBytes);
        if (top != bottom)
            ReverseRow(a, b, W);
        ReverseRow(b, spare.data(), W);
    }
}
