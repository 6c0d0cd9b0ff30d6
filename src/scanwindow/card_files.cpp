#include "scanwindow/card_files.h"

#include "detection/cut_out.h"
#include "imaging/picture_file.h"

#include "common/filez.h"

// A dot in a folder name is no extension, so a picture without one gets
// ".txt" appended and its text stays beside it.
QString TextFilePath(const QString &picturePath)
{
    int dot = picturePath.lastIndexOf('.');
    int slash = picturePath.lastIndexOf('/');
    if (dot <= slash)
        return picturePath + QStringLiteral(".txt");
    return picturePath.left(dot) + QStringLiteral(".txt");
}

bool WriteTextLines(const QString &path, const QString &text, QString *why)
{
    QStringList lines = text.split('\n');
    if (text.isEmpty())
        lines.clear();   // an empty text is an empty file
    else if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();   // a final line break ends the last line, it starts none
    QByteArray bytes;
    for (QString line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        bytes += line.toUtf8() + "\r\n";
    }
    return WriteFileAtomically(path, bytes, why);
}

QString SideFilePath(const QString &joinedPath, bool back)
{
    const QString side = back ? QStringLiteral("-achterkant") : QStringLiteral("-voorkant");
    const int dot = joinedPath.lastIndexOf('.');
    const int slash = joinedPath.lastIndexOf('/');
    if (dot <= slash)
        return joinedPath + side;
    return joinedPath.left(dot) + side + joinedPath.mid(dot);
}

QStringList SideFilePaths(const CardPictures &card, const QString &joinedPath)
{
    if (card.front.isNull() || card.back.isNull())
        return {};
    return {SideFilePath(joinedPath, false), SideFilePath(joinedPath, true)};
}

bool SaveSideFiles(const CardPictures &card, const QString &joinedPath, int quality, int dpi,
                   const PictureCaption *caption, QStringList &written, QString &failed)
{
    const QStringList paths = SideFilePaths(card, joinedPath);
    for (int i = 0; i < paths.size(); ++i) {
        if (SavePictureFile(i == 0 ? card.front : card.back, paths[i], quality, dpi, caption) < 0) {
            failed = paths[i];
            return false;
        }
        written << paths[i];
    }
    return true;
}
