// Writes seed pictures for the picture-loading fuzzer with the program's own saver.
#include "imaging/picture_file.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QString dir = QString::fromLocal8Bit(argv[1]);
    QImage img(13, 7, QImage::Format_BGR888);
    img.fill(Qt::white);
    QPainter p(&img);
    p.fillRect(2, 1, 6, 4, QColor(200, 30, 60));
    p.end();
    int failures = 0;
    for (const char *ext : {"bmp", "jpg", "tif", "gif"})
        if (SavePictureFile(img, dir + "/seed." + ext, 80, 300) < 0)
            ++failures;
    return failures ? 1 : 0;
}
