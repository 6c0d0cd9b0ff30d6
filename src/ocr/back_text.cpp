#include "ocr/back_text.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <time.h>

namespace {

QImage ToGrey(const QImage &back)
{
    if (back.format() == QImage::Format_Grayscale8)
        return back;
    return back.convertToFormat(QImage::Format_Grayscale8);
}

// The glass's grey: the median of the picture's outermost ring.
int GlassLevel(const QImage &g)
{
    std::array<qint64, 256> hist{};
    const int w = g.width(), h = g.height();
    for (int x = 0; x < w; ++x) {
        ++hist[g.constScanLine(0)[x]];
        ++hist[g.constScanLine(h - 1)[x]];
    }
    for (int y = 0; y < h; ++y) {
        ++hist[g.constScanLine(y)[0]];
        ++hist[g.constScanLine(y)[w - 1]];
    }
    const qint64 half = qint64(w + h) * 2 / 2;
    qint64 seen = 0;
    for (int v = 0; v < 256; ++v)
        if ((seen += hist[size_t(v)]) >= half)
            return v;
    return 255;
}

// Rows (or columns) that are nearly all glass lie outside the card.
bool IsGlassRow(const QImage &g, int y, int glass)
{
    const uchar *p = g.constScanLine(y);
    int off = 0;
    for (int x = 0; x < g.width(); ++x)
        off += std::abs(p[x] - glass) > 24;
    return off * 50 < g.width();   // under 2 %
}

bool IsGlassColumn(const QImage &g, int x, int glass)
{
    int off = 0;
    for (int y = 0; y < g.height(); ++y)
        off += std::abs(g.constScanLine(y)[x] - glass) > 24;
    return off * 50 < g.height();
}

QRect CardRect(const QImage &g)
{
    const int glass = GlassLevel(g);
    int top = 0, bottom = g.height() - 1, left = 0, right = g.width() - 1;
    while (top < bottom && IsGlassRow(g, top, glass))
        ++top;
    while (bottom > top && IsGlassRow(g, bottom, glass))
        --bottom;
    while (left < right && IsGlassColumn(g, left, glass))
        ++left;
    while (right > left && IsGlassColumn(g, right, glass))
        --right;
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// Paper to white, ink to black: a linear stretch between the dark and light
// ends of what lies inside the card.
void Stretch(QImage &g, const QRect &inside)
{
    std::array<qint64, 256> hist{};
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const uchar *p = g.constScanLine(y);
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++hist[p[x]];
    }
    const qint64 total = qint64(inside.width()) * inside.height();
    int low = 0, high = 255;
    qint64 seen = 0;
    while (low < 255 && (seen += hist[size_t(low)]) < total / 200)
        ++low;
    seen = 0;
    // Most of a card is paper: its level lies well inside the upper half of the histogram.
    while (high > 0 && (seen += hist[size_t(high)]) < total / 4)
        --high;
    // Light print on dark paper would be stretched away: the reader inverts that itself.
    if (high - low < 32 || high < 128)
        return;
    std::array<uchar, 256> map{};
    for (int v = 0; v < 256; ++v)
        map[size_t(v)] = uchar(std::clamp((v - low) * 255 / (high - low), 0, 255));
    for (int y = 0; y < g.height(); ++y) {
        uchar *p = g.scanLine(y);
        for (int x = 0; x < g.width(); ++x)
            p[x] = map[p[x]];
    }
}

void PaintWhiteOutside(QImage &g, const QRect &keep)
{
    for (int y = 0; y < g.height(); ++y) {
        uchar *p = g.scanLine(y);
        if (y < keep.top() || y > keep.bottom()) {
            std::memset(p, 255, size_t(g.width()));
            continue;
        }
        std::memset(p, 255, size_t(keep.left()));
        std::memset(p + keep.right() + 1, 255, size_t(g.width() - keep.right() - 1));
    }
}

// One engine per thread: loading a language takes longer than reading a card.
struct Engine {
    tesseract::TessBaseAPI api;
    QByteArray lang;
    bool ready = false;
};

Engine *EngineFor(const QString &lang, QString *error)
{
    thread_local std::unique_ptr<Engine> engine;
    const QByteArray code = lang.toLatin1();
    if (engine && engine->ready && engine->lang == code)
        return engine.get();
    engine = std::make_unique<Engine>();
    engine->lang = code;
    // Tesseract's own warnings are not for the user.
    engine->api.SetVariable("debug_file", "/dev/null");
    if (code.isEmpty() || engine->api.Init(nullptr, code.constData(), tesseract::OEM_LSTM_ONLY) != 0) {
        if (error)
            *error = QStringLiteral("Tesseract-taal \"%1\" is niet geïnstalleerd").arg(lang);
        engine.reset();
        return nullptr;
    }
    engine->api.SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
    engine->ready = true;
    return engine.get();
}

// Dark and light alternating at most pixels, as on a page of specks: the
// engine's layout step, which no stop reaches, would take minutes over it, and
// find nothing a reader trusts. Printed lines alternate at under a tenth of
// the pixels (3 mm letters at about a thirtieth).
bool Speckled(const QImage &g)
{
    qint64 changes = 0;
    int left = g.width(), right = -1, top = g.height(), bottom = -1;
    for (int y = 0; y < g.height(); ++y) {
        const uchar *p = g.constScanLine(y);
        bool dark = false;
        for (int x = 0; x < g.width(); ++x) {
            if ((p[x] < 128) == dark)
                continue;
            dark = !dark;
            ++changes;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = y;
        }
    }
    const qint64 area = qint64(right - left + 1) * (bottom - top + 1);
    return right >= left && changes * 10 > area;
}

std::atomic<qint64> g_timeLimitNs{qint64(kReadingSeconds) * 1000000000};

qint64 ThreadCpuNs()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Asked by the engine before every word: the user's stop, or the time spent.
struct Watch {
    const std::atomic<bool> *cancel;
    qint64 until;
    bool overrun = false;
};

bool Stop(void *data, int)
{
    auto *w = static_cast<Watch *>(data);
    if (w->cancel && w->cancel->load())
        return true;
    w->overrun = w->overrun || ThreadCpuNs() > w->until;
    return w->overrun;
}

// A word as a reader would call it: three letters in a row, or two the
// engine finds in its dictionary. "I", "|" or "Lj" under a card are none.
bool HoldsWord(const QString &text, bool dictionary)
{
    int run = 0, longest = 0;
    for (const QChar c : text) {
        run = c.isLetter() ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest >= 3 || (dictionary && longest >= 2);
}

// The lines read, without those the engine doubts that hold no word (numbers
// and ornaments read as letters); nothing when no line is trusted at all.
QString TrustedLines(tesseract::TessBaseAPI &api)
{
    using tesseract::RIL_TEXTLINE;
    using tesseract::RIL_WORD;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it)
        return QString();
    QStringList lines;
    bool trusted = false;
    do {
        std::unique_ptr<char[]> raw(it->GetUTF8Text(RIL_TEXTLINE));
        const QString line = QString::fromUtf8(raw.get()).trimmed();
        const bool sure = it->Confidence(RIL_TEXTLINE) >= kTrustedLine;
        bool word = false;
        do {
            std::unique_ptr<char[]> w(it->GetUTF8Text(RIL_WORD));
            word = word || HoldsWord(QString::fromUtf8(w.get()), it->WordIsFromDictionary());
        } while (!it->IsAtFinalElement(RIL_TEXTLINE, RIL_WORD) && it->Next(RIL_WORD));
        trusted = trusted || (sure && !line.isEmpty());
        if (!line.isEmpty() && (sure || word))
            lines << line;
    } while (it->Next(RIL_TEXTLINE));
    return trusted ? lines.join('\n') : QString();
}

} // namespace

