// libFuzzer entry for one target, chosen at compile time by KVN_FUZZ_TARGET.
#include "fuzz_entries.h"

#include <QCoreApplication>
#include <QGuiApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    KVN_FUZZ_TARGET(data, size);
    return 0;
}
