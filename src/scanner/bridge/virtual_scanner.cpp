#include "scanner/bridge/virtual_scanner.h"

#include "common/synthetic_scan.h"

#include <atomic>
#include <cmath>
#include <cstring>

namespace {

constexpr double kCardWidthMm = 56.0, kCardHeightMm = 95.0;
constexpr double kMarginXMm = 12.0, kGapXMm = 12.0, kMarginYMm = 22.0, kGapYMm = 24.0;

std::atomic<bool> g_nextBack{false};

struct CardPerson {
    const char *name, *bornIn, *bornOn, *diedIn, *diedOn;
    bool male;
};
const CardPerson kPeople[] = {
    {"Johannes Petrus Jansen", "Tilburg", "12 maart 1881", "Breda", "3 januari 1952", true},
    {"Maria Catharina de Vries", "Eindhoven", "5 juni 1890", "Helmond", "17 oktober 1961", false},
    {"Hendrikus van Dijk", "Oss", "21 april 1875", "Uden", "9 februari 1948", true},
    {"Anna Bakker", "Venlo", "30 juli 1902", "Roermond", "14 mei 1979", false},
    {"Cornelis Visser", "Delft", "8 december 1868", "Leiden", "2 augustus 1939", true},
    {"Wilhelmina Smits", "Weert", "19 september 1911", "Maastricht", "25 november 1987", false},
};

} // namespace

QStringList VirtualCardBackText(int index)
{
    const CardPerson &c = kPeople[size_t(std::abs(index) % int(std::size(kPeople)))];
    const QString pronoun = c.male ? QStringLiteral("hem") : QStringLiteral("haar");
    return {QStringLiteral("Bid voor de ziel van"),
            QStringLiteral("zaliger"),
            QString::fromUtf8(c.name),
            QStringLiteral("geboren te ") + QString::fromUtf8(c.bornIn),
            QStringLiteral("op ") + QString::fromUtf8(c.bornOn),
            QStringLiteral("overleden te ") + QString::fromUtf8(c.diedIn),
            QStringLiteral("op ") + QString::fromUtf8(c.diedOn),
            QStringLiteral("Heer, geef ") + pronoun + QStringLiteral(" de"),
            QStringLiteral("eeuwige rust.")};
}

std::vector<QRect> VirtualCardRects(int dpi)
{
    std::vector<QRect> rects;
    const int w = MmToPixels(kCardWidthMm, dpi), h = MmToPixels(kCardHeightMm, dpi);
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col) {
            // A little unevenly across, as a hand would, but each row on one line:
            // the detection numbers cards in the order it meets them from the top.
            const double jitterX = ((row * 3 + col) % 3 - 1) * 0.8, jitterY = 0.0;
            const int x = MmToPixels(kMarginXMm + col * (kCardWidthMm + kGapXMm) + jitterX, dpi);
            const int y = MmToPixels(kMarginYMm + row * (kCardHeightMm + kGapYMm) + jitterY, dpi);
            rects.emplace_back(x, y, w, h);
        }
    return rects;
}

QImage VirtualScanPage(int dpi, bool back)
{
    dpi = std::max(1, dpi);
    std::vector<SyntheticCard> cards;
    const std::vector<QRect> rects = VirtualCardRects(dpi);
    for (int i = 0; i < int(rects.size()); ++i) {
        SyntheticCard card;
        card.rect = rects[size_t(i)];
        card.look = back ? CardLook::Prayer : CardLook::Portrait;
        card.number = i + 1;
        if (back) {
            card.lines = VirtualCardBackText(i);
            card.emphasis = 2;   // the name
        }
        // Sensor noise on the cards only; the glass stays pure white.
        card.noise = 2;
        card.seed = 2654435761u * uint32_t(i + 1) + (back ? 97u : 0u);
        card.brightest = 245;
        cards.push_back(card);
    }
    SyntheticGlass glass;
    glass.noise = 0;
    return MakeScan(MmToPixels(kGlassWidthMm, dpi), MmToPixels(kGlassHeightMm, dpi), glass, cards);
}

bool VirtualScannerNextIsBack() { return g_nextBack.load(); }
void SetVirtualScannerNextIsBack(bool back) { g_nextBack.store(back); }