QImage PrepareBack(const QImage &back, int dpi, int *preparedDpi)
{
    if (dpi <= 0)
        dpi = kOcrDpi;
    if (preparedDpi)
        *preparedDpi = dpi;
    if (back.isNull() || back.width() < 3 || back.height() < 3)
        return QImage();
    QImage g = ToGrey(back);
    const QRect card = CardRect(g);
    // Borders and frames are printed within about 5 % of the card's edge.
    const int band = std::max(1, std::min(card.width(), card.height()) / 20);
    const QRect inside = card.adjusted(band, band, -band, -band);
    if (inside.width() < 4 || inside.height() < 4)
        return QImage();
    Stretch(g, inside);
    PaintWhiteOutside(g, inside);

    int target = dpi;
    if (dpi < kOcrDpi || dpi > kOcrDpi * 3 / 2)
        target = kOcrDpi;
    qint64 w = qint64(g.width()) * target / dpi, h = qint64(g.height()) * target / dpi;
    if (target != dpi && (w < 1 || h < 1 || w * h > qint64(1) << 28))
        return QImage();
    // However the file is tagged, the engine gets no more pixels than an A4
    // page at 400 dpi: reading time and memory stay bounded.
    if (w * h > kMaxReadPixels) {
        const double f = std::sqrt(double(kMaxReadPixels) / double(w * h));
        w = std::max<qint64>(1, qint64(double(w) * f));
        h = std::max<qint64>(1, qint64(double(h) * f));
        target = std::max(1, int(std::lround(target * f)));
    }
    if (w != g.width() || h != g.height())
        g = g.scaled(int(w), int(h), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (preparedDpi)
        *preparedDpi = target;
    return g;
}

void SetReadingTimeLimit(double seconds)
{
    g_timeLimitNs = seconds > 0 ? qint64(seconds * 1e9) : qint64(kReadingSeconds) * 1000000000;
}

QString RecogniseText(const QImage &prepared, int dpi, const QString &lang, const std::atomic<bool> *cancel,
                      QString *error)
{
    if (prepared.isNull())
        return QString();
    Engine *engine = EngineFor(lang, error);
    if (!engine)
        return QString();
    const QImage g = ToGrey(prepared);
    if (Speckled(g))
        return QString();
    engine->api.SetImage(g.constBits(), g.width(), g.height(), 1, int(g.bytesPerLine()));
    engine->api.SetSourceResolution(dpi > 0 ? dpi : kOcrDpi);
    tesseract::ETEXT_DESC monitor;
    Watch watch{cancel, ThreadCpuNs() + g_timeLimitNs.load()};
    monitor.cancel = &Stop;
    monitor.cancel_this = &watch;
    QString text;
    if (engine->api.Recognize(&monitor) == 0 && !(cancel && cancel->load()) && !watch.overrun)
        text = TrustedLines(engine->api);
    engine->api.Clear();
    return text;
}

QString ReadBackText(const QImage &back, int dpi, const QString &lang, const std::atomic<bool> *cancel,
                     QString *error)
{
    int preparedDpi = dpi;
    const QImage prepared = PrepareBack(back, dpi, &preparedDpi);
    return RecogniseText(prepared, preparedDpi, lang, cancel, error);
}

const std::vector<OcrLanguage> &OcrLanguages()
{
    static const std::vector<OcrLanguage> languages = {
        {"nld", "Nederlands"}, {"eng", "Engels"}, {"fra", "Frans"}, {"deu", "Duits"}};
    return languages;
}
