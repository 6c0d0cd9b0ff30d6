// Against SANE's own `test` backend, configured from a folder these tests
// own: every mode must give, pixel for pixel, what scanimage delivers.
#include "sane_test_config.h"
#include "scanner/bridge/bmp_writer.h"
#include "scanner/bridge/bridge.h"
#include "scanner/bridge/options_dialog.h"
#include "scanner/bridge/scan_runner.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <dlfcn.h>

namespace {

struct Opt {
    std::string name, value;
};

// Plain PNM as scanimage writes it; rows are as long as the device's lines.
struct Pnm {
    char kind = 0;
    int width = 0, height = 0, maxval = 1;
    QByteArray data;
    int stride() const { return height ? int(data.size() / height) : 0; }
    QRgb pixel(int x, int y) const
    {
        const uchar *row = reinterpret_cast<const uchar *>(data.constData()) + size_t(y) * size_t(stride());
        const int bytes = maxval > 255 ? 2 : 1;  // 16-bit PNM is big-endian: first byte is the high one
        switch (kind) {
        case '4': {
            const bool black = row[x / 8] & (0x80 >> (x % 8));
            return black ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
        }
        case '5': {
            const int v = row[x * bytes];
            return qRgb(v, v, v);
        }
        default:
            return qRgb(row[3 * x * bytes], row[(3 * x + 1) * bytes], row[(3 * x + 2) * bytes]);
        }
    }
};

bool parsePnm(const QByteArray &bytes, Pnm &pnm)
{
    int pos = 0, fields = 0, values[3] = {0, 0, 1};
    if (bytes.size() < 3 || bytes[0] != 'P')
        return false;
    pnm.kind = bytes[1];
    pos = 2;
    const int needed = pnm.kind == '4' ? 2 : 3;
    while (fields < needed && pos < bytes.size()) {
        const char c = bytes[pos];
        if (c == '#') {
            while (pos < bytes.size() && bytes[pos] != '\n')
                ++pos;
        } else if (isdigit(uchar(c))) {
            int v = 0;
            while (pos < bytes.size() && isdigit(uchar(bytes[pos])))
                v = v * 10 + (bytes[pos++] - '0');
            values[fields++] = v;
            continue;
        }
        ++pos;
    }
    ++pos;  // the single whitespace after the header
    pnm.width = values[0];
    pnm.height = values[1];
    pnm.maxval = values[2];
    pnm.data = bytes.mid(pos);
    return pnm.width > 0 && pnm.height > 0;
}

class SaneTestBackend : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        WriteTestBackendConfig(SaneConfigFolder(), "test\n");
        // SANE unloads the backend when a scan ends, while its reader thread may
        // still hold memory: kept mapped to the end, a leak report names the
        // backend (tests/lsan.supp) instead of an unknown module.
        if (*SANE_TEST_BACKEND)
            dlopen(SANE_TEST_BACKEND, RTLD_NOW | RTLD_NODELETE);
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override
    {
        if (QString(SCANIMAGE).isEmpty())
            GTEST_SKIP() << "scanimage is not installed";
    }

    static QByteArray scanimage(const QStringList &args, int *exitCode = nullptr)
    {
        // The test backend's reader thread now and then deadlocks scanimage at
        // the end of a scan (a cancelled thread holding the allocator's lock):
        // a run that hangs is stopped and tried again, it says nothing of ours.
        for (int attempt = 0;; ++attempt) {
            QProcess p;
            p.start(SCANIMAGE, args);
            if (!p.waitForFinished(60000) && attempt < 2) {
                p.kill();
                p.waitForFinished(-1);
                continue;
            }
            if (exitCode)
                *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
            return p.readAllStandardOutput();
        }
    }

    // Our scan through the real backend, written as BMP and read back.
    static ScanOutcome ours(const std::vector<Opt> &opts, QImage &fromFile)
    {
        auto backend = MakeRealSaneBackend();
        std::unique_ptr<SaneDevice> dev;
        EXPECT_EQ(backend->open("test:0", dev), SANE_STATUS_GOOD);
        if (!dev)
            return {};
        for (const Opt &o : opts)
            EXPECT_EQ(ApplyOption(*dev, o.name, o.value), SANE_STATUS_GOOD) << o.name;
        ScanControl control;
        ScanOutcome out = RunScan(*dev, control);
        if (out.kind == ScanOutcome::Done) {
            const QString path = s_dir->filePath("ours.bmp");
            EXPECT_EQ(WriteBmp(out.image, out.dpi, path), QString());
            fromFile = QImage(path);
        }
        return out;
    }

