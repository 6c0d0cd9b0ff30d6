#include "scanwindow/last_scan.h"

#include "common/outside.h"
#include "imaging/bmp_reader.h"
#include "imaging/picture_decoder.h"
#include "scanwindow/scanform.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>

namespace {
// How often, a second apart, a missing or empty last scan is looked for.
constexpr int kWaits = 4;

bool isBmp(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(2) == "BM";
}

}

LastScan ReadLastScan(const QString &path)
{
    LastScan scan;
    PictureDecodeResult outcome = PictureDecodeResult::Decoded;
    if (isBmp(path)) {
        // Our own kind of file: read here, through the scan loader (a 600-dpi
        // page is above Qt's default load limit).
        if (!LoadScanPicture(scan.picture, path) || scan.picture.isNull())
            outcome = PictureTooLargeForMemory(path) ? PictureDecodeResult::TooLarge : PictureDecodeResult::Damaged;
    } else {
        // Not the scanner library's: decoded under the decoder's limits.
        const DecodedPicture decoded = DecodeInDecoder(path);
        outcome = decoded.outcome;
        scan.picture = decoded.picture;
    }
    if (outcome == PictureDecodeResult::Decoded)
        return scan;
    scan.picture = QImage();
    if (outcome == PictureDecodeResult::TooLarge) {
        // A scan this machine cannot hold stays.
        scan.why = TooLargeNotice(path);
        return scan;
    }
    scan.why = QStringLiteral("De laatste scan [") + path + QStringLiteral("] is niet getoond: ") + DecodeReason(outcome)
               + QStringLiteral(".");
    // Only a damaged file goes, so that the notice does not come back at every start.
    if ((outcome == PictureDecodeResult::Damaged || outcome == PictureDecodeResult::NotAPicture)
        && QFile::remove(path))
        scan.why += QStringLiteral(" Het bestand is verwijderd.");
    return scan;
}

LastScanReader::LastScanReader(const QString &path, bool show, std::function<void(const LastScan &)> shown,
                               QObject *parent)
    : QObject(parent), m_shown(std::move(shown))
{
    m_thread = std::thread([this, path, show] {
        // The wait is short and always whole; only the reading is skipped once the window closed.
        for (int i = 0; i < kWaits; ++i) {
            const QFileInfo file(path);
            if (file.exists() && file.size() > 0)
                break;
            outside().sleepMs(1000);
        }
        const QFileInfo file(path);
        LastScan scan;
        if (show && !m_stop && file.exists() && file.size() > 0)
            scan = ReadLastScan(path);
        // Handed over on the window's thread; dropped with this object.
        QMetaObject::invokeMethod(this, [this, scan] {
            if (!m_settled && !m_stop && m_shown)
                m_shown(scan);
            m_settled = true;
        }, Qt::QueuedConnection);
    });
}

LastScanReader::~LastScanReader() { finish(); }

void LastScanReader::finish()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    m_settled = true;
}
