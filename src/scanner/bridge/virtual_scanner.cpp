#include "scanner/bridge/virtual_scanner.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <atomic>
#include <cmath>
#include <cstring>

namespace {

constexpr double kCardWidthMm = 56.0, kCardHeightMm = 95.0;
constexpr double kMarginXMm = 12.0, kGapXMm = 12.0, kMarginYMm = 22.0, kGapYMm = 24.0;

std::atomic<bool> g_nextBack{false};

int mmToPx(double mm, int dpi) { return int(std::lround(mm / 25.4 * dpi)); }

// Seven-segment digit, so no fonts are needed (the library may run without a GUI).
void drawDigit(QPainter &p, int digit, QRectF r, const QColor &c)
{
    static const unsigned char seg[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    const double t = r.width() * 0.18, w = r.width(), h = r.height();
    const QRectF bars[7] = {
        {r.left() + t, r.top(), w - 2 * t, t},                     // a
        {r.right() - t, r.top() + t, t, h / 2 - 1.5 * t},          // b
        {r.right() - t, r.top() + h / 2 + t / 2, t, h / 2 - 1.5 * t}, // c
        {r.left() + t, r.bottom() - t, w - 2 * t, t},              // d
        {r.left(), r.top() + h / 2 + t / 2, t, h / 2 - 1.5 * t},   // e
        {r.left(), r.top() + t, t, h / 2 - 1.5 * t},               // f
        {r.left() + t, r.top() + h / 2 - t / 2, w - 2 * t, t},     // g
    };
    for (int i = 0; i < 7; ++i)
        if (seg[digit % 10] & (1 << i))
            p.fillRect(bars[i], c);
}

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

// The printed lines, centred in `area`; a line too wide for it is set smaller.
void drawBackText(QPainter &p, int index, const QRectF &area, double u, const QColor &ink)
{
    const QStringList lines = VirtualCardBackText(index);
    const double step = area.height() / lines.size();
    p.setPen(ink);
    for (int i = 0; i < lines.size(); ++i) {
        QFont font(QStringLiteral("DejaVu Serif"));
        font.setPixelSize(std::max(1, int(std::lround((i == 2 ? 3.4 : 3.0) * u))));
        font.setBold(i == 2);
        const double width = QFontMetricsF(font).horizontalAdvance(lines[i]);
        if (width > area.width())
            font.setPixelSize(std::max(1, int(font.pixelSize() * area.width() / width)));
        p.setFont(font);
        p.drawText(QRectF(area.left(), area.top() + i * step, area.width(), step), Qt::AlignCenter, lines[i]);
    }
}

// One card, drawn small enough for QPainter, then copied row by row.
QImage drawCard(int index, bool back, int w, int h)
{
    QImage card(w, h, QImage::Format_RGB32);
    const QColor border(238, 230, 208), ink(60, 48, 36);
    card.fill(border);
    QPainter p(&card);
    p.setRenderHint(QPainter::Antialiasing);
    const double u = w / 56.0;  // one millimetre
    const QRectF inner(3 * u, 3 * u, w - 6 * u, h - 6 * u);
    if (!back) {
        p.fillRect(inner, QColor(196, 178, 150));
        // A portrait: head and shoulders in an oval frame.
        QRectF oval(inner.left() + 8 * u, inner.top() + 6 * u, inner.width() - 16 * u, 45 * u);
        p.setPen(QPen(ink, 1.2 * u));
        p.setBrush(QColor(150, 128, 100));
        p.drawEllipse(oval);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(90, 72, 56));
        p.drawEllipse(QRectF(oval.center().x() - 7 * u, oval.top() + 8 * u, 14 * u, 17 * u));
        p.drawChord(QRectF(oval.center().x() - 15 * u, oval.top() + 27 * u, 30 * u, 30 * u), 0, 180 * 16);
        // A small cross per card, shifted so the cards differ.
        const double cx = inner.left() + (8 + 6 * (index % 3)) * u, cy = inner.top() + 58 * u;
        p.fillRect(QRectF(cx - 0.8 * u, cy - 4 * u, 1.6 * u, 10 * u), ink);
        p.fillRect(QRectF(cx - 3 * u, cy - 1.5 * u, 6 * u, 1.6 * u), ink);
        drawDigit(p, index + 1, QRectF(inner.right() - 20 * u, inner.bottom() - 26 * u, 12 * u, 20 * u), ink);
    } else {
        p.fillRect(inner, QColor(226, 222, 212));
        const QColor text(70, 66, 60);
        p.fillRect(QRectF(inner.center().x() - 0.8 * u, inner.top() + 3 * u, 1.6 * u, 9 * u), text);
        p.fillRect(QRectF(inner.center().x() - 3 * u, inner.top() + 5.5 * u, 6 * u, 1.6 * u), text);
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
            drawBackText(p, index, inner.adjusted(3 * u, 15 * u, -3 * u, -13 * u), u, text);
        } else {
            // Without a GUI there are no fonts: lines of varying length stand for the text.
            unsigned seed = 977u * unsigned(index + 1);
            double y = inner.top() + 16 * u;
            while (y < inner.bottom() - 14 * u) {
                seed = seed * 1103515245u + 12345u;
                const double len = inner.width() * (0.55 + 0.35 * ((seed >> 16) % 100) / 100.0);
                p.fillRect(QRectF(inner.center().x() - len / 2 + 2 * u, y, len - 4 * u, 1.4 * u), text);
                y += 4.2 * u;
            }
        }
        drawDigit(p, index + 1, QRectF(inner.center().x() - 3 * u, inner.bottom() - 11 * u, 6 * u, 9 * u), text);
    }
    p.end();
    return card;
}

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
    const int w = mmToPx(kCardWidthMm, dpi), h = mmToPx(kCardHeightMm, dpi);
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col) {
            // A little unevenly across, as a hand would, but each row on one line:
            // the detection numbers cards in the order it meets them from the top.
            const double jitterX = ((row * 3 + col) % 3 - 1) * 0.8, jitterY = 0.0;
            const int x = mmToPx(kMarginXMm + col * (kCardWidthMm + kGapXMm) + jitterX, dpi);
            const int y = mmToPx(kMarginYMm + row * (kCardHeightMm + kGapYMm) + jitterY, dpi);
            rects.emplace_back(x, y, w, h);
        }
    return rects;
}

