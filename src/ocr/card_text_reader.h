#pragma once
// Reads the backs of a scan's cards on the pool's workers while the user looks
// at the boxes; the series save then asks for each card's text by its box.
#include <QFuture>
#include <QImage>
#include <QRect>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class CardTextReader {
public:
    CardTextReader();
    ~CardTextReader();   // stops what is still reading and waits for it

    // One card's back: where it lies (what its text is asked by) and its picture.
    struct Back {
        QRect rect;
        QImage picture;
    };
    // The backs of cards lying at rects of scan, cut out as they lie.
    static std::vector<Back> CutBacks(const QImage &scan, const std::vector<QRect> &cards);

    // Whether Tesseract has the data of language code (e.g. "nld") where it will look.
    static bool LanguageInstalled(const QString &code);
    // Drops earlier work and starts reading every back, in order. A language that
    // is not installed reads nothing: every card is done at once, without text, with error set.
    // A reading that fails (out of memory included) is that card's error.
    void start(const std::vector<Back> &backs, int dpi, const QString &lang);
    // Stops the reading: cards not read yet stay without text.
    void stop();
    // Forgets every card (stopping the reading first).
    void clear();

    bool covers(const QRect &card) const;   // whether a back at card was handed to start
    int cardCount() const { return int(m_cards.size()); }
    int readCount() const;                  // cards finished (read, failed or stopped)
    // Blocks until card index (in the order handed to start) is finished; for a
    // thread beside the window, so that waiting needs no polling.
    void waitFor(int index) const;
    bool stopped() const { return m_stop && m_stop->load(); }

    // The text read from card's back: empty while not finished, when the
    // reading failed or was stopped, or when card was never handed to start.
    QString textFor(const QRect &card) const;
    // The quarter turns clockwise that set card's back upright (0 to 3); 0 while
    // not finished. The save turns the back by it when cards are set straight.
    int turnFor(const QRect &card) const;
    // The first error of this run, in Dutch (e.g. a missing language).
    QString error() const;

private:
    struct Result {
        QString text, error;
        int turn = 0;
    };
    struct Card {
        QRect rect;
        QFuture<Result> future;
    };
    struct Run;
    // A card's result once finished; empty before, or when it ended without one.
    static Result Finished(const Card &card);
    std::shared_ptr<Run> m_run;
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::vector<Card> m_cards;
};
