#include "scanwindow/preview_image.h"

#include "detection/box_drawing.h"

#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <utility>
#include <vector>

namespace {
// Every n-th pixel of a 24-bit picture into a 32-bit one of size: the smoothing
// that follows then reads a few times the pixels shown, in the format it works
// in, and the rows skipped are never read.
QImage Thinned(const QImage &picture, QSize size)
{
    QImage out(size, QImage::Format_RGB32);
    if (out.isNull())
        return out;
    const int w = picture.width(), h = picture.height();
    std::vector<int> columns(size_t(size.width()));
    for (int x = 0; x < size.width(); ++x)
        columns[size_t(x)] = int(qint64(x) * w / size.width()) * 3;
    for (int y = 0; y < size.height(); ++y) {
        const uchar *from = picture.constScanLine(int(qint64(y) * h / size.height()));
        auto *to = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const uchar *p = from + columns[size_t(x)];
            to[x] = qRgb(p[2], p[1], p[0]);
        }
    }
    return out;
}
}

PreviewImage::PreviewImage(QWidget *parent) : MouseReporter(parent)
{
    setMouseTracking(true);
}

QImage &PreviewImage::picture()
{
    return const_cast<QImage &>(std::as_const(*this).picture());
}

const QImage &PreviewImage::picture() const
{
    if (m_boxes) {
        m_picture = PreviewWithBoxes(m_picture, m_boxes->boxes, m_boxes->count, m_boxes->startNumber, m_boxes->colour);
        m_boxes.reset();
    }
    return m_picture;
}

void PreviewImage::setPicture(const QImage &picture)
{
    m_picture = picture;
    m_boxes.reset();
    // A picture scaled before (the scan shown again after its boxes) keeps its scaled copy.
    if (picture.isNull() || picture.cacheKey() != m_scaledKey) {
        pictureChanged();
        return;
    }
    update();
    emit replaced();
}

void PreviewImage::setPictureWithBoxes(const QImage &clean, const ScanBoxList &boxes, int count, qint64 startNumber,
                                       unsigned colour)
{
    setPicture(clean);
    count = std::clamp(count, 0, int(boxes.size()));
    if (count > 0 && !clean.isNull())
        m_boxes = Boxes{boxes, count, startNumber, colour};
}

void PreviewImage::paintBoxes(QPainter &painter, QSize scaled) const
{
    // Drawn as on the picture itself, scaled down with it.
    painter.scale(double(scaled.width()) / m_picture.width(), double(scaled.height()) / m_picture.height());
    const unsigned c = m_boxes->colour;
    const QColor colour(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
    const QRect inside = m_picture.rect();
    for (int k = 0; k < m_boxes->count; ++k)
        for (const QRect &band : OutlineBands(m_boxes->boxes[size_t(k)], OutlinePenWidth(m_picture.width())))
            painter.fillRect(band & inside, colour);
    painter.setFont(QFont());
    DrawBoxNumbers(painter, m_boxes->boxes, m_boxes->count, m_boxes->startNumber, c);
}

void PreviewImage::pictureTurned(qint64 before, int quarters)
{
    const bool turnAlong = !m_scaled.isNull() && m_scaledKey == before;
    const QImage scaled = turnAlong ? m_scaled.transformed(QTransform().rotate(90.0 * quarters)) : QImage();
    const QSize scaledFor = quarters % 2 ? m_scaledFor.transposed() : m_scaledFor;
    // The thinned copy is turned only if a new size needs it.
    QImage thinned = m_thinnedKey == before ? m_thinned : QImage();
    const int thinnedTurn = (m_thinnedTurn + quarters) % 4;
    pictureChanged();
    if (turnAlong) {
        m_scaled = scaled;
        m_scaledKey = m_picture.cacheKey();
        m_scaledFor = scaledFor;
    }
    if (!thinned.isNull()) {
        m_thinned = thinned;
        m_thinnedKey = m_picture.cacheKey();
        m_thinnedTurn = thinnedTurn;
    }
}

void PreviewImage::pictureChanged()
{
    m_scaled = m_thinned = QImage();
    m_scaledKey = m_thinnedKey = -1;
    m_thinnedTurn = 0;
    update();
    emit replaced();
}

const QImage &PreviewImage::thinnedForSize()
{
    if (m_thinnedKey == m_picture.cacheKey() && m_thinnedTurn != 0) {
        m_thinned = m_thinned.transformed(QTransform().rotate(90.0 * m_thinnedTurn));
        m_thinnedTurn = 0;
    }
    // Made afresh unless it holds a third more pixels than shown each way: a
    // turned one mostly does, and smooths as well.
    if (m_thinnedKey != m_picture.cacheKey() || 3 * m_thinned.width() < 4 * width()
        || 3 * m_thinned.height() < 4 * height()) {
        const QSize twice = m_picture.size().scaled(size() * 2, Qt::KeepAspectRatio);
        m_thinned = m_picture.format() == QImage::Format_BGR888
                        ? Thinned(m_picture, twice)
                        : m_picture.scaled(twice, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        m_thinnedKey = m_picture.cacheKey();
    }
    return m_thinned;
}

const QImage &PreviewImage::scaledForSize()
{
    // cacheKey changes whenever the pixels are written, so edits made through
    // picture() without pictureChanged() are still noticed.
    if (m_scaledKey != m_picture.cacheKey() || m_scaledFor != size()) {
        m_scaledKey = m_picture.cacheKey();
        m_scaledFor = size();
        m_scaled = QImage();
        if (!m_picture.isNull() && width() > 0 && height() > 0) {
            // A picture many times the control is first thinned out, so that the
            // smoothing works on a few times the pixels shown, not on all of them.
            const bool thin = m_picture.width() > 4 * width() && m_picture.height() > 4 * height();
            m_scaled = (thin ? thinnedForSize() : m_picture).scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
            ++m_scaleCount;
        }
    }
    return m_scaled;
}

void PreviewImage::paintEvent(QPaintEvent *)
{
    const QImage &img = scaledForSize();
    if (img.isNull())
        return;
    QPainter p(this);
    p.drawImage(0, 0, img);
    if (m_boxes && !m_picture.isNull())
        paintBoxes(p, img.size());
}
