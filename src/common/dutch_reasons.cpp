// System failure reasons in Dutch. Qt translates some of its own reasons once its
// Dutch catalogue is loaded; the C library's texts (strerror) stay English
// whatever the locale, since Qt does not translate them and few systems carry
// a Dutch C library catalogue.
#include "common/filez.h"

#include <QCoreApplication>

namespace {
struct Reason {
    const char *english;
    const char *dutch;
};
// The reasons a file or folder operation here can meet.
const Reason kReasons[] = {
    {"Permission denied", "Toegang geweigerd"},
    {"Operation not permitted", "Bewerking niet toegestaan"},
    {"No such file or directory", "Bestand of map bestaat niet"},
    {"No space left on device", "Geen ruimte meer op het opslagmedium"},
    {"Disk quota exceeded", "Schijfquotum overschreden"},
    {"Read-only file system", "Alleen-lezen bestandssysteem"},
    {"Is a directory", "Is een map"},
    {"Not a directory", "Is geen map"},
    {"File exists", "Bestand bestaat al"},
    {"File name too long", "Bestandsnaam te lang"},
    {"File too large", "Bestand te groot"},
    {"Too many open files", "Te veel geopende bestanden"},
    {"Input/output error", "Invoer-/uitvoerfout"},
    {"Device or resource busy", "Apparaat of bron bezet"},
    {"Directory not empty", "Map is niet leeg"},
    {"Invalid argument", "Ongeldig argument"},
    {"Too many levels of symbolic links", "Te veel niveaus van symbolische koppelingen"},
    {"Cannot allocate memory", "Onvoldoende geheugen"},
    {"Resource temporarily unavailable", "Bron tijdelijk niet beschikbaar"},
    {"Unknown error", "Onbekende fout"},
};
// Qt's contexts whose reasons its Dutch catalogue covers.
const char *const kQtContexts[] = {"QSaveFile", "QIODevice", "QFileDevice", "QFile"};
}

QString DutchReason(const QString &reason)
{
    const QString text = reason.trimmed();
    for (const Reason &r : kReasons) {
        if (text.compare(QLatin1String(r.english), Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(r.dutch);
    }
    const QByteArray source = text.toUtf8();
    for (const char *context : kQtContexts) {
        const QString t = QCoreApplication::translate(context, source.constData());
        if (t != text)
            return t;
    }
    return reason;
}
