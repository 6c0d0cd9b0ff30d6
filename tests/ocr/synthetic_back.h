#pragma once
// A memorial card's back as a scanner gives it: centred serif lines on paper,
// optionally a printed frame, lying on glass with a margin around it.
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QStringList>

struct SyntheticBack {
    QStringList lines;
    int dpi = 300;
    QColor paper = QColor(236, 230, 214), glass = Qt::white;
    bool frame = false;   // a black line 2 mm inside the card's edge
};

inline QImage RenderBack(const SyntheticBack &b)
{
    const double mm = b.dpi / 25.4;
    const int margin = int(4 * mm), w = int(56 * mm), h = int(95 * mm);
    QImage page(w + 2 * margin, h + 2 * margin, QImage::Format_BGR888);
    page.fill(b.glass);
    QPainter p(&page);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF card(margin, margin, w, h);
    p.fillRect(card, b.paper);
    if (b.frame) {
        p.setPen(QPen(Qt::black, 0.6 * mm));
        p.drawRect(card.adjusted(2 * mm, 2 * mm, -2 * mm, -2 * mm));
    }
    const QRectF area = card.adjusted(6 * mm, 12 * mm, -6 * mm, -10 * mm);
    const double step = area.height() / b.lines.size();
    p.setPen(QColor(40, 36, 32));
    for (int i = 0; i < b.lines.size(); ++i) {
        QFont font(QStringLiteral("DejaVu Serif"));
        font.setPixelSize(int(3.0 * mm));
        const double width = QFontMetricsF(font).horizontalAdvance(b.lines[i]);
        if (width > area.width())
            font.setPixelSize(int(font.pixelSize() * area.width() / width));
        p.setFont(font);
        p.drawText(QRectF(area.left(), area.top() + i * step, area.width(), step), Qt::AlignCenter, b.lines[i]);
    }
    p.end();
    return page;
}
