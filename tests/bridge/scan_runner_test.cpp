// A whole scan against the scripted device: how reads arrive, how devices
// fail, and that a broken scan never comes back as a picture.
#include "fake_sane.h"
#include "scanner/bridge/scan_runner.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

FakeFrame greyFrame(int w, int h)
{
    return MakeFrame(Params(SANE_FRAME_GRAY, 8, w, h), [](size_t i) { return uint8_t(i * 7); });
}

ScanOutcome scan(FakeDevice &dev, std::function<void(ScanControl &)> tune = {})
{
    ScanControl control;
    control.warmUpWaitMs = 0;
    if (tune)
        tune(control);
    return RunScan(dev, control);
}

bool sameGreyBytes(const QImage &img, const FakeFrame &f)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.constScanLine(y)[x] != f.data[size_t(y) * size_t(f.params.bytes_per_line) + size_t(x)])
                return false;
    return true;
}

} // namespace

TEST(ScanRunner, ShortAndEmptyReadsStillGiveTheWholePicture)
{
    for (size_t chunk : {size_t(1), size_t(7), size_t(100000)})
        for (int empties : {0, 3}) {
            FakeDevice dev;
            FakeFrame f = greyFrame(13, 11);
            f.chunk = chunk;
            f.emptyReadsBetween = empties;
            dev.frames = {f};
            const ScanOutcome o = scan(dev);
            ASSERT_EQ(o.kind, ScanOutcome::Done) << o.message.toStdString();
            EXPECT_EQ(o.image.size(), QSize(13, 11));
            EXPECT_TRUE(sameGreyBytes(o.image, f)) << chunk << "/" << empties;
            EXPECT_GE(dev.cancels.load(), 1);  // the scan is ended on the device
        }
}

TEST(ScanRunner, DeviceErrorInTheMiddleOfAFrameIsReportedInDutch)
{
    const struct {
        SANE_Status status;
        const char *words;
    } cases[] = {{SANE_STATUS_JAMMED, "vastgelopen"},       {SANE_STATUS_NO_DOCS, "geen document"},
                 {SANE_STATUS_COVER_OPEN, "klep"},           {SANE_STATUS_DEVICE_BUSY, "bezet"},
                 {SANE_STATUS_IO_ERROR, "verbinding"},       {SANE_STATUS_NO_MEM, "geheugen"},
                 {SANE_STATUS_ACCESS_DENIED, "toegang"},     {SANE_Status(SANE_STATUS_HW_LOCKED), "vergrendeld"}};
    for (const auto &c : cases) {
        FakeDevice dev;
        FakeFrame f = greyFrame(20, 20);
        f.failAt = 150;
        f.failStatus = c.status;
        dev.frames = {f};
        const ScanOutcome o = scan(dev);
        EXPECT_EQ(o.kind, ScanOutcome::Failed);
        EXPECT_TRUE(o.image.isNull());
        EXPECT_EQ(o.status, c.status);
        EXPECT_TRUE(o.message.contains(c.words)) << o.message.toStdString();
        EXPECT_GE(dev.cancels.load(), 1);
    }
}

