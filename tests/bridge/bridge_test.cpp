// The operations as the program calls them, against a scripted backend:
// which source opens, what the file holds afterwards, what the user is told.
#include "fake_sane.h"
#include "fakes/file_bytes.h"
#include "scanner/bridge/bridge.h"
#include "scanner/bridge/virtual_scanner.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

class BridgeTest : public ::testing::Test {
protected:
    BridgeTest()
    {
        bridge.setBackendFactory(FactoryOf(backend));
        bridge.setSourceFile(dir.filePath("eztw32.ini"));
        bridge.setNoticeSink([this](const QString &t) { notices << t; });
        bridge.setTuning([](ScanControl &c) { c.warmUpWaitMs = 0; });
        backend.devices = {{"fake:1", "Acme", "Flat 1", "flatbed scanner"}, {"fake:2", "Acme", "Flat 2", "flatbed scanner"}};
        backend.make = [this](const std::string &) {
            auto d = std::make_unique<FakeDevice>();
            d->addInt(SANE_NAME_SCAN_RESOLUTION, 100, SANE_UNIT_DPI).desc.constraint_type = SANE_CONSTRAINT_NONE;
            d->frames = frames;
            device = d.get();
            return d;
        };
        frames = {MakeFrame(Params(SANE_FRAME_RGB, 8, 6, 4), [](size_t i) { return uint8_t(i); })};
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    int acquire(const QString &name) { return bridge.acquireToFilename(nullptr, path(name).toUtf8().constData()); }
    // A second bridge on the same backend and remembered-source file.
    void attach(Bridge &other)
    {
        other.setBackendFactory(FactoryOf(backend));
        other.setSourceFile(path("eztw32.ini"));
    }

    QTemporaryDir dir;
    FakeBackend backend;
    std::vector<FakeFrame> frames;
    FakeDevice *device = nullptr;
    QStringList notices;
    Bridge bridge;
};

} // namespace

TEST_F(BridgeTest, AvailabilityNeverSearchesForScanners)
{
    EXPECT_EQ(bridge.isAvailable(), 1);
    EXPECT_EQ(backend.enumerations, 0);
    EXPECT_EQ(Bridge::kVersion >= 114, true);
}

TEST_F(BridgeTest, OpensTheRememberedSourceElseTheFirstScannerElseTheVirtualOne)
{
    bridge.rememberSource("fake:2");
    EXPECT_EQ(bridge.openDefaultSource(), 1);
    EXPECT_EQ(backend.opened, std::vector<std::string>{"fake:2"});
    EXPECT_EQ(backend.enumerations, 0);

    QFile::remove(path("eztw32.ini"));
    Bridge fresh;
    attach(fresh);
    EXPECT_EQ(fresh.openDefaultSource(), 1);
    EXPECT_EQ(fresh.openDeviceName(), "fake:1");
    EXPECT_EQ(fresh.openDefaultSource(), 1);  // before every scan: no new search
    EXPECT_EQ(backend.enumerations, 1);

    backend.devices.clear();
    Bridge none;
    attach(none);
    EXPECT_EQ(none.openDefaultSource(), 1);
    EXPECT_EQ(none.openDeviceName(), kVirtualScannerName);
}

TEST_F(BridgeTest, ChosenSourceSurvivesANewRun)
{
    bridge.rememberSource("fake:2");
    Bridge next;
    next.setSourceFile(path("eztw32.ini"));
    EXPECT_EQ(next.rememberedSource(), "fake:2");
}

TEST_F(BridgeTest, ResolutionLandsOnTheNearestAllowedValue)
{
    backend.make = [this](const std::string &) {
        auto d = std::make_unique<FakeDevice>();
        d->addInt(SANE_NAME_SCAN_RESOLUTION, 100, SANE_UNIT_DPI).withWordList({75, 150, 300, 600});
        d->addFixed("fixed-res", 10).withRange(SANE_FIX(50), SANE_FIX(1200), SANE_FIX(10));
        device = d.get();
        return d;
    };
    bridge.rememberSource("fake:1");
    // Asked before the source is open: applied when it opens.
    EXPECT_EQ(bridge.setCurrentResolution(280), 1);
    ASSERT_EQ(bridge.openDefaultSource(), 1);
    EXPECT_EQ(device->option(SANE_NAME_SCAN_RESOLUTION).words[0], 300);
    EXPECT_EQ(bridge.setCurrentResolution(2000), 1);
    EXPECT_EQ(device->option(SANE_NAME_SCAN_RESOLUTION).words[0], 600);
    EXPECT_EQ(SetNumericOption(*device, "fixed-res", 333.3), SANE_STATUS_GOOD);
    EXPECT_EQ(device->option("fixed-res").words[0], SANE_FIX(330));
    EXPECT_EQ(bridge.setCurrentResolution(-5), 0);
}

