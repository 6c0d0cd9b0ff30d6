#pragma once
// The preview: the whole picture stretched over the control, proportions kept.
// Paints from a scaled copy kept for the current size, so a large scan is not
// rescaled on every paint.
#include <QImage>
#include "detection/scanbox.h"
#include "scanwindow/mouse_reporter.h"

#include <optional>

class PreviewImage : public MouseReporter {
    Q_OBJECT
public:
    explicit PreviewImage(QWidget *parent = nullptr);

    // With boxes pending, the boxes are drawn into the picture first.
    QImage &picture();
    const QImage &picture() const;
    void setPicture(const QImage &picture);
    // Shows clean with the numbered boxes of DrawNumberedBoxes over it: they are
    // painted over the scaled copy, and drawn into a copy of clean only once
    // someone asks for the picture, so a shown scan is neither copied nor scaled again.
    void setPictureWithBoxes(const QImage &clean, const ScanBoxList &boxes, int count, qint64 startNumber,
                             unsigned colour);
    // Call after the picture was changed in place.
    void pictureChanged();
    // Call after the picture whose cacheKey() was before was turned by quarters
    // clockwise, in place or replaced: the scaled copy made of it turns along,
    // so a half turn is shown without scaling the picture again.
    void pictureTurned(qint64 before, int quarters);

signals:
    // The picture was replaced or changed (a scan, an opened file, a turn).
    void replaced();

public:
    // How many times the scaled copy was made (for checks of the cache).
    int scaleCount() const { return m_scaleCount; }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    const QImage &scaledForSize();
    // Every n-th pixel of a large picture at about twice the size shown, kept
    // (and turned along) so that another size or a quarter turn need not read
    // the picture again.
    const QImage &thinnedForSize();

    struct Boxes {
        ScanBoxList boxes;
        int count;
        qint64 startNumber;
        unsigned colour;
    };
    void paintBoxes(QPainter &painter, QSize scaled) const;

    mutable QImage m_picture;
    mutable std::optional<Boxes> m_boxes;   // not yet drawn into m_picture
    QImage m_scaled;
    QImage m_thinned;
    qint64 m_thinnedKey = -1;
    int m_thinnedTurn = 0;   // quarters clockwise the picture turned since m_thinned was made
    qint64 m_scaledKey = -1;
    QSize m_scaledFor;
    int m_scaleCount = 0;
};