namespace {

const SANE_String_Const kSides[] = {"Voorkant", "Achterkant", nullptr};
const SANE_Range kDpiRange = {25, 1200, 1};

class VirtualDevice : public SaneDevice {
public:
    VirtualDevice()
    {
        m_desc[0] = {SANE_NAME_NUM_OPTIONS, SANE_TITLE_NUM_OPTIONS, SANE_DESC_NUM_OPTIONS, SANE_TYPE_INT,
                     SANE_UNIT_NONE, sizeof(SANE_Word), SANE_CAP_SOFT_DETECT, SANE_CONSTRAINT_NONE, {nullptr}};
        m_desc[1] = {SANE_NAME_SCAN_RESOLUTION, "Resolutie", "Beeldpunten per inch", SANE_TYPE_INT,
                     SANE_UNIT_DPI, sizeof(SANE_Word), SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT,
                     SANE_CONSTRAINT_RANGE, {nullptr}};
        m_desc[1].constraint.range = &kDpiRange;
        m_desc[2] = {"side", "Zijde", "Welke kant van de kaarten boven ligt", SANE_TYPE_STRING, SANE_UNIT_NONE, 16,
                     SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT, SANE_CONSTRAINT_STRING_LIST, {nullptr}};
        m_desc[2].constraint.string_list = kSides;
    }
    const SANE_Option_Descriptor *getOptionDescriptor(SANE_Int option) override
    {
        return option >= 0 && option < 3 ? &m_desc[option] : nullptr;
    }
    SANE_Status controlOption(SANE_Int option, SANE_Action action, void *value, SANE_Int *info) override
    {
        if (info)
            *info = 0;
        if (!value || option < 0 || option > 2 || (option == 0 && action != SANE_ACTION_GET_VALUE))
            return SANE_STATUS_INVAL;
        if (action == SANE_ACTION_GET_VALUE) {
            if (option == 0)
                *static_cast<SANE_Word *>(value) = 3;
            else if (option == 1)
                *static_cast<SANE_Word *>(value) = m_dpi;
            else
                std::strcpy(static_cast<char *>(value), kSides[VirtualScannerNextIsBack() ? 1 : 0]);
            return SANE_STATUS_GOOD;
        }
        if (action != SANE_ACTION_SET_VALUE)
            return SANE_STATUS_UNSUPPORTED;
        if (option == 1) {
            SANE_Word v = *static_cast<SANE_Word *>(value);
            const SANE_Word clamped = std::min(kDpiRange.max, std::max(kDpiRange.min, v));
            if (clamped != v && info)
                *info |= SANE_INFO_INEXACT;
            m_dpi = clamped;
            if (info)
                *info |= SANE_INFO_RELOAD_PARAMS;
            return SANE_STATUS_GOOD;
        }
        const char *s = static_cast<const char *>(value);
        if (std::strcmp(s, kSides[0]) == 0)
            SetVirtualScannerNextIsBack(false);
        else if (std::strcmp(s, kSides[1]) == 0)
            SetVirtualScannerNextIsBack(true);
        else
            return SANE_STATUS_INVAL;
        return SANE_STATUS_GOOD;
    }
    SANE_Status getParameters(SANE_Parameters *p) override
    {
        p->format = SANE_FRAME_RGB;
        p->last_frame = SANE_TRUE;
        p->depth = 8;
        p->pixels_per_line = m_page.isNull() ? MmToPixels(kGlassWidthMm, m_dpi) : m_page.width();
        p->lines = m_page.isNull() ? MmToPixels(kGlassHeightMm, m_dpi) : m_page.height();
        p->bytes_per_line = p->pixels_per_line * 3;
        return SANE_STATUS_GOOD;
    }
    SANE_Status start() override
    {
        m_cancelled = false;
        m_back = VirtualScannerNextIsBack();
        m_page = VirtualScanPage(m_dpi, m_back);
        m_pos = 0;
        return m_page.isNull() ? SANE_STATUS_NO_MEM : SANE_STATUS_GOOD;
    }
    SANE_Status read(SANE_Byte *data, SANE_Int maxLength, SANE_Int *length) override
    {
        *length = 0;
        if (m_cancelled) {
            m_page = QImage();
            return SANE_STATUS_CANCELLED;
        }
        if (m_page.isNull())
            return SANE_STATUS_INVAL;
        const uint64_t bpl = uint64_t(m_page.width()) * 3, total = bpl * uint64_t(m_page.height());
        if (m_pos >= total) {
            m_page = QImage();
            SetVirtualScannerNextIsBack(!m_back);
            return SANE_STATUS_EOF;
        }
        SANE_Int n = 0;
        while (n < maxLength && m_pos < total) {
            const int y = int(m_pos / bpl);
            const uint64_t col = m_pos % bpl;
            const uint64_t take = std::min<uint64_t>(bpl - col, uint64_t(maxLength - n));
            const uchar *src = m_page.constScanLine(y) + col;
            for (uint64_t k = 0; k < take; ++k) {
                // Page bytes are blue, green, red; SANE wants red, green, blue.
                const uint64_t c = (col + k) % 3;
                data[n + SANE_Int(k)] = src[k + 2 - 2 * c];
            }
            n += SANE_Int(take);
            m_pos += take;
        }
        *length = n;
        return SANE_STATUS_GOOD;
    }
    void cancel() override { m_cancelled = true; }

private:
    SANE_Option_Descriptor m_desc[3];
    SANE_Word m_dpi = 300;
    QImage m_page;
    uint64_t m_pos = 0;
    bool m_back = false;
    std::atomic<bool> m_cancelled{false};
};

} // namespace

std::unique_ptr<SaneDevice> OpenVirtualScanner() { return std::make_unique<VirtualDevice>(); }