TEST_F(BridgeTest, CompletedScanReplacesTheFileAndReportsSuccess)
{
    writeAll(path("preview.bmp"), "older scan");
    bridge.rememberSource("fake:1");
    bridge.setHideUI(1);
    ASSERT_EQ(bridge.openDefaultSource(), 1);
    EXPECT_NE(acquire("preview.bmp"), 0);
    const QImage img(path("preview.bmp"));
    ASSERT_EQ(img.size(), QSize(6, 4));
    EXPECT_EQ(img.pixel(1, 0) & 0xFFFFFF, qRgb(3, 4, 5) & 0xFFFFFFu);
    EXPECT_EQ(qRound(img.dotsPerMeterX() * 0.0254), 100);
    EXPECT_TRUE(notices.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList({"preview*"}, QDir::Files), QStringList{"preview.bmp"});
}

TEST_F(BridgeTest, FailedScanKeepsTheOlderFileAndTellsTheUserWhy)
{
    writeAll(path("preview.bmp"), "older scan");
    frames[0].failAt = 20;
    frames[0].failStatus = SANE_STATUS_JAMMED;
    bridge.rememberSource("fake:1");
    EXPECT_EQ(acquire("preview.bmp"), 0);
    EXPECT_EQ(readAll(path("preview.bmp")), QByteArray("older scan"));
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains("vastgelopen"));
    EXPECT_TRUE(notices[0].contains("Er is geen scan opgeslagen."));
    EXPECT_EQ(QDir(dir.path()).entryList({"preview*"}, QDir::Files), QStringList{"preview.bmp"});

    // The next scan opens the device again and succeeds.
    frames[0].failAt = SIZE_MAX;
    EXPECT_NE(acquire("preview.bmp"), 0);
    EXPECT_EQ(backend.opened.size(), 2u);
}

TEST_F(BridgeTest, CancelledScanWritesNothingAndSaysNothing)
{
    frames[0] = MakeFrame(Params(SANE_FRAME_GRAY, 8, 100, 100), [](size_t) { return uint8_t(1); });
    frames[0].chunk = 50;
    bridge.rememberSource("fake:1");
    bridge.setScanStartHook([](ScanControl &control, SaneDevice &dev) {
        static_cast<FakeDevice &>(dev).onRead = [&control, &dev](size_t delivered) {
            if (delivered > 1000 && !control.cancel.exchange(true))
                dev.cancel();
        };
    });
    EXPECT_EQ(acquire("preview.bmp"), 0);
    EXPECT_FALSE(QFile::exists(path("preview.bmp")));
    EXPECT_TRUE(notices.isEmpty());
}

TEST_F(BridgeTest, SourceThatCannotBeOpenedIsExplained)
{
    bridge.rememberSource("fake:gone");
    backend.make = [](const std::string &) { return std::unique_ptr<SaneDevice>(); };
    EXPECT_EQ(bridge.openDefaultSource(), 0);
    // The notice, then the list to choose another from.
    bool listed = false;
    WhenShown("sourceDialog", [&](QDialog &d) {
        listed = true;
        d.reject();
    });
    EXPECT_EQ(acquire("preview.bmp"), 0);
    EXPECT_TRUE(listed);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains("fake:gone"));
    EXPECT_FALSE(QFile::exists(path("preview.bmp")));
}

// Why a source would not open reaches the user in Dutch, with SANE's own name of the status.
TEST_F(BridgeTest, SourceThatCannotBeOpenedIsExplainedWithItsStatus)
{
    const struct {
        SANE_Status status;
        const char *reason;
    } cases[] = {
        {SANE_STATUS_DEVICE_BUSY, "de scanner is bezet"},
        {SANE_STATUS_ACCESS_DENIED, "geen toegang tot de scanner (de gebruiker heeft er geen rechten op)"},
        {SANE_STATUS_IO_ERROR, "de verbinding met de scanner is verstoord"},
        {SANE_STATUS_NO_MEM, "te weinig geheugen"},
        {SANE_STATUS_INVAL, "er is geen scanner met deze naam"},
        {SANE_STATUS_UNSUPPORTED, "het stuurprogramma kan deze scanner niet aansturen"},
    };
    bridge.rememberSource("fake:gone");
    backend.make = [](const std::string &) { return std::unique_ptr<SaneDevice>(); };
    for (const auto &c : cases) {
        backend.openStatus = c.status;
        notices.clear();
        WhenShown("sourceDialog", [](QDialog &d) { d.reject(); });
        EXPECT_EQ(acquire("preview.bmp"), 0);
        ASSERT_EQ(notices.size(), 1);
        EXPECT_EQ(notices[0].section(". ", 0, 0) + ".",
                  QString("De scanner \"fake:gone\" kan niet worden geopend: %1 (SANE-status: %2).")
                      .arg(c.reason, StatusName(c.status)));
    }
}

