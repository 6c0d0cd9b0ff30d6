#include "scanwindow/preview_image.h"

#include <QPainter>

PreviewImage::PreviewImage(QWidget *parent) : MouseReporter(parent)
{
    setMouseTracking(true);
}

void PreviewImage::setPicture(const QImage &picture)
{
    m_picture = picture;
    pictureChanged();
}

void PreviewImage::pictureChanged()
{
    m_scaled = QImage();
    m_scaledKey = -1;
    update();
    emit replaced();
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
            const QImage *from = &m_picture;
            QImage thinned;
            if (m_picture.width() > 4 * width() && m_picture.height() > 4 * height()) {
                thinned = m_picture.scaled(size() * 2, Qt::KeepAspectRatio, Qt::FastTransformation);
                from = &thinned;
            }
            m_scaled = from->scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
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
}
