// Hard backs read by us and by Tesseract alone (the command, page layout
// found by itself, Dutch, on the same cut-out picture): per class of card we
// read at least as many right, and nearly all of them.
#include "ocr/back_text.h"
#include "ocr/hard_backs.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

namespace {

QString TesseractAlone(const QImage &back, int dpi, const QString &folder)
{
    const QString file = folder + QStringLiteral("/back.png");
    back.save(file);
    QProcess p;
    p.start(QStringLiteral("tesseract"), {file, QStringLiteral("stdout"), QStringLiteral("-l"), QStringLiteral("nld"),
                                          QStringLiteral("--psm"), QStringLiteral("3"), QStringLiteral("--dpi"),
                                          QString::number(dpi)});
    p.waitForFinished(-1);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST(HardBacks, EveryClassReadAtLeastAsWellAsTesseractAloneAndNearlyAllRight)
{
    QTemporaryDir folder;
    const bool show = qEnvironmentVariableIsSet("KVN_SHOW_READINGS");
    // Per class: cards read right by us and by Tesseract alone.
    std::map<std::string, std::pair<int, int>> classes;
    int ours = 0, cards = 0;
    for (const HardBack &b : HardBackTable()) {
        const QImage back = RenderHardBack(b);
        const QString read = ReadBackText(back, b.dpi);
        const QString alone = TesseractAlone(back, b.dpi, folder.path());
        const bool right = ReadRight(b, read), aloneRight = ReadRight(b, alone);
        const std::string frames[] = {"no frame", "frame", "double frame"};
        for (const std::string &c : {b.font.toStdString(), frames[b.frame], std::string(b.yellowed ? "yellowed" : "cream"),
                                     std::to_string(b.dpi) + " dpi"}) {
            classes[c].first += right;
            classes[c].second += aloneRight;
        }
        ours += right;
        ++cards;
        if (show || !right)
            std::printf("card %d (%s, frame %d, %d dpi%s%s): ours %d, alone %d\n%s\n--\n%s\n==\n", cards,
                        qPrintable(b.font), b.frame, b.dpi, b.blur ? ", blurred" : "", b.yellowed ? ", yellowed" : "",
                        right, aloneRight, qPrintable(b.lines.join(" / ") + "\n" + read), show ? qPrintable(alone) : "");
    }
    for (const auto &[name, counts] : classes) {
        std::printf("%-14s ours %2d, Tesseract alone %2d\n", name.c_str(), counts.first, counts.second);
        EXPECT_GE(counts.first, counts.second) << name;
    }
    std::printf("cards read right: %d of %d\n", ours, cards);
    EXPECT_GE(ours * 100, cards * 98);
}

// Backs lying turned on the glass are read upright, and the turn that set
// them upright is told for the save.
TEST(HardBacks, BacksInEveryOrientationAreReadUpright)
{
    const std::vector<HardBack> table = HardBackTable(4);
    for (int turn = 0; turn < 4; ++turn) {
        HardBack b = table[size_t(turn)];
        b.turn = turn;
        const BackText read = ReadBack(RenderHardBack(b), b.dpi);
        EXPECT_EQ(read.turn, (4 - turn) % 4) << turn;
        EXPECT_TRUE(ReadRight(b, read.text)) << turn << "\n" << read.text.toStdString();
    }
}
