#include "ocr/card_text_reader.h"

#include "ocr/back_text.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

CardTextReader::CardTextReader() : m_pool(std::make_unique<QThreadPool>())
{
    // One reader: the window stays responsive and the engine is loaded once.
    m_pool->setMaxThreadCount(1);
    // The engine lives with its thread: keep the thread between series.
    m_pool->setExpiryTimeout(-1);
}

CardTextReader::~CardTextReader()
{
    stop();
    m_pool->waitForDone();
}

void CardTextReader::start(const QImage &scan, const std::vector<QRect> &cards, int dpi, const QString &lang)
{
    clear();
    m_stop = std::make_shared<std::atomic<bool>>(false);
    for (const QRect &rect : cards) {
        // Each job holds its own copy: the window may replace its scan meanwhile.
        const QImage back = scan.copy(rect);
        auto stop = m_stop;
        m_cards.push_back({rect, QtConcurrent::run(m_pool.get(), [back, dpi, lang, stop] {
                               Result r;
                               if (!stop->load())
                                   r.text = ReadBackText(back, dpi, lang, stop.get(), &r.error);
                               return r;
                           })});
    }
}

void CardTextReader::stop()
{
    if (m_stop)
        m_stop->store(true);
}

void CardTextReader::clear()
{
    stop();
    // Jobs not begun return at once; one being read stops at its next word.
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

QString CardTextReader::textFor(const QRect &card) const
{
    for (const Card &c : m_cards)
        if (c.rect == card && c.future.isFinished())
            return c.future.result().text;
    return QString();
}

QString CardTextReader::error() const
{
    for (const Card &c : m_cards)
        if (c.future.isFinished() && !c.future.result().error.isEmpty())
            return c.future.result().error;
    return QString();
}
