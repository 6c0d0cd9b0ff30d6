#include "dialogs/dutch_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool InstallDutchTranslations()
{
    static QTranslator *translator = nullptr;
    if (translator)
        return true;
    // Dates and sizes in the file dialogs written the Dutch way too.
    QLocale::setDefault(QLocale(QLocale::Dutch, QLocale::Netherlands));
    auto *t = new QTranslator(QCoreApplication::instance());
    // Qt's own folder first; Debian's, should Qt be relocated, second.
    const QString folders[] = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                               QStringLiteral("/usr/share/qt6/translations")};
    for (const QString &folder : folders) {
        if (t->load(QStringLiteral("qtbase_nl"), folder) && QCoreApplication::installTranslator(t)) {
            translator = t;
            return true;
        }
    }
    delete t;
    qWarning("KVNscan: Qt's Dutch translations (qtbase_nl.qm) are missing; dialogs show English");
    return false;
}
