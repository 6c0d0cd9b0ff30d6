// Every vector path the processor offers gives the very bytes of the plain one.
#include "common/simd_path.h"
#include "common/synthetic_scan.h"
#include "detection/cut_out.h"
#include "detection/straighten.h"

#include <gtest/gtest.h>

namespace {

bool SameBytes(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.format() != b.format())
        return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), size_t(a.width()) * 3) != 0)
            return false;
    return true;
}

// The paths to compare with the plain one, as far as this processor goes.
std::vector<SimdPath> VectorPaths()
{
    std::vector<SimdPath> paths;
    for (SimdPath p : {SimdPath::Sse2, SimdPath::Avx2})
        if (p <= ProcessorSimdPath())
            paths.push_back(p);
    return paths;
}

} // namespace

// A card on its glass cut out, turned upright and whitened or not; odd widths
// end rows between the eight-pixel passes.
TEST(SimdPaths, CutOutCardsAreTheSameBytesOnEveryPath)
{
    struct Case {
        int width, height;
        double lean;
        bool whiten;
    } cases[] = {
        {901, 1000, 6.5, true}, {901, 1000, 6.5, false}, {640, 777, -3.2, true}, {333, 501, 11.0, false},
    };
    if (VectorPaths().empty())
        GTEST_SKIP() << "no vector path on this processor";
    for (const Case &c : cases) {
        SyntheticCard card;
        card.rect = QRect(c.width / 5, c.height / 6, c.width * 3 / 5, c.height * 2 / 3);
        card.lean = c.lean;
        card.border = card.face = QColor(236, 226, 198);
        card.photo = true;
        card.noise = 2;
        const QImage scan = MakeScan(c.width, c.height, {52, 60, 70, 3, 1}, {card});
        CutOutSettings settings;
        settings.whiten = c.whiten;
        settings.straighten = true;
        settings.background = PlatformColour(52, 60, 70);
        settings.key = BackgroundKey::fromColour(settings.background, 14);
        const ScanBox box{card.rect.left() - 30, card.rect.top() - 30, card.rect.right() + 30, card.rect.bottom() + 30};
        const auto cut = [&](SimdPath path) {
            const SimdPathOverride use(path);
            QImage work = scan.copy();
            return MakeBoxPicture(work, box, nullptr, nullptr, settings).joined;
        };
        const QImage plain = cut(SimdPath::Plain);
        ASSERT_FALSE(plain.isNull());
        for (SimdPath path : VectorPaths())
            EXPECT_TRUE(SameBytes(cut(path), plain)) << c.width << " " << c.lean << " " << c.whiten << " " << int(path);
    }
}

// Noise turned (every lane, channel and tap shows), boxes reaching past the
// scan and ones too narrow for the wide passes.
TEST(SimdPaths, TurnedNoiseIsTheSameBytesOnEveryPath)
{
    QImage scan(701, 503, QImage::Format_BGR888);
    uint32_t seed = 9;
    for (int y = 0; y < scan.height(); ++y)
        for (int x = 0; x < scan.width() * 3; ++x)
            scan.scanLine(y)[x] = uchar((seed = seed * 1664525u + 1013904223u) >> 24);
    const struct {
        ScanBox box;
        double lean;
    } cases[] = {{{10, 10, 690, 490}, 7.3}, {{-40, 250, 231, 560}, -11.0}, {{20, 20, 27, 180}, -4.0}, {{0, 0, 701, 503}, 0.5}};
    for (const auto &c : cases) {
        CardLean lean;
        lean.confident = true;
        lean.degrees = c.lean;
        lean.centreX = (c.box.left + c.box.right) / 2.0 + 0.3;
        lean.centreY = (c.box.top + c.box.bottom) / 2.0 - 0.2;
        const auto turn = [&](SimdPath path) {
            const SimdPathOverride use(path);
            QImage out(c.box.width(), c.box.height(), QImage::Format_BGR888);
            DrawStraightened(scan, c.box, lean, out, 0, 0, PlatformColour(10, 200, 30), 1);
            return out;
        };
        const QImage plain = turn(SimdPath::Plain);
        for (SimdPath path : VectorPaths())
            EXPECT_TRUE(SameBytes(turn(path), plain)) << c.lean << " " << int(path);
    }
}
