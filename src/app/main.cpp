// Program entry: carried files beside the executable, then the launcher, the
// scan window and the message window, and the message loop.
#include "app/launcher.h"
#include "dialogs/log.h"
#include "dialogs/meldform.h"
#include "dialogs/qt_prompts.h"
#include "scanner/carried_files.h"
#include "scanwindow/scanform.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // The application object comes first here: the program folder is known through it.
    QApplication app(argc, argv);
    InstallQtPrompts();
    InstallLogWindow();

    EnsureCarriedFiles();

    TScanform scanform;
    TForm1 launcher(&scanform);
    CreateMessageWindow();
    launcher.show();
    return app.exec();
}