TEST(ScanRunner, DeliveriesThatAreNoWholePictureFailWithoutOne)
{
    const struct {
        const char *what, *words;
        std::function<void(FakeFrame &)> frame;
        std::function<void(ScanControl &)> tune;
    } cases[] = {
        {"nine and a half lines, then end of file", "9 van de 10", [](FakeFrame &f) { f.data.resize(95); }, {}},
        {"bytes past the picture without end", "", [](FakeFrame &f) { f.endless = true; }, {}},
        {"no more bytes, yet no end", "geen gegevens",
         [](FakeFrame &f) {
             f.data.resize(40);
             f.neverEnds = true;
         },
         [](ScanControl &c) { c.maxEmptyReads = 50; }},
        {"unknown height beyond the limit", "", [](FakeFrame &f) { f.params.lines = -1; },
         [](ScanControl &c) { c.unknownLengthLimit = 50; }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FakeDevice dev;
        dev.frames = {greyFrame(10, 10)};
        c.frame(dev.frames[0]);
        const ScanOutcome o = scan(dev, c.tune);
        EXPECT_EQ(o.kind, ScanOutcome::Failed);
        EXPECT_TRUE(o.image.isNull());
        EXPECT_TRUE(o.message.contains(c.words)) << o.message.toStdString();
    }
}

TEST(ScanRunner, LongerAndHandScannerFramesGiveTheLinesThatBelong)
{
    FakeDevice longer;
    longer.frames = {greyFrame(10, 10)};
    longer.frames[0].data.resize(130);  // keeps the announced lines
    FakeDevice hand;
    hand.frames = {greyFrame(8, 25)};
    hand.frames[0].params.lines = -1;  // as many as were read
    hand.frames[0].chunk = 3;
    for (FakeDevice *dev : {&longer, &hand}) {
        const ScanOutcome o = scan(*dev);
        ASSERT_EQ(o.kind, ScanOutcome::Done) << o.message.toStdString();
        EXPECT_EQ(o.image.size(), dev == &longer ? QSize(10, 10) : QSize(8, 25));
    }
}

TEST(ScanRunner, AbsurdParametersAreRefusedBeforeReading)
{
    std::vector<SANE_Parameters> bad;
    bad.push_back(Params(SANE_FRAME_GRAY, 8, -5, 10));
    bad.push_back(Params(SANE_FRAME_GRAY, 3, 10, 10));
    bad.push_back(Params(SANE_FRAME_RGB, 8, 60000, 60000));
    SANE_Parameters thin = Params(SANE_FRAME_RGB, 8, 100, 10);
    thin.bytes_per_line = 100;
    bad.push_back(thin);
    for (const SANE_Parameters &p : bad) {
        FakeDevice dev;
        FakeFrame f;
        f.params = p;
        dev.frames = {f};
        bool read = false;
        dev.onRead = [&read](size_t) { read = true; };
        const ScanOutcome o = scan(dev);
        EXPECT_EQ(o.kind, ScanOutcome::Failed);
        EXPECT_FALSE(read);
        EXPECT_FALSE(o.message.isEmpty());
    }
    // Well-formed, yet no picture of what was asked: an impossible resolution
    // (a backend's overflow), or one pixel where the scan area asks for more.
    const struct {
        int dpi;
        double areaW, areaH;
        int w, h;
        bool made;
    } results[] = {{-32768, 41, 31, 1, 1, false}, {70000, 41, 31, 5, 5, false}, {0, 41, 31, 5, 5, false},
                   {300, 41, 31, 1, 366, false},  {300, 41, 31, 484, 1, false}, {300, 0.05, 31, 1, 366, true},
                   {65535, 41, 31, 9, 9, true},   {1, 41, 31, 2, 1, true}};
    for (const auto &c : results) {
        SCOPED_TRACE(testing::Message() << c.dpi << " dpi " << c.w << "x" << c.h);
        FakeDevice dev;
        dev.addInt(SANE_NAME_SCAN_RESOLUTION, c.dpi, SANE_UNIT_DPI);
        dev.addFixed(SANE_NAME_SCAN_TL_X, 0, SANE_UNIT_MM);
        dev.addFixed(SANE_NAME_SCAN_BR_X, c.areaW, SANE_UNIT_MM);
        dev.addFixed(SANE_NAME_SCAN_TL_Y, 0, SANE_UNIT_MM);
        dev.addFixed(SANE_NAME_SCAN_BR_Y, c.areaH, SANE_UNIT_MM);
        dev.frames = {greyFrame(c.w, c.h)};
        const ScanOutcome o = scan(dev);
        EXPECT_EQ(o.kind, c.made ? ScanOutcome::Done : ScanOutcome::Failed) << o.message.toStdString();
        EXPECT_EQ(o.message.isEmpty(), c.made);
    }
}

TEST(ScanRunner, CancelDuringReadingEndsWithoutPicture)
{
    FakeDevice dev;
    FakeFrame f = greyFrame(100, 100);
    f.chunk = 100;
    dev.frames = {f};
    ScanControl control;
    dev.onRead = [&](size_t delivered) {
        if (delivered >= 3000 && !control.cancel.exchange(true))
            dev.cancel();  // what the Cancel button does
    };
    const ScanOutcome o = RunScan(dev, control);
    EXPECT_EQ(o.kind, ScanOutcome::Cancelled);
    EXPECT_TRUE(o.image.isNull());
}

TEST(ScanRunner, WarmingUpIsWaitedForAndRetried)
{
    FakeDevice dev;
    dev.startStatuses = {SANE_Status(SANE_STATUS_WARMING_UP), SANE_Status(SANE_STATUS_WARMING_UP)};
    dev.frames = {greyFrame(4, 4)};
    const ScanOutcome o = scan(dev);
    EXPECT_EQ(o.kind, ScanOutcome::Done);
    EXPECT_EQ(std::count(dev.calls.begin(), dev.calls.end(), "start"), 3);

    FakeDevice cold;
    cold.startStatuses.assign(10, SANE_Status(SANE_STATUS_WARMING_UP));
    cold.frames = {greyFrame(4, 4)};
    const ScanOutcome c = scan(cold, [](ScanControl &s) { s.warmUpTries = 3; });
    EXPECT_EQ(c.kind, ScanOutcome::Failed);
    EXPECT_TRUE(c.message.contains("warm"));
}

TEST(ScanRunner, ThreePassScanReadsThreeFramesAndTakesTheResolution)
{
    FakeDevice dev;
    dev.addInt(SANE_NAME_SCAN_RESOLUTION, 150, SANE_UNIT_DPI);
    const SANE_Frame order[3] = {SANE_FRAME_RED, SANE_FRAME_GREEN, SANE_FRAME_BLUE};
    for (int k = 0; k < 3; ++k)
        dev.frames.push_back(MakeFrame(Params(order[k], 8, 4, 3, 0, k == 2), [k](size_t) { return uint8_t(50 * (k + 1)); }));
    const ScanOutcome o = scan(dev);
    ASSERT_EQ(o.kind, ScanOutcome::Done) << o.message.toStdString();
    EXPECT_EQ(o.image.pixel(3, 2) & 0xFFFFFF, qRgb(50, 100, 150) & 0xFFFFFFu);
    EXPECT_EQ(o.dpi, 150);
    EXPECT_EQ(std::count(dev.calls.begin(), dev.calls.end(), "start"), 3);

    // The device stops after two of the three colours.
    FakeDevice two;
    two.frames = {dev.frames[0], dev.frames[1]};
    EXPECT_EQ(scan(two).kind, ScanOutcome::Failed);
}

namespace {

// A hand scanner: lines of unknown count, made up as they are read, so that
// only the scan's own memory counts.
class HandScanner : public FakeDevice {
public:
    HandScanner(int width, int lines, int depth) : m_params(Params(SANE_FRAME_RGB, depth, width, lines))
    {
        m_left = uint64_t(m_params.bytes_per_line) * uint64_t(lines);
        m_params.lines = -1;
    }
    SANE_Status getParameters(SANE_Parameters *p) override
    {
        *p = m_params;
        return SANE_STATUS_GOOD;
    }
    SANE_Status start() override { return SANE_STATUS_GOOD; }
    SANE_Status read(SANE_Byte *data, SANE_Int max, SANE_Int *len) override
    {
        *len = SANE_Int(std::min<uint64_t>(uint64_t(max), m_left));
        if (*len == 0)
            return SANE_STATUS_EOF;
        std::memset(data, int(m_left & 0xFF), size_t(*len));
        m_left -= uint64_t(*len);
        return SANE_STATUS_GOOD;
    }

private:
    SANE_Parameters m_params;
    uint64_t m_left;
};

long statusKb(const char *key)
{
    FILE *f = std::fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    while (f && std::fgets(line, sizeof line, f))
        if (std::strncmp(line, key, std::strlen(key)) == 0)
            kb = std::atol(line + std::strlen(key) + 1);
    if (f)
        std::fclose(f);
    return kb;
}

} // namespace

TEST(ScanRunner, HandScannerScanPeaksAtTwiceThePicture)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's own allocator keeps freed memory resident";
#endif
    for (int depth : {8, 16}) {
        SCOPED_TRACE(depth);
        // In a child process of its own, so that its peak is the scan's alone.
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            HandScanner dev(6000, 6000, depth);
            std::FILE *clear = std::fopen("/proc/self/clear_refs", "w");
            if (!clear || std::fputs("5", clear) < 0)
                _exit(3);
            std::fclose(clear);
            const long before = statusKb("VmRSS:");
            const ScanOutcome o = scan(dev);
            const double ratio = double(statusKb("VmHWM:") - before) * 1024.0 / double(o.image.sizeInBytes());
            std::printf("[ measured ] hand scan at depth %d: peak %.2f x the picture\n", depth, ratio);
            std::fflush(stdout);
            _exit(o.kind != ScanOutcome::Done || o.image.height() != 6000 ? 2 : ratio <= 2.0 ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}
