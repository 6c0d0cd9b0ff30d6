#include "ocr/back_text.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <QTransform>

#ifdef _OPENMP
#include <omp.h>
#endif

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <time.h>

namespace {

QImage ToGrey(const QImage &back)
{
    if (back.format() == QImage::Format_Grayscale8)
        return back;
    return back.convertToFormat(QImage::Format_Grayscale8);
}

// The colour channel in which the ink stands out most from the paper: on
// yellowed paper the red one, where grey would mix in the blue that is dark in both.
QImage InkChannel(const QImage &back)
{
    if (back.format() == QImage::Format_Grayscale8 || back.isGrayscale())
        return ToGrey(back);
    const QImage rgb = back.convertToFormat(QImage::Format_RGB888);
    std::array<std::array<qint64, 256>, 3> hist{};
    for (int y = 0; y < rgb.height(); y += 2) {
        const uchar *p = rgb.constScanLine(y);
        for (int x = 0; x < rgb.width(); x += 2)
            for (int c = 0; c < 3; ++c)
                ++hist[size_t(c)][p[3 * x + c]];
    }
    // Spread between the darkest 1 % (ink) and the median (paper).
    int best = 0, bestSpread = -1;
    for (int c = 0; c < 3; ++c) {
        const qint64 total = std::accumulate(hist[size_t(c)].begin(), hist[size_t(c)].end(), qint64(0));
        qint64 seen = 0;
        int dark = -1, median = -1;
        for (int v = 0; v < 256; ++v) {
            seen += hist[size_t(c)][size_t(v)];
            if (dark < 0 && seen * 100 >= total)
                dark = v;
            if (median < 0 && seen * 2 >= total)
                median = v;
        }
        if (median - dark > bestSpread) {
            bestSpread = median - dark;
            best = c;
        }
    }
    QImage g(rgb.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar *p = rgb.constScanLine(y);
        uchar *q = g.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x)
            q[x] = p[3 * x + best];
    }
    return g;
}