    static Pnm theirs(const std::vector<Opt> &opts)
    {
        QStringList args{"-d", "test:0", "--format=pnm"};
        for (const Opt &o : opts)
            args << QString::fromStdString("--" + o.name + "=" + o.value);
        Pnm pnm;
        EXPECT_TRUE(parsePnm(scanimage(args), pnm));
        return pnm;
    }

    static void expectSame(const std::vector<Opt> &opts) { expectSame(opts, opts); }
    static void expectSame(const std::vector<Opt> &opts, const std::vector<Opt> &scanimageOpts)
    {
        std::string what;
        for (const Opt &o : opts)
            what += o.name + "=" + o.value + " ";
        SCOPED_TRACE(what);
        QImage img;
        const ScanOutcome o = ours(opts, img);
        ASSERT_EQ(o.kind, ScanOutcome::Done) << o.message.toStdString();
        expectSamePixels(img, theirs(scanimageOpts));
    }

    // Pixel for pixel scanimage's picture, which must show more than one colour.
    static void expectSamePixels(const QImage &img, const Pnm &pnm)
    {
        ASSERT_EQ(img.size(), QSize(pnm.width, pnm.height));
        const QImage rgb = img.convertToFormat(QImage::Format_RGB32);
        int differ = 0;
        QSet<QRgb> colours;  // one colour would prove nothing
        for (int y = 0; y < pnm.height; ++y)
            for (int x = 0; x < pnm.width; ++x) {
                differ += (rgb.pixel(x, y) & 0xFFFFFF) != (pnm.pixel(x, y) & 0xFFFFFF);
                colours.insert(rgb.pixel(x, y));
            }
        EXPECT_EQ(differ, 0);
        EXPECT_GT(colours.size(), 1);
    }

    static QTemporaryDir *s_dir;
};

QTemporaryDir *SaneTestBackend::s_dir = nullptr;

} // namespace

TEST_F(SaneTestBackend, ScanimageSeesOurConfiguration)
{
    const QByteArray list = scanimage({"-L"});
    EXPECT_TRUE(list.contains("test:0")) << list.constData();
    EXPECT_FALSE(list.contains("test:1"));
}

TEST_F(SaneTestBackend, GreyAndColourAtEveryDepthMatchScanimage)
{
    for (const char *mode : {"Gray", "Color"})
        for (const char *depth : {"1", "8", "16"}) {
            if (std::string(mode) == "Color" && std::string(depth) == "1")
                continue;  // scanimage itself cannot write colour line art
            expectSame({{"mode", mode}, {"depth", depth}});
        }
}

TEST_F(SaneTestBackend, ThreePassColourMatchesScanimageInEveryOrder)
{
    for (const char *order : {"RGB", "GBR", "BRG"})
        expectSame({{"mode", "Color"}, {"three-pass", "yes"}, {"three-pass-order", order}});
    // scanimage cannot write 16-bit three-pass scans; the picture is the one-pass one.
    expectSame({{"mode", "Color"}, {"depth", "16"}, {"three-pass", "yes"}}, {{"mode", "Color"}, {"depth", "16"}});
}

TEST_F(SaneTestBackend, HandScannerHeightIsWhatWasDelivered)
{
    expectSame({{"mode", "Gray"}, {"hand-scanner", "yes"}});
    expectSame({{"mode", "Color"}, {"hand-scanner", "yes"}});
}

TEST_F(SaneTestBackend, OddDeliveriesStillMatch)
{
    expectSame({{"mode", "Color"}, {"read-limit", "yes"}, {"read-limit-size", "5"}});
    expectSame({{"mode", "Gray"}, {"fuzzy-parameters", "yes"}});
    // Lines longer than their pixels: the lost pixels are not part of the picture.
    expectSame({{"mode", "Color"}, {"ppl-loss", "7"}});
    expectSame({{"mode", "Gray"}, {"depth", "1"}, {"ppl-loss", "3"}});
}

