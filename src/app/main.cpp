// Program entry: Qt in Dutch, carried files in the program folder, then the launcher, the
// scan window and the message window, and the message loop.
#include "app/launcher.h"
#include "app/single_instance.h"
#include "common/filez.h"
#include "common/prompts.h"
#include "common/outside.h"
#include "dialogs/dutch_translations.h"
#include "dialogs/help_viewer.h"
#include "dialogs/log.h"
#include "dialogs/meldform.h"
#include "dialogs/qt_prompts.h"
#include "scanner/carried_files.h"
#include "scanwindow/scanform.h"

#include <QApplication>

namespace {
// The desktop, with help pages shown in our own viewer.
class ProgramOutside : public DesktopOutside {
public:
    bool showHelp(const QString &helpFile, const QString &topic) override
    {
        return OpenHelpViewer(helpFile, topic);
    }
};
}

int main(int argc, char **argv)
{
    // The application object comes first here: the program folder is known through it.
    QApplication app(argc, argv);
    InstallDutchTranslations();
    InstallQtPrompts();
    static ProgramOutside programOutside;
    setDefaultOutside(&programOutside);
    InstallLogWindow();

    // Two copies would share the last scan and the scan transfer file.
    SingleInstance single(TempFolder());
    if (!single.claim()) {
        ShowNotice(QStringLiteral("KVNscan is al gestart"));
        return 0;
    }

    EnsureCarriedFiles();

    TScanform scanform;
    QObject::connect(&single, &SingleInstance::raiseRequested, &scanform, [&scanform] {
        if (scanform.isMinimized())
            scanform.showNormal();
        scanform.raise();
        scanform.activateWindow();
    });
    TForm1 launcher(&scanform);
    CreateMessageWindow();
    launcher.show();
    return app.exec();
}