// A search that fails, or finds nothing, does not let the virtual scanner stand in unsaid.
TEST_F(BridgeTest, VirtualScannerStandingInForAFailedOrEmptySearchIsSaid)
{
    backend.devicesStatus = SANE_STATUS_IO_ERROR;
    EXPECT_EQ(bridge.openDefaultSource(), 1);
    EXPECT_EQ(bridge.openDeviceName(), kVirtualScannerName);
    EXPECT_EQ(notices, QStringList{"Geen scanner gevonden (de verbinding met de scanner is verstoord, SANE-status: "
                                   "SANE_STATUS_IO_ERROR): de ingebouwde proefscanner wordt gebruikt."});

    // Found none: said where the scan shows its progress, without a window to click away.
    backend.devicesStatus = SANE_STATUS_GOOD;
    backend.devices.clear();
    Bridge none;
    attach(none);
    none.setNoticeSink([this](const QString &t) { notices << t; });
    QStringList labels;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QProgressDialog *>(w); d && d->isVisible() && !labels.contains(d->labelText()))
                labels << d->labelText();
    });
    watch.start(0);
    EXPECT_NE(none.acquireToFilename(nullptr, path("preview.bmp").toUtf8().constData()), 0);
    EXPECT_EQ(labels, QStringList{"Geen scanner gevonden: de ingebouwde proefscanner wordt gebruikt."});
    EXPECT_EQ(notices.size(), 1);
}

// A network scanner whose server stops answering, at opening or when the
// resolution is set: the window keeps answering, "Annuleren" stops the
// waiting, and scanning works again once the server answers.
TEST_F(BridgeTest, ACallThatHangsCanBeStoppedWhileTheWindowKeepsAnswering)
{
    std::atomic<bool> answers{true};
    const auto hang = [&answers] {
        while (!answers)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    const auto make = backend.make;
    backend.make = [hang, make](const std::string &name) {
        hang();
        auto d = make(name);
        static_cast<FakeDevice &>(*d).option(SANE_NAME_SCAN_RESOLUTION).onSet = hang;
        return d;
    };
    bridge.rememberSource("fake:1");
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(10);

    const struct {
        QString waiting;
        std::function<int()> call;
    } cases[] = {
        {QStringLiteral("Scanner \"fake:1\" openen…"), [&] { return bridge.openDefaultSource(); }},
        {QStringLiteral("Scanner instellen…"), [&] { return bridge.setCurrentResolution(300); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.waiting.toStdString());
        notices.clear();
        answers = false;
        ticks = 0;
        QString waiting;
        WhenShown("waitDialog", [&](QDialog &d) {
            waiting = static_cast<QProgressDialog &>(d).labelText();
            static_cast<QProgressDialog &>(d).cancel();
        });
        EXPECT_EQ(c.call(), 0);
        EXPECT_EQ(waiting, c.waiting);
        EXPECT_GT(ticks, 3);  // the window answered while the device did not
        EXPECT_TRUE(notices.isEmpty());

        // While the abandoned call still hangs, a scan says why it cannot start.
        EXPECT_EQ(acquire("preview.bmp"), 0);
        ASSERT_EQ(notices.size(), 1);
        EXPECT_TRUE(notices[0].contains("reageert nog niet"));

        answers = true;
        WaitForAbandonedWork();
        EXPECT_NE(acquire("preview.bmp"), 0);
        EXPECT_EQ(notices.size(), 1);
    }
    EXPECT_EQ(backend.opened.size(), 3u);
}

TEST_F(BridgeTest, TimersKeepTickingWhileTheDeviceIsRead)
{
    frames[0] = MakeFrame(Params(SANE_FRAME_GRAY, 8, 100, 40), [](size_t) { return uint8_t(1); });
    frames[0].chunk = 100;
    bridge.rememberSource("fake:1");
    bridge.setScanStartHook([](ScanControl &, SaneDevice &dev) {
        static_cast<FakeDevice &>(dev).onRead = [](size_t) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        };
    });
    int ticks = 0, refused = 0;
    QTimer timer;
    // A timer that calls back into the library mid-scan must not disturb it.
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        refused += acquire("other.bmp") == 0;
        refused += bridge.setCurrentResolution(600) == 0;
    });
    timer.start(10);
    EXPECT_NE(acquire("preview.bmp"), 0);
    EXPECT_GT(ticks, 0);
    EXPECT_EQ(refused, 2 * ticks);
    EXPECT_FALSE(QFile::exists(path("other.bmp")));
}

TEST_F(BridgeTest, VirtualScannerAlternatesFrontAndBack)
{
    bridge.rememberSource(kVirtualScannerName);
    bridge.setCurrentResolution(30);
    SetVirtualScannerNextIsBack(false);
    ASSERT_NE(acquire("front.bmp"), 0);
    ASSERT_NE(acquire("back.bmp"), 0);
    const QImage front(path("front.bmp")), back(path("back.bmp"));
    EXPECT_EQ(front.convertToFormat(QImage::Format_BGR888), VirtualScanPage(30, false));
    EXPECT_EQ(back.convertToFormat(QImage::Format_BGR888), VirtualScanPage(30, true));
    EXPECT_EQ(VirtualScannerNextIsBack(), false);
}

TEST_F(BridgeTest, BusyOrEmptyPathsAreRefused)
{
    EXPECT_EQ(bridge.acquireToFilename(nullptr, nullptr), 0);
    EXPECT_EQ(bridge.acquireToFilename(nullptr, ""), 0);
}
