#include "ocr/card_text_reader.h"

#include "ocr/back_text.h"

#include <QFileInfo>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

CardTextReader::CardTextReader() : m_pool(std::make_unique<QThreadPool>())
{
    // Two backs at once where there are two cores: each engine is loaded once per thread.
    m_pool->setMaxThreadCount(std::clamp(QThread::idealThreadCount(), 1, 2));
    // The engine lives with its thread: keep the thread between series.
    m_pool->setExpiryTimeout(-1);
}

CardTextReader::~CardTextReader()
{
    stop();
    m_pool->waitForDone();
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
    for (const Back &b : backs) {
        auto stop = m_stop;
        const QImage back = b.picture;
        m_cards.push_back({b.rect, QtConcurrent::run(m_pool.get(), [back, dpi, lang, stop] {
                               Result r;
                               if (!stop->load()) {
                                   const BackText read = ReadBack(back, dpi, lang, stop.get(), &r.error);
                                   r.text = read.text;
                                   r.turn = read.turn;
                               }
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

void CardTextReader::waitFor(int index) const
{
    if (index >= 0 && index < cardCount())
        m_cards[size_t(index)].future.waitForFinished();
}

QString CardTextReader::textFor(const QRect &card) const
{
    for (const Card &c : m_cards)
        if (c.rect == card && c.future.isFinished())
            return c.future.result().text;
    return QString();
}

int CardTextReader::turnFor(const QRect &card) const
{
    for (const Card &c : m_cards)
        if (c.rect == card && c.future.isFinished())
            return c.future.result().turn;
    return 0;
}

QString CardTextReader::error() const
{
    for (const Card &c : m_cards)
        if (c.future.isFinished() && !c.future.result().error.isEmpty())
            return c.future.result().error;
    return QString();
}
