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
            m_scaled = m_picture.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
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
