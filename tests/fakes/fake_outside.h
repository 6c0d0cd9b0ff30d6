#pragma once
// Outside world for tests: records every call, never sleeps, starts nothing
// unless told to.
#include "common/outside.h"

#include <QStringList>

class FakeOutside : public Outside {
public:
    FakeOutside() { setOutside(this); }
    ~FakeOutside() override { setOutside(nullptr); }

    bool openWithDesktop(const QString &f) override { calls << "open " + f; return openResult; }
    bool showHelp(const QString &file, const QString &topic) override
    {
        calls << "help " + file + "::/" + topic;
        return helpResult;
    }
    bool startDetached(const QString &program, const QStringList &args, const QString &folder) override
    {
        calls << "start " + program + " " + args.join(' ') + " in " + folder;
        return startResult;
    }
    void sleepMs(int ms) override { sleeps << ms; }
    void quitApplication() override { calls << "quit"; }

    QStringList calls;
    QList<int> sleeps;
    bool openResult = true;
    bool helpResult = true;
    bool startResult = true;
};
