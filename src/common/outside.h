#pragma once
// Everything that leaves the process: the desktop opener, the help viewer,
// detached processes and sleeping. Tests replace it to observe and to stay fast.
#include <QString>
#include <QStringList>

class Outside {
public:
    virtual ~Outside() = default;
    // Hands a file or address to the desktop; true when the platform reports success.
    virtual bool openWithDesktop(const QString &fileOrUrl) = 0;
    // Shows topic of a compiled help file in our help viewer.
    virtual bool showHelp(const QString &helpFile, const QString &topic) = 0;
    // Starts a program detached from this process.
    virtual bool startDetached(const QString &program, const QStringList &args,
                               const QString &workingFolder) = 0;
    virtual void sleepMs(int ms) = 0;
    // Asks the application to end (used after a successful restart).
    virtual void quitApplication() = 0;
};

// The real outside world. The help viewer lives in the dialogs module, so the
// program installs a subclass that opens it.
class DesktopOutside : public Outside {
public:
    bool openWithDesktop(const QString &fileOrUrl) override;
    bool showHelp(const QString &helpFile, const QString &topic) override;
    bool startDetached(const QString &program, const QStringList &args,
                       const QString &workingFolder) override;
    void sleepMs(int ms) override;
    void quitApplication() override;
};

Outside &outside();
void setOutside(Outside *o);        // not owned; nullptr restores the default
void setDefaultOutside(Outside *o); // the program installs the real one at start
