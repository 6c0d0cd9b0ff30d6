// The six backs of the virtual scanner at 300 dpi, read on one core: time per
// card against Tesseract's own time on the prepared pictures, and how much of
// the printed text comes back. Then eight hard backs read by the card reader
// (two at once on two cores) against the tesseract command run on them one
// after another, with its threads as it sets them and, beside that, on one.
#include "bench_page.h"
#include "ocr/back_text.h"
#include "ocr/card_text_reader.h"
#include "ocr/hard_backs.h"
#include "ocr/text_distance.h"
#include "scanner/bridge/virtual_scanner.h"

#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// The tesseract command on each file in turn, with its threads as it sets them or one.
void RunCommand(const QStringList &files, bool oneThread)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (oneThread)
        env.insert("OMP_THREAD_LIMIT", "1");
    for (const QString &f : files) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start("tesseract", {f, "stdout", "-l", "nld", "--psm", "3"});
        p.waitForFinished(-1);
    }
}

// Eight cut-out backs through the reader, against the tesseract command on each in turn.
void EightBacks()
{
    std::vector<HardBack> table = HardBackTable(8);
    std::vector<CardTextReader::Back> backs;
    QTemporaryDir folder;
    QStringList files;
    for (HardBack &b : table) {
        b.dpi = 300;
        const QImage back = RenderHardBack(b);
        backs.push_back({QRect(int(backs.size()) * 10, 0, 10, 10), back});
        files << folder.filePath(QString::number(files.size()) + ".png");
        back.save(files.last());
    }
    auto readAll = [](CardTextReader &reader, const std::vector<CardTextReader::Back> &some) {
        reader.start(some, 300, "nld");
        while (reader.readCount() < reader.cardCount())
            QThread::msleep(5);
    };
    CardTextReader reader;
    readAll(reader, {backs[0], backs[1]});   // each thread loads its language once, as in a session
    const std::vector<double> ms = MediansMs(3, {{[&] {
                                                      readAll(reader, backs);
                                                  }, {}},
                                                 {[&] { RunCommand(files, false); }, {}},
                                                 {[&] { RunCommand(files, true); }, {}}});
    Report("ocr-eight-backs-reader", ms[0], "tesseract-command", ms[1]);
    // The command on one core each: on a busy machine its own threads cost it more than they bring.
    Report("ocr-eight-backs-reader-against-one-thread", ms[0], "tesseract-command-one-thread", ms[2]);
}

} // namespace

int main(int argc, char **argv)
{
    // Eight backs as the program reads them and as users run the command: Tesseract's threads as it sets them.
    if (argc > 1 && QByteArray(argv[1]) == "--eight") {
        // A limit inherited from a shell or a test run would set them otherwise; OpenMP reads it at load.
        if (getenv("OMP_THREAD_LIMIT")) {
            unsetenv("OMP_THREAD_LIMIT");
            execv("/proc/self/exe", argv);
        }
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        EightBacks();
        return 0;
    }
    // Tesseract's thread count is fixed when its OpenMP starts: one core from the beginning.
    if (!getenv("OMP_THREAD_LIMIT")) {
        setenv("OMP_THREAD_LIMIT", "1", 1);
        execv("/proc/self/exe", argv);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const int dpi = 300;
    const QImage page = VirtualScanPage(dpi, true);
    std::vector<QImage> backs, prepared;
    for (const QRect &r : VirtualCardRects(dpi)) {
        // The box the detection gives: the card with a little glass around it.
        backs.push_back(page.copy(r.adjusted(-20, -20, 20, 20)));
        prepared.push_back(PrepareBack(backs.back(), dpi));
    }
    const int cards = int(backs.size());
    ReadBackText(backs[0], dpi);   // the language is loaded once per thread, not per card

    std::vector<QString> read(static_cast<size_t>(cards));
    const std::vector<double> ms = MediansMs(3, {{[&] {
                                                             for (int i = 0; i < cards; ++i)
                                                                 read[size_t(i)] = ReadBackText(backs[size_t(i)], dpi);
                                                         }, {}},
                                                        {[&] {
                                                             for (const QImage &p : prepared)
                                                                 RecogniseText(p, dpi, "nld");
                                                         }, {}}});
    Report("ocr-back-300dpi-per-card", ms[0] / cards, "tesseract", ms[1] / cards);

    int right = 0;
    qint64 errors = 0, characters = 0;
    for (int i = 0; i < cards; ++i) {
        const QStringList lines = VirtualCardBackText(i);
        const QString expected = lines.join('\n'), got = read[size_t(i)];
        // The seven-segment number under the text is no print: it is left out of the count.
        QStringList gotLines = got.split('\n');
        while (gotLines.size() > lines.size())
            gotLines.removeLast();
        errors += TextDistance(gotLines.join('\n'), expected);
        characters += expected.size();
        right += got.contains(lines[2]) && got.contains(lines[4].right(4)) && got.contains(lines[6].right(4));
    }
    std::printf("ocr-back-300dpi-accuracy: %d of %d cards name and both years right, %.1f %% characters right\n",
                right, cards, 100.0 * double(characters - errors) / double(characters));
    return right * 100 >= cards * 95 && errors * 100 <= characters * 3 ? 0 : 1;
}
