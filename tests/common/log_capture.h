#pragma once
// Collects what common code logs, for the duration of a test.
#include "common/filez.h"

#include <QStringList>

class LogCapture {
public:
    LogCapture() { lines().clear(); m_old = CurrentLogSink(); SetLogSink(&add); }
    ~LogCapture() { SetLogSink(m_old); }
    static QStringList &lines() { static QStringList l; return l; }

private:
    static void add(const QString &text) { lines() << text; }
    LogSink m_old = nullptr;
};
