// kvnscan-split: series mode on scans already on disk. Runs the scan window's
// own detection, reading order, pairing, cut-out and saving on FRONT (and
// BACK), and prints each file it writes.
#include "common/filez.h"
#include "common/prompts.h"
#include "split/split_batch.h"
#include "split/split_cards.h"
#include "split/split_files.h"
#include "split/split_options.h"
#include "records/card_index_file.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <unistd.h>

namespace {

// Notices of the saving code go to stderr: there is nobody to click them away.
class ErrorStreamPrompts : public SilentPrompts {
public:
    ModalResult notice(const QString &text, const QString &) override
    {
        Fail(text);
        return ModalResult::Ok;
    }
};

int Split(const SplitOptions &o)
{
    if (!CanWriteType(o.type))
        return Fail(QStringLiteral("--type %1: dit bestandstype kan dit programma niet schrijven").arg(o.type), 2);
    if (!o.batch.isEmpty())
        return SplitBatch(o);
    LoadedScans loaded;
    QString why;
    if (!LoadAndDetect(o, o.scans, loaded, why))
        return Fail(why);
    const QString folder = QDir::cleanPath(QDir::current().absoluteFilePath(o.out));
    QStringList created, written, index;
    QList<CardRecord> records;
    if (!MakeFolder(folder, created, why) ||
        !SaveCards(o, o.scans, loaded, folder, FirstCardName(o), {}, written, why, o.record ? &records : nullptr) ||
        (o.record && !UpdateCardIndex(folder, records, index, why)))
    {
        RemoveWritten(written, created);
        return Fail(why);
    }
    for (const QString &p : written + index)
        Print(stdout, p);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    static ErrorStreamPrompts errorPrompts;
    setDefaultPrompts(&errorPrompts);

    // The arguments by their bytes: a folder name that is not UTF-8 stays the same folder.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << PathFromNative(QByteArray(argv[i]));
    SplitOptions o;
    const QString wrong = ReadSplitOptions(args, o);
    if (o.help) {
        std::fputs(kSplitUsage, stdout);
        return 0;
    }
    if (!wrong.isEmpty()) {
        Fail(wrong);
        std::fputs("meer uitleg: kvnscan-split --help\n", stderr);
        return 2;
    }
    return Split(o);
}
