// The developer program, run as a user runs it.
#include "synthetic_scan.h"
#include "fakes/file_bytes.h"

#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out, err;
};

ToolRun DetectItemsTool(const QStringList &args)
{
    const QString program = QStringLiteral(KVN_BUILD_DIR "/tools/detect-items");
    QProcess p;
    p.start(program, args);
    ToolRun r;
    if (!p.waitForStarted() || !p.waitForFinished(-1))
        return r;
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

TEST(DetectItemsTool, PrintsBoxesInReadingOrder)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("cards.png");
    // Two rows of two; the lower right card sits higher, so it is found before
    // the lower left one, but reading order with two columns puts it last.
    std::vector<SyntheticCard> cards = {{QRect(100, 100, 300, 400)}, {QRect(600, 100, 300, 400)},
                                        {QRect(100, 700, 300, 400)}, {QRect(600, 650, 300, 400)}};
    ASSERT_TRUE(MakeScan(1000, 1200, {}, cards).save(file));

    ToolRun r = DetectItemsTool({file, "--columns", "2", "--margin", "0"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const ScanBox b = ExpectedBox(cards[size_t(i)].rect, 1000, 1200, 0);
        EXPECT_EQ(lines[i], QString("%1 %2 %3 %4").arg(b.left).arg(b.top).arg(b.right).arg(b.bottom)) << i;
    }
    // Discovery order without columns.
    r = DetectItemsTool({file, "--margin", "0"});
    lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[2].startsWith("600 "));

    // A selection holding the upper row only; a red glass finds nothing.
    r = DetectItemsTool({file, "--selection", "0,0,1000,600"});
    EXPECT_EQ(r.out.split('\n', Qt::SkipEmptyParts).size(), 2);
    r = DetectItemsTool({file, "--background", "FF0000", "--tolerance", "10", "--min-size", "5000"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty());
    // "Slim zoeken" needs no background colour.
    r = DetectItemsTool({file, "--background", "FF0000", "--smart"});
    EXPECT_EQ(r.out.split('\n', Qt::SkipEmptyParts).size(), 4) << r.err.toStdString();
}

TEST(DetectItemsTool, UnreadableImageExitsWithTwo)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("not-a-picture.png");
    writeAll(file, "no pixels here");
    for (const QString &path : {file, dir.filePath("missing.jpg")}) {
        const ToolRun r = DetectItemsTool({path});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_FALSE(r.err.isEmpty());
    }
    EXPECT_NE(DetectItemsTool({}).exitCode, 0);
    EXPECT_NE(DetectItemsTool({file, "--columns"}).exitCode, 0);
}

TEST(DetectItemsTool, ReadsAnA4PageScannedAt600Dpi)
{
    // Above Qt's default allocation limit as 32-bit pixels; the window opens it.
    QTemporaryDir dir;
    const QString file = dir.filePath("page.png");
    QImage page(4961, 7016, QImage::Format_RGB888);
    page.fill(Qt::white);
    QPainter(&page).fillRect(QRect(1000, 1000, 1500, 2000), QColor(90, 70, 50));
    ASSERT_TRUE(page.save(file));
    page = QImage();

    const ToolRun r = DetectItemsTool({file, "--margin", "0"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.split('\n', Qt::SkipEmptyParts).size(), 1);
}
