// Replays every input the fuzzers ever crashed on (tests/fuzz/regressions/<target>/).
#include "fakes/file_bytes.h"
#include "fuzz_entries.h"

#include <QDir>
#include <gtest/gtest.h>

TEST(FuzzRegressions, EveryKeptInputRunsCleanly)
{
    int replayed = 0;
    for (int i = 0; i < kFuzzTargetCount; ++i) {
        QDir dir(QStringLiteral(KVN_SOURCE_DIR "/tests/fuzz/regressions/") + kFuzzTargets[i].name);
        for (const QString &name : dir.entryList(QDir::Files)) {
            const QByteArray bytes = readAll(dir.filePath(name));
            SCOPED_TRACE(dir.filePath(name).toStdString());
            kFuzzTargets[i].entry(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
            ++replayed;
        }
    }
    RecordProperty("replayed", replayed);
}

TEST(FuzzRegressions, SmallHandMadeInputsRunCleanly)
{
    const char *inputs[] = {"", "=", "a=b\r\nA=c\n", "\xff\xfe=\x80", "scan99999999999.jpg"};
    for (int i = 0; i < kFuzzTargetCount; ++i)
        for (const char *in : inputs)
            kFuzzTargets[i].entry(reinterpret_cast<const uint8_t *>(in), strlen(in));
}
