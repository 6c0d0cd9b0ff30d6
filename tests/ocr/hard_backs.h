#pragma once
// Backs that are hard the way real ones are: serif fonts of several makers, a
// printed frame close to the text or a double one, cream and yellowed paper
// with specks, slight blur, 200 to 600 dpi, long names that come near the
// frame, lines in italics, numeric dates and the "*" and "†" signs. Each lies
// on white glass with a few millimetres around it, as the cut-out gives it.
#include "common/synthetic_scan.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QTransform>

#include <cstdint>
#include <random>
#include <vector>

struct HardBack {
    QString font;
    int frame = 0;          // 0 none, 1 one line close to the text, 2 a double frame
    bool yellowed = false;  // yellowed paper with specks, else cream
    int dpi = 300;
    bool italic = false;    // the dates in italics too
    bool numeric = false;   // dates as 4-5-1884
    bool blur = false;
    int turn = 0;           // quarter turns clockwise, as it lies on the glass
    QString name, born, died;   // what must be read: the name and both dates
    QStringList lines;
};

// The table: every font with every frame, paper and resolution somewhere in it.
inline std::vector<HardBack> HardBackTable(int count = 60)
{
    static const char *const kFonts[] = {"DejaVu Serif", "Nimbus Roman", "C059", "P052", "URW Bookman"};
    static const char *const kGiven[] = {"Wilhelmina Theodora", "Elisabeth", "Johannes Hendrikus", "Petronella Cornelia",
                                         "Bernardus", "Adriana Johanna"};
    static const char *const kSurnames[] = {"van den Hoogenband", "Berckmans", "Vermeulen", "Schellekens",
                                            "van der Heijden", "Berk", "Timmermans"};
    static const char *const kPlaces[] = {"Haarlem", "Tilburg", "Roermond", "Zevenbergen", "Oosterhout", "Gemert"};
    static const char *const kMonths[] = {"januari", "februari", "maart", "april", "mei", "juni", "juli",
                                          "augustus", "september", "oktober", "november", "december"};
    static const int kDpis[] = {200, 300, 400, 600};
    std::vector<HardBack> table;
    std::mt19937 r(24);
    for (int i = 0; i < count; ++i) {
        HardBack b;
        b.font = kFonts[i % 5];
        b.frame = i % 3;
        b.yellowed = (i / 3) % 2;
        b.dpi = kDpis[(i / 2) % 4];
        b.italic = i % 7 == 3;
        b.numeric = i % 4 == 1;
        b.blur = i % 5 == 2;
        b.name = QString::fromUtf8(kGiven[r() % 6]) + ' ' + QString::fromUtf8(kSurnames[r() % 7]);
        const int year = 1850 + int(r() % 70), day = 1 + int(r() % 28), month = int(r() % 12);
        const int year2 = year + 20 + int(r() % 70), day2 = 1 + int(r() % 28), month2 = int(r() % 12);
        if (b.numeric) {
            b.born = QStringLiteral("%1-%2-%3").arg(day).arg(month + 1).arg(year);
            b.died = QStringLiteral("%1-%2-%3").arg(day2).arg(month2 + 1).arg(year2);
        } else {
            b.born = QStringLiteral("%1 %2 %3").arg(day).arg(kMonths[month]).arg(year);
            b.died = QStringLiteral("%1 %2 %3").arg(day2).arg(kMonths[month2]).arg(year2);
        }
        b.lines = {QStringLiteral("Bid voor de ziel van"), b.name,
                   QStringLiteral("* %1, %2.").arg(kPlaces[r() % 6], b.born),
                   QString::fromUtf8("† %1, %2.").arg(kPlaces[r() % 6], b.died),
                   QStringLiteral("Zalig de barmhartigen,"), QStringLiteral("want zij zullen barmhartigheid"),
                   QStringLiteral("verkrijgen.")};
        table.push_back(b);
    }
    return table;
}

inline QImage RenderHardBack(const HardBack &b)
{
    const double u = b.dpi / 25.4;   // pixels per millimetre
    const int w = int(62 * u), h = int(100 * u), margin = int(4 * u);
    QImage card(w, h, QImage::Format_RGB32);
    card.fill(b.yellowed ? QColor(226, 208, 164) : QColor(242, 235, 214));
    QPainter p(&card);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QColor ink(38, 32, 28);
    // The text lies 1 mm inside the frame; the name fills the width between.
    const double edge = b.frame == 2 ? 4.0 : 3.0;
    const QRectF text(edge * u + 1.0 * u, 12 * u, w - 2 * (edge + 1.0) * u, h - 26 * u);
    p.setBrush(Qt::NoBrush);
    if (b.frame >= 1) {
        p.setPen(QPen(ink, 0.35 * u));
        p.drawRect(text.adjusted(-1.0 * u, -8 * u, 1.0 * u, 10 * u));
    }
    if (b.frame == 2) {
        p.setPen(QPen(ink, 0.7 * u));
        p.drawRect(text.adjusted(-2.0 * u, -9 * u, 2.0 * u, 11 * u));
    }
    p.setPen(ink);
    const double step = text.height() / b.lines.size();
    for (int i = 0; i < b.lines.size(); ++i) {
        QFont font(b.font);
        font.setPixelSize(int(3.1 * u));
        font.setItalic(i == 0 || i >= 4 || (b.italic && (i == 2 || i == 3)));
        font.setBold(i == 1);
        const double width = QFontMetricsF(font).horizontalAdvance(b.lines[i]);
        // A name is set as large as the frame allows; other lines only shrink.
        if (width > text.width() || i == 1)
            font.setPixelSize(int(font.pixelSize() * text.width() / width));
        p.setFont(font);
        p.drawText(QRectF(text.left(), text.top() + i * step, text.width(), step), Qt::AlignCenter, b.lines[i]);
    }
    p.end();
    if (b.blur)
        card = card.scaled(w * 2 / 3, h * 2 / 3, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                   .scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage scan = card.convertToFormat(QImage::Format_BGR888);
    if (b.yellowed) {
        AddNoise(scan, scan.rect(), 10, uint32_t(b.dpi + w), 250);
        std::mt19937 r(uint32_t(w * 7 + h));
        QPainter s(&scan);
        s.setRenderHint(QPainter::Antialiasing);
        s.setPen(Qt::NoPen);
        s.setBrush(QColor(120, 100, 70));
        for (int i = 0; i < 60; ++i)
            s.drawEllipse(QPointF(r() % unsigned(w), r() % unsigned(h)), 0.12 * u, 0.12 * u);
    }
    QImage glass(w + 2 * margin, h + 2 * margin, QImage::Format_BGR888);
    glass.fill(QColor(250, 250, 250));
    QPainter(&glass).drawImage(margin, margin, scan);
    glass.setDotsPerMeterX(int(b.dpi / 0.0254 + 0.5));
    glass.setDotsPerMeterY(int(b.dpi / 0.0254 + 0.5));
    return b.turn ? glass.transformed(QTransform().rotate(90 * b.turn)) : glass;
}

// The name and both dates as printed, each found in what was read.
inline bool ReadRight(const HardBack &b, const QString &read)
{
    return read.contains(b.name) && read.contains(b.born) && read.contains(b.died);
}
