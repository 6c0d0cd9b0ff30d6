#include "imaging/unreadable_files.h"
#include "imaging/picture_file.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <vector>

namespace {

struct UnreadableFile {
    QString path;
    qint64 size = -1;
    QDateTime modified;
};

std::vector<UnreadableFile> &List()
{
    static std::vector<UnreadableFile> list;
    return list;
}

UnreadableFile Describe(const QString &path)
{
    const QFileInfo info(path);
    return UnreadableFile{path, info.exists() ? info.size() : -1,
                          info.exists() ? info.lastModified() : QDateTime()};
}

QImage MakePlaceholder()
{
    const QString text = QStringLiteral("onleesbaar bitmapbestand");
    QFont font;
    font.setPointSize(15);
    const int width = QFontMetrics(font).horizontalAdvance(text) + 10;
    QImage canvas(width, 40, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QRect(5, 10, width, 40), Qt::AlignLeft | Qt::AlignTop, text);
    }
    return canvas.convertToFormat(QImage::Format_BGR888);
}
}

bool IsKnownUnreadable(const QString &rawPath)
{
    const QString path = rawPath.trimmed();
    for (const UnreadableFile &f : List()) {
        if (f.path != path)   // file names are case-sensitive here
            continue;
        // preview.bmp is rewritten by every scan: a file that changed since is
        // a new file and gets a new chance. Only its directory entry is looked at.
        const UnreadableFile now = Describe(f.path);
        return now.size == f.size && now.modified == f.modified;
    }
    return false;
}

void RememberUnreadable(const QString &path)
{
    for (UnreadableFile &f : List()) {
        if (f.path == path) {
            f = Describe(path);
            return;
        }
    }
    List().push_back(Describe(path));
}

QImage UnreadablePlaceholder()
{
    static const QImage placeholder = MakePlaceholder();
    return placeholder;
}
