#pragma once
// The preview: the whole picture stretched over the control, proportions kept.
// Paints from a scaled copy kept for the current size, so a large scan is not
// rescaled on every paint.
#include <QImage>
#include <QWidget>

class PreviewImage : public QWidget {
    Q_OBJECT
public:
    explicit PreviewImage(QWidget *parent = nullptr);

    QImage &picture() { return m_picture; }
    const QImage &picture() const { return m_picture; }
    void setPicture(const QImage &picture);
    // Call after the picture was changed in place.
    void pictureChanged();

    // How many times the scaled copy was made (for checks of the cache).
    int scaleCount() const { return m_scaleCount; }

signals:
    void mouseDown(Qt::MouseButton button, int x, int y);
    void mouseMove(int x, int y);
    void mouseUp(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    const QImage &scaledForSize();

    QImage m_picture;
    QImage m_scaled;
    qint64 m_scaledKey = -1;
    QSize m_scaledFor;
    int m_scaleCount = 0;
};
