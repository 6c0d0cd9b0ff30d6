#pragma once
// Reading the printed text on the back of a card with Tesseract.
#include <QImage>
#include <QString>
#include <QStringList>

#include <atomic>
#include <vector>

// The resolution the reader is given: backs scanned below it are enlarged.
constexpr int kOcrDpi = 300;

// Processor time one back may take; a back read no further gives no text.
constexpr int kReadingSeconds = 10;
// Lines the engine trusts at least this much (0 to 100) count as read.
constexpr float kTrustedLine = 70;
// A back read with less confidence than this may lie turned.
constexpr double kUprightScore = 60;
// The most pixels the engine is given; larger backs are brought down to it.
constexpr qint64 kMaxReadPixels = qint64(1) << 24;

// The back as the reader wants it: 8-bit grey at kOcrDpi or more (very fine scans
// are brought down to kOcrDpi, which reads as well and faster; none has more than
// kMaxReadPixels, whatever its tag says), the glass around the card and printed
// frames and rules painted white, the paper stretched to white and the ink to black.
// preparedDpi receives the resolution of the result.
QImage PrepareBack(const QImage &back, int dpi, int *preparedDpi = nullptr);

// For tests: the processor time a back may take; 0 restores kReadingSeconds.
void SetReadingTimeLimit(double seconds);

// Tesseract alone on a prepared picture. lang is a Tesseract language code such
// as "nld" or "nld+eng"; cancel, when given and set, stops the reading.
// On failure the text is empty and error (when given) says why, in Dutch.
QString RecogniseText(const QImage &prepared, int dpi, const QString &lang,
                      const std::atomic<bool> *cancel = nullptr, QString *error = nullptr);

// A back read: its text, and the quarter turns clockwise that set it upright.
struct BackText {
    QString text;
    int turn = 0;
};

// Read as Tesseract alone reads the back (turned upright first when it lies
// turned: upright is the turn the engine trusts most), read again after
// PrepareBack with its lines at the size the engine reads best (and a third
// time smaller where the two differ); per line, the text two readings agree
// on, else the prepared reading's unless another is trusted clearly more.
// The text on the back has its lines joined with '\n',
// without empty lines and trailing spaces, nor lines the engine doubts that hold
// no word. A back with no trusted line, one of specks, or one that takes longer
// than kReadingSeconds of processor time gives no text.
BackText ReadBack(const QImage &back, int dpi, const QString &lang = QStringLiteral("nld"),
                  const std::atomic<bool> *cancel = nullptr, QString *error = nullptr);
// The text of ReadBack.
QString ReadBackText(const QImage &back, int dpi, const QString &lang = QStringLiteral("nld"),
                     const std::atomic<bool> *cancel = nullptr, QString *error = nullptr);

// The languages the user may pick, Dutch first: code and Dutch name.
struct OcrLanguage {
    const char *code;
    const char *name;
};
const std::vector<OcrLanguage> &OcrLanguages();
