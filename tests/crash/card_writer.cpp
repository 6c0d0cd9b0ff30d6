// Saves cards with both sides and a text file as the scan window's series does,
// endlessly, so a test can kill it at any moment:  card_writer FOLDER
// Each run first cleans what a killed run left half, then goes on after the last card.
#include "scanwindow/card_files.h"
#include "scanwindow/card_save.h"

#include <QGuiApplication>
#include <QDir>
#include <QPainter>
#include <QRegularExpression>

namespace {
QImage side(int n, QColor face)
{
    QImage img(600 + n % 7, 800, QImage::Format_BGR888);
    img.fill(QColor(240, 235, 220));
    QPainter p(&img);
    p.fillRect(40, 40, 300 + n % 50, 500, face);
    p.drawText(300, 700, QString::number(n));
    return img;
}

int lastCard(const QString &folder)
{
    int last = 0;
    const QRegularExpression joined("^kaart(\\d{3,})\\.JPG$");
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        if (const auto m = joined.match(name); m.hasMatch())
            last = std::max(last, m.captured(1).toInt());
    return last;
}
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    RemoveHalfSavedCards(folder);
    for (int i = lastCard(folder) + 1;; ++i) {
        CardSaveInput card;
        card.path = folder + QString("/kaart%1.JPG").arg(i, 3, 10, QChar('0'));
        card.front = side(i, QColor(120, 40, 40));
        card.back = side(i, QColor(40, 40, 120));
        card.joined = side(i, QColor(40, 120, 40));
        card.quality = 90;
        card.text = QString("kaart %1").arg(i);
        card.caption.text = card.text;
        SaveCardNow(card);
    }
}