QImage VirtualScanPage(int dpi, bool back)
{
    dpi = std::max(1, dpi);
    const int width = mmToPx(kGlassWidthMm, dpi), height = mmToPx(kGlassHeightMm, dpi);
    QImage page(width, height, QImage::Format_BGR888);
    if (page.isNull())
        return page;
    for (int y = 0; y < height; ++y)
        std::memset(page.scanLine(y), 255, size_t(width) * 3);
    const std::vector<QRect> rects = VirtualCardRects(dpi);
    for (int i = 0; i < int(rects.size()); ++i) {
        const QRect r = rects[size_t(i)].intersected(page.rect());
        if (r.isEmpty())
            continue;
        const QImage card = drawCard(i, back, rects[size_t(i)].width(), rects[size_t(i)].height())
                                .convertToFormat(QImage::Format_BGR888);
        // Sensor noise on the card only; the glass stays pure white.
        uint32_t seed = 2654435761u * uint32_t(i + 1) + (back ? 97u : 0u);
        for (int y = 0; y < r.height(); ++y) {
            const uchar *src = card.constScanLine(y);
            uchar *dst = page.scanLine(r.top() + y) + size_t(r.left()) * 3;
            std::memcpy(dst, src, size_t(r.width()) * 3);
            for (int x = 0; x < r.width() * 3; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const int v = dst[x] + int((seed >> 24) % 5) - 2;
                dst[x] = uchar(std::min(245, std::max(0, v)));
            }
        }
    }
    return page;
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
        p->pixels_per_line = m_page.isNull() ? mmToPx(kGlassWidthMm, m_dpi) : m_page.width();
        p->lines = m_page.isNull() ? mmToPx(kGlassHeightMm, m_dpi) : m_page.height();
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