TEST_F(SaneTestBackend, FaultStatusesLeaveNoFileAndAreExplained)
{
    const struct {
        const char *status, *words;
    } cases[] = {{"SANE_STATUS_JAMMED", "vastgelopen"},       {"SANE_STATUS_NO_DOCS", "geen document"},
                 {"SANE_STATUS_COVER_OPEN", "klep"},           {"SANE_STATUS_IO_ERROR", "verbinding"},
                 {"SANE_STATUS_NO_MEM", "geheugen"},           {"SANE_STATUS_ACCESS_DENIED", "toegang"},
                 {"SANE_STATUS_DEVICE_BUSY", "bezet"},         {"SANE_STATUS_EOF", "afgebroken"},
                 {"SANE_STATUS_CANCELLED", "afgebroken"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.status);
        QStringList notices;
        const QString target = s_dir->filePath("fault.bmp");
        QFile::remove(target);
        {
            Bridge bridge;
            bridge.setSourceFile(s_dir->filePath("eztw32.ini"));
            bridge.rememberSource("test:0");
            bridge.setNoticeSink([&notices](const QString &t) { notices << t; });
            ASSERT_EQ(bridge.openDefaultSource(), 1);
            ASSERT_EQ(ApplyOption(*bridge.device(), "read-return-value", c.status), SANE_STATUS_GOOD);
            EXPECT_EQ(bridge.acquireToFilename(nullptr, target.toUtf8().constData()), 0);
        }
        EXPECT_FALSE(QFile::exists(target));
        ASSERT_EQ(notices.size(), 1);
        EXPECT_TRUE(notices[0].contains(c.words)) << notices[0].toStdString();
        int code = 0;
        scanimage({"-d", "test:0", "--format=pnm", QString("--read-return-value=") + c.status}, &code);
        if (std::string(c.status) != "SANE_STATUS_EOF") {  // scanimage takes an empty scan for a whole one
            EXPECT_NE(code, 0);
        }
    }
}

TEST_F(SaneTestBackend, LibraryScanWritesTheSameBmpAsAScanThroughTheCore)
{
    Bridge bridge;
    bridge.setSourceFile(s_dir->filePath("eztw32.ini"));
    bridge.rememberSource("test:0");
    bridge.setHideUI(1);
    ASSERT_EQ(bridge.openDefaultSource(), 1);
    EXPECT_EQ(bridge.setCurrentResolution(30), 1);
    ASSERT_EQ(ApplyOption(*bridge.device(), "mode", "Color"), SANE_STATUS_GOOD);
    const QString target = s_dir->filePath("lib.bmp");
    ASSERT_NE(bridge.acquireToFilename(nullptr, target.toUtf8().constData()), 0);
    const QImage img(target);
    EXPECT_EQ(qRound(img.dotsPerMeterX() * 0.0254), 30);
    expectSamePixels(img, theirs({{"mode", "Color"}, {"resolution", "30"}}));
}

TEST_F(SaneTestBackend, OptionsDialogFollowsTheBackendsOptions)
{
    auto backend = MakeRealSaneBackend();
    std::unique_ptr<SaneDevice> dev;
    ASSERT_EQ(backend->open("test:0", dev), SANE_STATUS_GOOD);
    ASSERT_EQ(SetBoolOption(*dev, "enable-test-options", true), SANE_STATUS_GOOD);
    ASSERT_EQ(SetStringOption(*dev, "mode", "Gray"), SANE_STATUS_GOOD);
    OptionsDialog dialog(*dev, "Test");
    // One of each kind the backend offers.
    EXPECT_TRUE(dialog.findChild<QCheckBox *>("hand-scanner"));
    EXPECT_TRUE(dialog.findChild<QWidget *>("int-constraint-range")->findChild<QDoubleSpinBox *>());
    EXPECT_TRUE(dialog.findChild<QWidget *>("int-constraint-word-list")->findChild<QComboBox *>());
    EXPECT_TRUE(dialog.findChild<QWidget *>("fixed-constraint-range")->findChild<QDoubleSpinBox *>());
    EXPECT_TRUE(dialog.findChild<QWidget *>("string-constraint-string-list")->findChild<QComboBox *>());
    EXPECT_TRUE(dialog.findChild<QWidget *>("string")->findChild<QLineEdit *>());
    EXPECT_TRUE(dialog.findChild<QPushButton *>("button"));
    EXPECT_FALSE(dialog.findChild<QWidget *>("three-pass"));  // inactive in grey
    EXPECT_FALSE(dialog.findChild<QWidget *>("int-constraint-array"));

    auto *mode = dialog.findChild<QWidget *>("mode")->findChild<QComboBox *>();
    mode->setCurrentText("Color");
    emit mode->textActivated("Color");
    QApplication::processEvents();
    EXPECT_TRUE(dialog.findChild<QCheckBox *>("three-pass"));
    dialog.findChild<QPushButton *>("button")->click();
    dialog.findChild<QWidget *>("int-constraint-range")->findChild<QDoubleSpinBox *>()->setValue(100);
    SANE_Word value = 0;
    dev->controlOption(FindOption(*dev, "int-constraint-range"), SANE_ACTION_GET_VALUE, &value, nullptr);
    EXPECT_EQ(value, 100);
}
