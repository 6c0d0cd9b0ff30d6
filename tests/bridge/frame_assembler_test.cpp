// Assembling pictures from device bytes: every format, padded lines, unknown
// length, and deliveries that must be refused.
#include "fake_sane.h"
#include "scanner/bridge/frame_assembler.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

ScanFrame frameOf(const SANE_Parameters &p, std::vector<uint8_t> data)
{
    ScanFrame f;
    f.params = p;
    f.data = std::move(data);
    return f;
}

ScanFrame filled(const SANE_Parameters &p, const std::function<uint8_t(size_t)> &fill)
{
    FakeFrame ff = MakeFrame(p, fill);
    return frameOf(p, ff.data);
}

QRgb at(const QImage &img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }

} // namespace

TEST(FrameAssembler, GreyEightBitIgnoresLinePadding)
{
    const SANE_Parameters p = Params(SANE_FRAME_GRAY, 8, 5, 3, /*padding*/ 3);
    // Padding bytes are 0xEE: they must never show.
    const ScanFrame f = filled(p, [&](size_t i) { return i % 8 >= 5 ? 0xEE : uint8_t(i / 8 * 10 + i % 8); });
    const AssembledPicture pic = AssembleFrames({f});
    ASSERT_TRUE(pic.error.isEmpty()) << pic.error.toStdString();
    ASSERT_EQ(pic.image.format(), QImage::Format_Grayscale8);
    ASSERT_EQ(pic.image.size(), QSize(5, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(pic.image.constScanLine(y)[x], y * 10 + x);
}

TEST(FrameAssembler, SixteenBitSamplesAreMachineOrderAndKeepTheirHighByte)
{
    const SANE_Parameters p = Params(SANE_FRAME_GRAY, 16, 2, 1);
    std::vector<uint8_t> data(4);
    const uint16_t samples[2] = {0x12AB, 0xFF01};
    std::memcpy(data.data(), samples, 4);
    const AssembledPicture pic = AssembleFrames({frameOf(p, data)});
    ASSERT_TRUE(pic.error.isEmpty());
    EXPECT_EQ(pic.image.constScanLine(0)[0], 0x12);
    EXPECT_EQ(pic.image.constScanLine(0)[1], 0xFF);
}

TEST(FrameAssembler, LineArtKeepsSetBitsBlackAndClearsTheTail)
{
    // 10 pixels: bits 1011000011 then 6 unused bits set, plus a padding byte.
    const SANE_Parameters p = Params(SANE_FRAME_GRAY, 1, 10, 1, 1);
    const AssembledPicture pic = AssembleFrames({frameOf(p, {0xB0, 0xFF, 0xAA})});
    ASSERT_TRUE(pic.error.isEmpty());
    ASSERT_EQ(pic.image.format(), QImage::Format_Mono);
    const char *expect = "1011000011";
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(at(pic.image, x, 0), expect[x] == '1' ? 0x000000u : 0xFFFFFFu) << x;
    EXPECT_EQ(pic.image.constScanLine(0)[1], 0xC0);  // unused bits are white
}

TEST(FrameAssembler, ColourAtEachDepthBecomesBlueGreenRed)
{
    {
        const SANE_Parameters p = Params(SANE_FRAME_RGB, 8, 2, 1, 2);
        const AssembledPicture pic = AssembleFrames({frameOf(p, {10, 20, 30, 40, 50, 60, 0, 0})});
        ASSERT_TRUE(pic.error.isEmpty());
        ASSERT_EQ(pic.image.format(), QImage::Format_BGR888);
        EXPECT_EQ(at(pic.image, 0, 0), qRgb(10, 20, 30) & 0xFFFFFFu);
        EXPECT_EQ(at(pic.image, 1, 0), qRgb(40, 50, 60) & 0xFFFFFFu);
        EXPECT_EQ(pic.image.constScanLine(0)[0], 30);  // blue first in memory
    }
    {
        const SANE_Parameters p = Params(SANE_FRAME_RGB, 16, 1, 1);
        std::vector<uint8_t> data(6);
        const uint16_t s[3] = {0x0100, 0x8000, 0xFFFF};
        std::memcpy(data.data(), s, 6);
        const AssembledPicture pic = AssembleFrames({frameOf(p, data)});
        ASSERT_TRUE(pic.error.isEmpty());
        EXPECT_EQ(at(pic.image, 0, 0), qRgb(1, 0x80, 0xFF) & 0xFFFFFFu);
    }
    {
        // Depth 1 colour: one bit per sample, set = no light.
        const SANE_Parameters p = Params(SANE_FRAME_RGB, 1, 2, 1);  // 6 bits: R G B R G B
        const AssembledPicture pic = AssembleFrames({frameOf(p, {0b10001100})});
        ASSERT_TRUE(pic.error.isEmpty());
        EXPECT_EQ(at(pic.image, 0, 0), qRgb(0, 255, 255) & 0xFFFFFFu);
        EXPECT_EQ(at(pic.image, 1, 0), qRgb(255, 0, 0) & 0xFFFFFFu);
    }
}

TEST(FrameAssembler, ThreePassFramesMayArriveInAnyOrder)
{
    for (int depth : {8, 16}) {
        std::vector<ScanFrame> frames;
        const SANE_Frame order[3] = {SANE_FRAME_GREEN, SANE_FRAME_BLUE, SANE_FRAME_RED};
        for (int k = 0; k < 3; ++k) {
            SANE_Parameters p = Params(order[k], depth, 3, 2, 1, k == 2);
            const uint8_t base = order[k] == SANE_FRAME_RED ? 100 : order[k] == SANE_FRAME_GREEN ? 150 : 200;
            frames.push_back(filled(p, [&](size_t i) {
                const size_t bpl = size_t(p.bytes_per_line), col = i % bpl;
                if (depth == 16)  // high byte carries the value on this machine
                    return col % 2 == 1 ? uint8_t(base + i / bpl) : uint8_t(0x77);
                return uint8_t(base + i / bpl);
            }));
        }
        const AssembledPicture pic = AssembleFrames(frames);
        ASSERT_TRUE(pic.error.isEmpty()) << pic.error.toStdString();
        ASSERT_EQ(pic.image.size(), QSize(3, 2));
        EXPECT_EQ(at(pic.image, 2, 1), qRgb(101, 151, 201) & 0xFFFFFFu) << depth;
        EXPECT_EQ(at(pic.image, 0, 0), qRgb(100, 150, 200) & 0xFFFFFFu) << depth;
    }
}

TEST(FrameAssembler, ThreePassRefusesMissingDuplicateOrMismatchedColours)
{
    const SANE_Parameters r = Params(SANE_FRAME_RED, 8, 3, 2), g = Params(SANE_FRAME_GREEN, 8, 3, 2);
    SANE_Parameters bNarrow = Params(SANE_FRAME_BLUE, 8, 2, 2);
    auto z = [](size_t) { return uint8_t(0); };
    EXPECT_FALSE(AssembleFrames({filled(r, z), filled(g, z)}).error.isEmpty());
    EXPECT_FALSE(AssembleFrames({filled(r, z), filled(g, z), filled(g, z)}).error.isEmpty());
    EXPECT_FALSE(AssembleFrames({filled(r, z), filled(g, z), filled(bNarrow, z)}).error.isEmpty());
    // A grey frame is a whole scan: a second frame is not expected.
    const SANE_Parameters grey = Params(SANE_FRAME_GRAY, 8, 3, 2);
    EXPECT_FALSE(AssembleFrames({filled(grey, z), filled(grey, z)}).error.isEmpty());
}

TEST(FrameAssembler, UnknownLineCountTakesEveryWholeLineThatArrived)
{
    const SANE_Parameters p = Params(SANE_FRAME_GRAY, 8, 4, -1, 1);  // 5 bytes per line
    std::vector<uint8_t> data(5 * 7 + 3, 9);  // seven lines and part of an eighth
    const AssembledPicture pic = AssembleFrames({frameOf(p, data)});
    ASSERT_TRUE(pic.error.isEmpty());
    EXPECT_EQ(pic.image.size(), QSize(4, 7));
    EXPECT_FALSE(AssembleFrames({frameOf(p, {1, 2, 3})}).error.isEmpty());  // not one whole line
}

TEST(FrameAssembler, ShortDeliveryIsAnErrorAndLongDeliveryKeepsTheAnnouncedSize)
{
    const SANE_Parameters p = Params(SANE_FRAME_RGB, 8, 4, 10);
    const AssembledPicture shortPic = AssembleFrames({frameOf(p, std::vector<uint8_t>(12 * 9 + 5))});
    EXPECT_TRUE(shortPic.image.isNull());
    EXPECT_TRUE(shortPic.error.contains("9 van de 10")) << shortPic.error.toStdString();
    const AssembledPicture longPic = AssembleFrames({frameOf(p, std::vector<uint8_t>(12 * 13))});
    ASSERT_TRUE(longPic.error.isEmpty());
    EXPECT_EQ(longPic.image.size(), QSize(4, 10));
}

TEST(FrameAssembler, ImpossibleParametersAreRefusedBeforeAllocating)
{
    const SANE_Parameters p = Params(SANE_FRAME_GRAY, 8, 10, 10);
    EXPECT_TRUE(ValidateParameters(p).isEmpty());
    const std::function<void(SANE_Parameters &)> faults[] = {
        [](SANE_Parameters &b) { b.depth = 12; },
        [](SANE_Parameters &b) { b.pixels_per_line = 0; },
        [](SANE_Parameters &b) { b.lines = -2; },
        [](SANE_Parameters &b) { b.lines = 0; },
        [](SANE_Parameters &b) { b.bytes_per_line = 9; },  // fewer bytes than pixels
        [](SANE_Parameters &b) { b.format = SANE_Frame(42); },
    };
    for (size_t i = 0; i < std::size(faults); ++i) {
        SANE_Parameters bad = p;
        faults[i](bad);
        EXPECT_FALSE(ValidateParameters(bad).isEmpty()) << "fault " << i;
    }
    // 40000 × 40000 colour is 4.8 GB: no BMP can hold it. Nothing may be allocated.
    SANE_Parameters bad = Params(SANE_FRAME_RGB, 8, 40000, 40000);
    EXPECT_TRUE(ValidateParameters(bad).contains("4 GB"));
    EXPECT_TRUE(AssembleFrames({frameOf(bad, {})}).error.contains("4 GB"));
    // The same size in line art is small enough.
    EXPECT_TRUE(ValidateParameters(Params(SANE_FRAME_GRAY, 1, 40000, 40000)).isEmpty());
    // Widths whose byte counts overflow 32 bits.
    bad = Params(SANE_FRAME_RGB, 16, INT32_MAX / 2, 1);
    bad.bytes_per_line = INT32_MAX;
    EXPECT_FALSE(ValidateParameters(bad).isEmpty());
}

TEST(FrameAssembler, BmpFileSizeIsComputedInSixtyFourBits)
{
    EXPECT_EQ(BmpFileBytes(3, 2, 24), 14u + 40u + 12u * 2u);
    EXPECT_EQ(BmpFileBytes(10, 1, 1), 14u + 40u + 8u + 4u);
    EXPECT_EQ(BmpFileBytes(5, 1, 8), 14u + 40u + 1024u + 8u);
    EXPECT_GT(BmpFileBytes(70000, 70000, 24), kMaxBmpFileBytes);
}

TEST(FrameAssembler, RowsBuiltWhileTheyArriveGiveTheSamePicture)
{
    struct Kind {
        SANE_Frame format;
        int depth;
    } kinds[] = {{SANE_FRAME_RGB, 8}, {SANE_FRAME_RGB, 16}, {SANE_FRAME_GRAY, 8}, {SANE_FRAME_GRAY, 16},
                 {SANE_FRAME_GRAY, 1}};
    for (const Kind &k : kinds)
        for (int width : {1, 2, 3, 4, 5, 7, 8, 9, 17})
            for (size_t chunk : {size_t(1), size_t(5), size_t(64), size_t(100000)})
                for (bool unknownHeight : {false, true}) {
                const SANE_Parameters p = Params(k.format, k.depth, width, 6, /*padding*/ 2);
                const ScanFrame whole = filled(p, [](size_t i) { return uint8_t(i * 131 + 7); });
                const AssembledPicture expected = AssembleFrames({whole});
                ASSERT_TRUE(expected.error.isEmpty());

                std::vector<ScanFrame> frames(1);
                frames[0].params = p;
                if (unknownHeight)
                    frames[0].params.lines = -1;
                PartialPicture part = BeginRows(frames[0].params);
                ASSERT_EQ(part.image.isNull(), unknownHeight);
                part.bandRows = std::min<int64_t>(part.bandRows, 4);  // across a band's end
                for (size_t at = 0; at < whole.data.size(); at += chunk) {
                    const size_t n = std::min(chunk, whole.data.size() - at);
                    frames[0].data.insert(frames[0].data.end(), whole.data.begin() + at, whole.data.begin() + at + n);
                    AddRows(frames[0], part);
                }
                const AssembledPicture got = AssembleFrames(frames, &part);
                ASSERT_TRUE(got.error.isEmpty());
                EXPECT_EQ(got.image, expected.image) << k.format << "/" << k.depth << " width " << width;
                EXPECT_EQ(got.image.colorTable(), expected.image.colorTable());
            }
}

TEST(FrameAssembler, EightBitColourSwapsRedAndBlueAtEveryWidth)
{
    for (int width = 1; width <= 13; ++width) {
        const SANE_Parameters p = Params(SANE_FRAME_RGB, 8, width, 2);
        const ScanFrame f = filled(p, [](size_t i) { return uint8_t(i * 37 + 1); });
        const AssembledPicture pic = AssembleFrames({f});
        ASSERT_TRUE(pic.error.isEmpty());
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t *s = f.data.data() + size_t(y) * size_t(p.bytes_per_line) + 3 * size_t(x);
                const uchar *d = pic.image.constScanLine(y) + 3 * x;
                ASSERT_EQ(d[0], s[2]) << width << " " << x;
                ASSERT_EQ(d[1], s[1]);
                ASSERT_EQ(d[2], s[0]);
            }
    }
}

TEST(FrameAssembler, AnIncompleteFrameStaysRefusedWhenBuiltWhileArriving)
{
    const SANE_Parameters p = Params(SANE_FRAME_RGB, 8, 4, 10);
    const ScanFrame whole = filled(p, [](size_t i) { return uint8_t(i); });
    std::vector<ScanFrame> frames(1);
    frames[0].params = p;
    frames[0].data.assign(whole.data.begin(), whole.data.begin() + 12 * 9 + 5);
    PartialPicture part = BeginRows(p);
    AddRows(frames[0], part);
    EXPECT_EQ(part.rows, 9);
    const AssembledPicture pic = AssembleFrames(frames, &part);
    EXPECT_TRUE(pic.image.isNull());
    EXPECT_FALSE(pic.error.isEmpty());
}
