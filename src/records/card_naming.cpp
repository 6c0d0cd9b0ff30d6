#include "records/card_naming.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>

QString DefaultCardNamePattern()
{
    return QStringLiteral("{achternaam}_{voornamen}_{geboortedatum}_{overlijdensdatum}");
}

QString CardFileName(const QString &pattern, const CardFacts &facts, const QString &extension,
                     const std::function<bool(const QString &)> &taken)
{
    for (const char *needed : {"achternaam", "geboortedatum", "overlijdensdatum"})
        if (CardFactValue(facts, QLatin1String(needed)).isEmpty() || facts.isUncertain(QLatin1String(needed)))
            return {};
    if (facts.isUncertain(QStringLiteral("voornamen")))
        return {};
    QString name = pattern;
    for (const QString &column : CardFactColumns())
        name.replace(QLatin1Char('{') + column + QLatin1Char('}'), CardFactValue(facts, column));
    // Separators, wildcards and control characters have no place in a name; nor a leading dot.
    static const QRegularExpression unfit(QStringLiteral("[/\\\\:*?\"<>|{}\\x00-\\x1f\\x7f]"));
    name.remove(unfit);
    name = name.simplified();
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    if (name.isEmpty())
        return {};
    QString candidate = name;
    for (int n = 2; taken(candidate + extension); ++n)
        candidate = name + QStringLiteral("-%1").arg(n);
    return candidate;
}

namespace {

constexpr int kSide = 32;

// A kSide × kSide grey copy, averaged over the pixels each cell covers.
std::array<double, kSide * kSide> SmallGrey(const QImage &picture)
{
    // The middle alone: a turned scan's corners and the glass along its edge say nothing of the card.
    const QRect middle = picture.rect().adjusted(picture.width() / 16, picture.height() / 16, -picture.width() / 16,
                                                 -picture.height() / 16);
    const QImage grey = picture.copy(middle).convertToFormat(QImage::Format_Grayscale8)
                            .scaled(kSide * 4, kSide * 4, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    std::array<double, kSide * kSide> cells{};
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *row = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            cells[(y / 4) * kSide + x / 4] += row[x] / 16.0;
    }
    return cells;
}

} // namespace

uint64_t LikenessHash(const QImage &picture)
{
    if (picture.isNull())
        return 0;
    const auto cells = SmallGrey(picture);
    // The 8 × 8 lowest frequencies of a 2-D DCT, the constant one left out.
    std::array<double, 64> low{};
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double sum = 0;
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x)
                    sum += cells[y * kSide + x] * std::cos((2 * x + 1) * u * M_PI / (2 * kSide))
                           * std::cos((2 * y + 1) * v * M_PI / (2 * kSide));
            low[v * 8 + u] = sum;
        }
    std::array<double, 63> ac;
    std::copy(low.begin() + 1, low.end(), ac.begin());
    std::nth_element(ac.begin(), ac.begin() + 31, ac.end());
    const double median = ac[31];
    uint64_t hash = 0;
    for (int i = 1; i < 64; ++i)
        hash |= uint64_t(low[i] > median) << i;
    return hash;
}

int LikenessDistance(uint64_t a, uint64_t b) { return int(std::bitset<64>(a ^ b).count()); }

bool SameLikeness(uint64_t a, uint64_t b) { return LikenessDistance(a, b) <= 12; }
