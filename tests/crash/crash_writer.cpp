// Writes files the way the program does, endlessly, so a test can kill it at
// any moment:  crash_writer series FOLDER   |   crash_writer settings FILE
#include "settings_variants.h"
#include "imaging/picture_file.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

namespace {
QImage card(int n)
{
    QImage img(900 + n % 7, 600, QImage::Format_BGR888);
    img.fill(QColor(240, 235, 220));
    QPainter p(&img);
    p.fillRect(40, 40, 300 + n % 50, 200, QColor(30 + n % 200, 60, 90));
    p.drawText(500, 300, QString::number(n));
    return img;
}
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3)
        return 2;
    QString mode = argv[1], where = QString::fromLocal8Bit(argv[2]);
    if (mode == "settings") {
        for (int i = 0;; ++i)
            SettingsVariant(i % 2).saveToFile(where);
    }
    // A series: new numbers, and now and then an existing file overwritten.
    for (int i = 0;; ++i) {
        int number = (i % 5 == 4) ? i / 2 : i;
        QString path = QDir(where).filePath(QString("document%1.JPG").arg(number, 3, 10, QChar('0')));
        SavePictureFile(card(i), path, 90, 300);
    }
}
