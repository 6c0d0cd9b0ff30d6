#include "common/filez.h"

namespace {
LogSink g_sink = nullptr;
}

void SetLogSink(LogSink sink) { g_sink = sink; }
LogSink CurrentLogSink() { return g_sink; }

void LogText(const QString &text)
{
    if (g_sink)
        g_sink(text);
}
