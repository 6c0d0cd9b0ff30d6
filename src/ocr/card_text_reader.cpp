#include "ocr/card_text_reader.h"

#include "common/worker_pool.h"
#include "ocr/back_text.h"

#include <QFileInfo>
#include <QPromise>

#include <algorithm>
#include <mutex>
#include <new>

namespace {
// Backs read at once at most: each reader loads an engine of its own, once per
// worker, and two already keep two cores busy.
constexpr int kReaders = 2;
}

// The backs of one start, taken in order by the readers; what no reader took
// when the run is cleared is finished unread there and then.
struct CardTextReader::Run {
    std::mutex lock;
    std::vector<Back> backs;
    std::vector<QPromise<Result>> results;
    size_t next = 0;

    // The next back to read, or false when none is left.
    bool take(size_t &index)
    {
        const std::lock_guard<std::mutex> guard(lock);
        if (next >= backs.size())
            return false;
        index = next++;
        return true;
    }
    void finishRest()
    {
        size_t index;
        while (take(index))
            finish(index, Result());
    }
    // Finished even without its result (no memory for it): nobody waits for ever.
    void finish(size_t index, const Result &result)
    {
        try {
            results[index].addResult(result);
        } catch (const std::bad_alloc &) {
        }
        results[index].finish();
    }
};

CardTextReader::CardTextReader() = default;

CardTextReader::~CardTextReader()
{
    clear();
}

std::vector<CardTextReader::Back> CardTextReader::CutBacks(const QImage &scan, const std::vector<QRect> &cards)
{
    std::vector<Back> backs;
    // Within the scan only: what lies beyond it would read as a black frame.
    for (const QRect &rect : cards)
        backs.push_back({rect, scan.copy(rect.intersected(scan.rect()))});
    return backs;
}

bool CardTextReader::LanguageInstalled(const QString &code)
{
    if (code.isEmpty() || code.contains('/') || code.contains('.'))
        return false;
    // Where Tesseract looks: the folder TESSDATA_PREFIX names when set, else the distribution's.
    QStringList folders;
    const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!prefix.isEmpty())
        folders << prefix << prefix + QStringLiteral("/tessdata");
    else
        folders << QStringLiteral("/usr/share/tesseract-ocr/5/tessdata") << QStringLiteral("/usr/share/tesseract-ocr/4.00/tessdata")
                << QStringLiteral("/usr/share/tessdata") << QStringLiteral("/usr/local/share/tessdata");
    for (const QString &folder : folders)
        if (QFileInfo(folder + '/' + code + QStringLiteral(".traineddata")).isFile())
            return true;
    return false;
}

void CardTextReader::start(const std::vector<Back> &backs, int dpi, const QString &lang)
{
    clear();
    m_stop = std::make_shared<std::atomic<bool>>(false);
    if (!LanguageInstalled(lang)) {
        // Nothing to wait for: an engine without its language never starts.
        QString name = lang;
        for (const OcrLanguage &l : OcrLanguages())
            if (lang == QLatin1String(l.code))
                name = QString::fromUtf8(l.name);
        const Result missing{QString(), QStringLiteral("De leestaal %1 is niet geïnstalleerd (pakket tesseract-ocr-%2): "
                                                       "de tekst op de achterkanten is niet gelezen.").arg(name, lang)};
        for (const Back &b : backs)
            m_cards.push_back({b.rect, QtFuture::makeReadyFuture(missing)});
        return;
    }
    auto run = std::make_shared<Run>();
    run->backs = backs;
    run->results.resize(backs.size());
    for (size_t i = 0; i < backs.size(); ++i) {
        run->results[i].start();
        m_cards.push_back({backs[i].rect, run->results[i].future()});
    }
    const auto read = [run, dpi, lang, stop = m_stop] {
        for (size_t i; run->take(i);) {
            Result r;
            if (!stop->load()) {
                const QString failed = WorkerPool::Guard([&] {
                    const BackText read = ReadBack(run->backs[i].picture, dpi, lang, stop.get(), &r.error);
                    r.text = read.text;
                    r.turn = read.turn;
                });
                if (!failed.isEmpty())
                    r = {QString(), QStringLiteral("De achterkant is niet gelezen: %1.").arg(failed)};
            }
            run->finish(i, r);
        }
    };
    for (int i = 0; i < std::min(int(backs.size()), kReaders); ++i)
        WorkerPool::shared().post(read);
    m_run = run;
}

void CardTextReader::stop()
{
    if (m_stop)
        m_stop->store(true);
}

void CardTextReader::clear()
{
    stop();
    // Backs not begun are done unread here; one being read stops at its next word.
    if (m_run)
        m_run->finishRest();
    m_run.reset();
    for (Card &c : m_cards)
        c.future.waitForFinished();
    m_cards.clear();
    m_stop.reset();
}

bool CardTextReader::covers(const QRect &card) const
{
    for (const Card &c : m_cards)
        if (c.rect == card)
            return true;
    return false;
}

int CardTextReader::readCount() const
{
    int n = 0;
    for (const Card &c : m_cards)
        n += c.future.isFinished();
    return n;
}

void CardTextReader::waitFor(int index) const
{
    if (index >= 0 && index < cardCount()) {
        QFuture<Result> future = m_cards[size_t(index)].future;
        future.waitForFinished();
    }
}

CardTextReader::Result CardTextReader::Finished(const Card &card)
{
    return card.future.isFinished() && card.future.resultCount() > 0 ? card.future.result() : Result();
}

QString CardTextReader::textFor(const QRect &card) const
{
    for (const Card &c : m_cards)
        if (c.rect == card && c.future.isFinished())
            return Finished(c).text;
    return QString();
}

int CardTextReader::turnFor(const QRect &card) const
{
    for (const Card &c : m_cards)
        if (c.rect == card && c.future.isFinished())
            return Finished(c).turn;
    return 0;
}

QString CardTextReader::error() const
{
    for (const Card &c : m_cards)
        if (const QString e = Finished(c).error; !e.isEmpty())
            return e;
    return QString();
}