// Paper grain smoothed over three by three pixels: ragged letter edges make
// the engine mistake one digit for another.
void Smooth(QImage &g)
{
    const QImage src = g.copy();
    const int w = g.width(), h = g.height();
    for (int y = 1; y + 1 < h; ++y) {
        const uchar *a = src.constScanLine(y - 1), *b = src.constScanLine(y), *c = src.constScanLine(y + 1);
        uchar *q = g.scanLine(y);
        for (int x = 1; x + 1 < w; ++x)
            q[x] = uchar((a[x - 1] + a[x] + a[x + 1] + b[x - 1] + b[x] + b[x + 1] + c[x - 1] + c[x] + c[x + 1]) / 9);
    }
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

// Rows (or columns) that are all glass but for a speck of dust lie outside the
// card. Pale paper looks like white glass: a column holding the last stroke of
// a letter then must not count as glass, or the letter is cut.
bool IsGlassRow(const QImage &g, int y, int glass)
{
    const uchar *p = g.constScanLine(y);
    int off = 0;
    for (int x = 0; x < g.width(); ++x)
        off += std::abs(p[x] - glass) > 24;
    return off * 500 < g.width();   // under 0.2 %
}

bool IsGlassColumn(const QImage &g, int x, int glass)
{
    int off = 0;
    for (int y = 0; y < g.height(); ++y)
        off += std::abs(g.constScanLine(y)[x] - glass) > 24;
    return off * 500 < g.height();
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

// Printed frames and rules: dark runs longer than any letter (a sixth of the
// card) are painted white, with the pixel either side, so no frame is left for
// the engine to read as letters and no letter near a frame is cut.
void EraseRules(QImage &g, const QRect &card)
{
    const int longRow = std::max(8, card.width() / 6), longColumn = std::max(8, card.height() / 6);
    QImage erase(g.size(), QImage::Format_Grayscale8);
    erase.fill(0);
    auto mark = [&](int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (erase.rect().contains(x + dx, y + dy))
                    erase.scanLine(y + dy)[x + dx] = 1;
    };
    for (int y = card.top(); y <= card.bottom(); ++y) {
        const uchar *p = g.constScanLine(y);
        for (int x = card.left(), run = 0; x <= card.right() + 1; ++x) {
            if (x <= card.right() && p[x] < 128) {
                ++run;
                continue;
            }
            for (int k = x - run; run >= longRow && k < x; ++k)
                mark(k, y);
            run = 0;
        }
    }
    for (int x = card.left(); x <= card.right(); ++x)
        for (int y = card.top(), run = 0; y <= card.bottom() + 1; ++y) {
            if (y <= card.bottom() && g.constScanLine(y)[x] < 128) {
                ++run;
                continue;
            }
            for (int k = y - run; run >= longColumn && k < y; ++k)
                mark(x, k);
            run = 0;
        }
    for (int y = 0; y < g.height(); ++y) {
        uchar *p = g.scanLine(y);
        const uchar *e = erase.constScanLine(y);
        for (int x = 0; x < g.width(); ++x)
            if (e[x])
                p[x] = 255;
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
    // Tesseract splits its network over threads that spin while they wait: on a
    // busy machine, and beside a second reader, that costs several times the
    // work. Backs are read side by side instead, one thread each.
#ifdef _OPENMP
    omp_set_max_active_levels(0);
#endif
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
    // Tesseract finds the blocks itself: frames and ornaments are left out as no text.
    engine->api.SetPageSegMode(tesseract::PSM_AUTO);
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

// One line read: its text, the engine's confidence (0 to 100), where it lies
// on the back as given, and whether it is kept (trusted, or holding a word).
struct Line {
    QString text;
    float confidence = 0;
    QRect box;
    bool kept = false;
};

struct Reading {
    std::vector<Line> lines;
    bool trusted = false;   // at least one line the engine trusts
    int turn = 0;           // quarter turns clockwise that made the back upright
    int sideways = 0;       // letters in lines standing up, less those in lines lying flat

    // The confidence of the kept lines, weighted by their length.
    double score() const
    {
        double sum = 0, chars = 0;
        for (const Line &l : lines)
            if (l.kept) {
                sum += double(l.confidence) * l.text.size();
                chars += l.text.size();
            }
        return chars > 0 && trusted ? sum / chars : 0;
    }
    QString text() const
    {
        QStringList kept;
        for (const Line &l : lines)
            if (l.kept)
                kept << l.text;
        return trusted ? kept.join('\n') : QString();
    }
};

// The lines read; boxes are scaled by `scale` back to the back as given.
Reading Lines(tesseract::TessBaseAPI &api, double scale)
{
    using tesseract::RIL_TEXTLINE;
    using tesseract::RIL_WORD;
    Reading r;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it)
        return r;
    do {
        std::unique_ptr<char[]> raw(it->GetUTF8Text(RIL_TEXTLINE));
        Line line;
        line.text = QString::fromUtf8(raw.get()).trimmed();
        line.confidence = it->Confidence(RIL_TEXTLINE);
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        it->BoundingBox(RIL_TEXTLINE, &x0, &y0, &x1, &y1);
        line.box = QRect(QPoint(int(x0 * scale), int(y0 * scale)), QPoint(int(x1 * scale), int(y1 * scale)));
        const bool sure = line.confidence >= kTrustedLine;
        bool word = false;
        do {
            std::unique_ptr<char[]> w(it->GetUTF8Text(RIL_WORD));
            word = word || HoldsWord(QString::fromUtf8(w.get()), it->WordIsFromDictionary());
        } while (!it->IsAtFinalElement(RIL_TEXTLINE, RIL_WORD) && it->Next(RIL_WORD));
        r.trusted = r.trusted || (sure && !line.text.isEmpty());
        line.kept = !line.text.isEmpty() && (sure || word);
        // The engine reads sideways text by itself: its lines are then taller than wide.
        if (line.kept)
            r.sideways += line.box.height() > line.box.width() ? int(line.text.size()) : -int(line.text.size());
        if (!line.text.isEmpty())
            r.lines.push_back(line);
    } while (it->Next(RIL_TEXTLINE));
    return r;
}

// The engine on a picture; nothing when stopped, over time, or specks.
Reading Recognise(Engine &engine, const QImage &g, int dpi, double scale, Watch &watch)
{
    if (g.isNull() || Speckled(ToGrey(g)))
        return Reading();
    // Colour as it is: the engine finds the ink in the channel that shows it best.
    const QImage pixels = g.format() == QImage::Format_Grayscale8 ? g : g.convertToFormat(QImage::Format_RGB888);
    engine.api.SetImage(pixels.constBits(), pixels.width(), pixels.height(), pixels.depth() / 8,
                        int(pixels.bytesPerLine()));
    engine.api.SetSourceResolution(dpi > 0 ? dpi : kOcrDpi);
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &Stop;
    monitor.cancel_this = &watch;
    Reading r;
    if (engine.api.Recognize(&monitor) == 0 && !(watch.cancel && watch.cancel->load()) && !watch.overrun)
        r = Lines(engine.api, scale);
    engine.api.Clear();
    return r;
}

bool SameLine(const QRect &a, const QRect &b)
{
    const int overlap = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top());
    return overlap * 2 > std::min(a.height(), b.height());
}

// Line by line, of readings of the same back: the text two readings agree on,
// else what the engine trusts most; a later reading's line replaces the first
// reading's only when it is trusted clearly more.
constexpr float kBetterLine = 5;
Reading Merge(const Reading &first, const std::vector<Reading> &others)
{
    Reading m = first;
    for (Line &line : m.lines) {
        std::vector<Line> said{line};
        for (const Reading &o : others) {
            auto same = std::find_if(o.lines.begin(), o.lines.end(),
                                     [&](const Line &l) { return l.kept && SameLine(l.box, line.box); });
            if (same != o.lines.end())
                said.push_back(*same);
        }
        Line pick = line;
        for (size_t i = 1; i < said.size(); ++i)
            if (!pick.kept || said[i].confidence > pick.confidence + kBetterLine)
                pick = said[i];
        for (size_t i = 0; i < said.size(); ++i)
            for (size_t j = i + 1; j < said.size(); ++j)
                if (said[i].text == said[j].text && said[i].kept && said[j].kept)
                    pick = said[i].confidence >= said[j].confidence ? said[i] : said[j];
        line = pick;
    }
    for (const Reading &o : others) {
        m.trusted = m.trusted || o.trusted;
        for (const Line &l : o.lines)
            if (std::none_of(m.lines.begin(), m.lines.end(), [&](const Line &k) { return SameLine(k.box, l.box); }))
                m.lines.push_back(l);
    }
    std::sort(m.lines.begin(), m.lines.end(), [](const Line &x, const Line &y) { return x.box.top() < y.box.top(); });
    return m;
}

// Whether two readings differ in a line they both keep.
bool Disagree(const Reading &a, const Reading &b)
{
    for (const Line &l : a.lines)
        for (const Line &k : b.lines)
            if (l.kept && k.kept && SameLine(l.box, k.box) && l.text != k.text)
                return true;
    return false;
}

// The back as it lies, brought down to the pixels the engine may take.
QImage Plain(const QImage &back, int dpi, int *plainDpi)
{
    QImage g = back;
    *plainDpi = dpi;
    const qint64 pixels = qint64(g.width()) * g.height();
    if (pixels > kMaxReadPixels) {
        const double f = std::sqrt(double(kMaxReadPixels) / double(pixels));
        g = g.scaled(std::max(1, int(g.width() * f)), std::max(1, int(g.height() * f)), Qt::IgnoreAspectRatio,
                     Qt::SmoothTransformation);
        *plainDpi = std::max(1, int(std::lround(dpi * f)));
    }
    return g;
}

// The resolution at which the back's printed lines stand about kLineHeight
// pixels tall, as the engine reads them best (by the lines of a first reading;
// without any, that of print of about 9 points), at most the scan's own or
// kOcrDpi, whichever is more.
constexpr int kLineHeight = 23;
int ReadingDpi(const Reading &r, int dpi)
{
    std::vector<int> heights;
    for (const Line &l : r.lines)
        if (l.kept)
            heights.push_back(std::min(l.box.width(), l.box.height()));
    if (heights.empty())
        return std::min(dpi, kOcrDpi * 2 / 3);
    std::nth_element(heights.begin(), heights.begin() + long(heights.size() / 2), heights.end());
    const int h = std::max(1, heights[heights.size() / 2]);
    return std::clamp(dpi * kLineHeight / h, kOcrDpi * 2 / 5, std::max(dpi, kOcrDpi));
}

// The prepared back (at preparedDpi) read at resolution size; boxes on the back
// as given (at dpi). No more pixels than the engine may take.
Reading RecogniseAt(Engine &engine, const QImage &prepared, int preparedDpi, int size, int dpi, Watch &watch)
{
    if (prepared.isNull())
        return Reading();
    const double pixels = double(prepared.width()) * prepared.height() * size * size / preparedDpi / preparedDpi;
    if (pixels > double(kMaxReadPixels))
        size = int(size * std::sqrt(double(kMaxReadPixels) / pixels));
    const int w = std::max(1, prepared.width() * size / preparedDpi);
    const int h = std::max(1, prepared.height() * size / preparedDpi);
    const QImage g = size == preparedDpi ? prepared
                                         : prepared.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return Recognise(engine, g, size, double(dpi) / size, watch);
}

QImage Turned(const QImage &g, int turn)
{
    return turn ? g.transformed(QTransform().rotate(90.0 * turn)) : g;
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
    QImage g = InkChannel(back);
    const QRect card = CardRect(g);
    if (card.width() < 4 || card.height() < 4)
        return QImage();
    if (dpi >= 250)
        Smooth(g);
    // The paper's level is measured away from the card's edge, where frames are printed.
    const int band = std::max(1, std::min(card.width(), card.height()) / 20);
    Stretch(g, card.adjusted(band, band, -band, -band));
    PaintWhiteOutside(g, card);
    EraseRules(g, card);

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
    Watch watch{cancel, ThreadCpuNs() + g_timeLimitNs.load()};
    return Recognise(*engine, ToGrey(prepared), dpi, 1, watch).text();
}

BackText ReadBack(const QImage &back, int dpi, const QString &lang, const std::atomic<bool> *cancel, QString *error)
{
    if (dpi <= 0)
        dpi = kOcrDpi;
    if (back.isNull() || back.width() < 3 || back.height() < 3)
        return BackText();
    Engine *engine = EngineFor(lang, error);
    if (!engine)
        return BackText();
    Watch watch{cancel, ThreadCpuNs() + g_timeLimitNs.load()};
    int plainDpi = dpi;
    const QImage plain = Plain(back, dpi, &plainDpi);
    const double plainScale = double(dpi) / plainDpi;
    // First as Tesseract alone reads it: most backs need nothing more.
    Reading best = Recognise(*engine, plain, plainDpi, plainScale, watch);
    // A back read sideways or badly may lie turned: the turn the engine trusts most wins.
    const bool sideways = best.sideways > 0;
    if ((sideways || best.score() < kUprightScore) && !watch.overrun) {
        const Reading asItLies = best;
        if (sideways)
            best = Reading();
        for (const int turn : sideways ? std::vector<int>{1, 3} : std::vector<int>{2, 1, 3}) {
            Reading r = Recognise(*engine, Turned(plain, turn), plainDpi, plainScale, watch);
            r.turn = turn;
            if (r.score() > best.score() + 10)
                best = r;
        }
        if (best.lines.empty())
            best = asItLies;
    }
    const QImage upright = Turned(back, best.turn);
    // Again after our preparation, with the letters at the size the engine reads
    // best: the engine is at times sure of a wrong digit, in the one reading as in
    // the other, and more often so in letters larger or smaller.
    if (!watch.overrun) {
        int preparedDpi = dpi;
        const QImage prepared = PrepareBack(upright, dpi, &preparedDpi);
        const int size = ReadingDpi(best, dpi);
        Reading first = RecogniseAt(*engine, prepared, preparedDpi, size, dpi, watch);
        std::vector<Reading> others{best};
        // Where the two disagree, a third reading a fifth smaller casts the deciding vote.
        if (!watch.overrun && Disagree(first, best))
            others.push_back(RecogniseAt(*engine, prepared, preparedDpi, size * 4 / 5, dpi, watch));
        const int turn = best.turn;
        if (!watch.overrun)
            best = Merge(first, others);
        best.turn = turn;
    }
    if ((cancel && cancel->load()) || watch.overrun)
        return BackText();
    return {best.text(), best.turn};
}

QString ReadBackText(const QImage &back, int dpi, const QString &lang, const std::atomic<bool> *cancel,
                     QString *error)
{
    return ReadBack(back, dpi, lang, cancel, error).text;
}

const std::vector<OcrLanguage> &OcrLanguages()
{
    static const std::vector<OcrLanguage> languages = {
        {"nld", "Nederlands"}, {"eng", "Engels"}, {"fra", "Frans"}, {"deu", "Duits"}};
    return languages;
}
