#include "codec/free_bitmap.h"

#include "codec/picture_buffer.h"
#include "common/filez.h"
#include "common/prompts.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// FreeImage I/O over a stdio stream we own, so that write errors are seen.
unsigned DLL_CALLCONV ReadProc(void *buffer, unsigned size, unsigned count, fi_handle h)
{
    return static_cast<unsigned>(std::fread(buffer, size, count, static_cast<FILE *>(h)));
}
unsigned DLL_CALLCONV WriteProc(void *buffer, unsigned size, unsigned count, fi_handle h)
{
    return static_cast<unsigned>(std::fwrite(buffer, size, count, static_cast<FILE *>(h)));
}
int DLL_CALLCONV SeekProc(fi_handle h, long offset, int origin)
{
    return std::fseek(static_cast<FILE *>(h), offset, origin);
}
long DLL_CALLCONV TellProc(fi_handle h) { return std::ftell(static_cast<FILE *>(h)); }

}

unsigned DpiToDpm(double dpi) { return static_cast<unsigned>(dpi * 39.37 + 0.5); }

namespace {

// An ordinary bitmap of bpp bits per pixel already.
bool IsPlainBitmap(FIBITMAP *dib, unsigned bpp)
{
    return FI().GetImageType(dib) == FIT_BITMAP && FI().GetBPP(dib) == bpp;
}

// Encodes into a hidden temporary file in the target's folder and renames it
// over the target only when every byte was written; finish may still add to
// the complete temporary file before it is put in place.
bool SaveReplacing(FREE_IMAGE_FORMAT fif, FIBITMAP *dib, const QString &fileName, int flags,
                   const std::function<bool(const QString &)> &finish, QString *why)
{
    ReplacingSave save(fileName);
    const bool saved = save.write([&](FILE *f) {
        FreeImageIO io{ReadProc, WriteProc, SeekProc, TellProc};
        return FI().SaveToHandle(fif, dib, &io, f, flags) != FALSE;
    }) && save.commit(finish);
    if (!saved && why)
        *why = save.reason();
    return saved;
}

QImage::Format PictureFormat(unsigned bpp)
{
    switch (bpp) {
    case 8: return QImage::Format_Indexed8;
    case 24: return QImage::Format_BGR888;
    case 32: return QImage::Format_ARGB32;
    default: return QImage::Format_Invalid;
    }
}
}

QImage PictureFromDib(FIBITMAP *dib, const Picture24Allocator &newPicture24)
{
    if (!dib)
        return QImage();
    const FreeImageFunctions &fi = FI();
    FIBITMAP *view = dib;
    FIBITMAP *converted = nullptr;
    const unsigned bpp = fi.GetBPP(dib);
    if (fi.GetImageType(dib) != FIT_BITMAP || PictureFormat(bpp) == QImage::Format_Invalid) {
        converted = fi.ConvertTo24Bits(dib);
        if (!converted && fi.GetImageType(dib) != FIT_BITMAP) {
            if (FIBITMAP *standard = fi.ConvertToStandardType(dib, TRUE)) {
                converted = fi.ConvertTo24Bits(standard);
                fi.Unload(standard);
            }
        }
        if (!converted)
            throw std::runtime_error("Error: image cannot be converted");
        view = converted;
    }
    const int width = static_cast<int>(fi.GetWidth(view));
    const int height = static_cast<int>(fi.GetHeight(view));
    const unsigned viewBpp = fi.GetBPP(view);
    QImage out = viewBpp != 24 ? QImage(width, height, PictureFormat(viewBpp))
                 : newPicture24 ? newPicture24(width, height) : NewPicture24(width, height);
    if (out.isNull()) {
        if (converted)
            fi.Unload(converted);
        throw std::runtime_error("Error: CreateDIBitmap failed");
    }
    const size_t rowBytes = (static_cast<size_t>(width) * viewBpp + 7) / 8;
    for (int y = 0; y < height; ++y)
        std::memcpy(out.scanLine(y), fi.GetScanLine(view, height - 1 - y), rowBytes);
    if (viewBpp == 8) {
        const RGBQUAD *palette = fi.GetPalette(view);
        const unsigned colours = fi.GetColorsUsed(view);
        QVector<QRgb> table(256, qRgb(0, 0, 0));
        for (unsigned i = 0; i < colours && i < 256; ++i)
            table[int(i)] = palette ? qRgb(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue)
                                    : qRgb(int(i), int(i), int(i));
        out.setColorTable(table);
    }
    out.setDotsPerMeterX(static_cast<int>(fi.GetDotsPerMeterX(view)));
    out.setDotsPerMeterY(static_cast<int>(fi.GetDotsPerMeterY(view)));
    if (converted)
        fi.Unload(converted);
    return out;
}

TFreeBitmap::TFreeBitmap(FREE_IMAGE_TYPE type, int width, int height, int bitsPerPixel)
{
    Create(type, width, height, bitsPerPixel);
}

TFreeBitmap::~TFreeBitmap() { Clear(); }

void TFreeBitmap::Clear()
{
    if (m_dib && FI().Unload)
        FI().Unload(m_dib);
    m_dib = nullptr;
    FreeLarge(m_pixels);
    m_pixels = nullptr;
}

bool TFreeBitmap::ReplaceWrapping(FIBITMAP *newDib, void *pixels)
{
    if (OnChanging && !OnChanging(*this, newDib)) {
        FI().Unload(newDib);
        FreeLarge(pixels);
        return false;
    }
    Clear();
    m_dib = newDib;
    m_pixels = pixels;
    Changed();
    return true;
}

void TFreeBitmap::Changed()
{
    if (OnChange)
        OnChange(*this);
}

bool TFreeBitmap::Replace(FIBITMAP *newDib)
{
    if (OnChanging && !OnChanging(*this, newDib)) {
        if (newDib)
            FI().Unload(newDib);
        return false;
    }
    Clear();
    m_dib = newDib;
    Changed();
    return true;
}

bool TFreeBitmap::Create(FREE_IMAGE_TYPE type, int width, int height, int bitsPerPixel)
{
    Clear();
    if (width <= 0 || height <= 0 || bitsPerPixel <= 0 || !IsImageLibraryLoaded())
        return false;
    FIBITMAP *dib = FI().AllocateT(type, width, height, bitsPerPixel, 0, 0, 0);
    return dib && Replace(dib) && IsValid();
}

FREE_IMAGE_FORMAT TFreeBitmap::FileFormat(const QString &fileName)
{
    if (!IsImageLibraryLoaded())
        return FIF_UNKNOWN;
    const QByteArray name = NativePath(fileName);
    FREE_IMAGE_FORMAT fif = FI().GetFileType(name.constData(), 0);
    if (fif == FIF_UNKNOWN)
        fif = FI().GetFIFFromFilename(name.constData());
    return fif;
}

bool TFreeBitmap::Load(const QString &fileName, int flags)
{
    const FREE_IMAGE_FORMAT fif = FileFormat(fileName);
    if (fif == FIF_UNKNOWN || !FI().FIFSupportsReading(fif))
        return false;
    Clear();
    m_dib = FI().Load(fif, NativePath(fileName).constData(), flags);
    Changed();
    return IsValid();
}

bool TFreeBitmap::CanSave(FREE_IMAGE_FORMAT fif) const
{
    if (!m_dib || fif == FIF_UNKNOWN || !IsImageLibraryLoaded())
        return false;
    const FreeImageFunctions &fi = FI();
    const FREE_IMAGE_TYPE type = fi.GetImageType(m_dib);
    if (type == FIT_BITMAP)
        return fi.FIFSupportsWriting(fif) && fi.FIFSupportsExportBPP(fif, static_cast<int>(fi.GetBPP(m_dib)));
    return fi.FIFSupportsExportType(fif, type);
}

bool TFreeBitmap::Save(const QString &fileName, int flags, const std::function<bool(const QString &)> &finish,
                       QString *why)
{
    const FREE_IMAGE_FORMAT fif = IsImageLibraryLoaded()
        ? FI().GetFIFFromFilename(NativePath(fileName).constData()) : FIF_UNKNOWN;
    if (!CanSave(fif)) {
        prompts().notice(QStringLiteral("[") + fileName + QStringLiteral("] niet kunnen  opslaan"), QString());
        return false;
    }
    return SaveReplacing(fif, m_dib, fileName, flags, finish, why);
}

bool TFreeBitmap::ConvertTo24Bits()
{
    // Already 24-bit: the conversion would only make an identical copy.
    if (!m_dib || IsPlainBitmap(m_dib, 24))
        return m_dib != nullptr;
    const FreeImageFunctions &fi = FI();
    FIBITMAP *dib = fi.ConvertTo24Bits(m_dib);
    // Floating-point pictures (HDR, EXR, PFM) are brought into the displayable range.
    const FREE_IMAGE_TYPE type = fi.GetImageType(m_dib);
    if (!dib && (type == FIT_RGBF || type == FIT_RGBAF))
        dib = fi.ToneMapping(m_dib, FITMO_DRAGO03, 0, 0);
    return dib && Replace(dib);
}

bool TFreeBitmap::ConvertTo8Bits()
{
    if (!m_dib || IsPlainBitmap(m_dib, 8))
        return m_dib != nullptr;
    const FreeImageFunctions &fi = FI();
    FIBITMAP *dib = nullptr;
    const unsigned bpp = fi.GetBPP(m_dib);
    // A colour picture keeps its colours in a palette of 256 rather than
    // collapsing to grey.
    if (fi.GetImageType(m_dib) == FIT_BITMAP && (bpp == 24 || bpp == 32)
        && fi.GetColorType(m_dib) != FIC_MINISBLACK) {
        FIBITMAP *rgb = bpp == 24 ? m_dib : fi.ConvertTo24Bits(m_dib);
        if (rgb)
            dib = fi.ColorQuantize(rgb, FIQ_WUQUANT);
        if (rgb && rgb != m_dib)
            fi.Unload(rgb);
    }
    if (!dib)
        dib = fi.ConvertTo8Bits(m_dib);
    return dib && Replace(dib);
}

int TFreeBitmap::GetWidth() const { return m_dib ? static_cast<int>(FI().GetWidth(m_dib)) : 0; }
int TFreeBitmap::GetHeight() const { return m_dib ? static_cast<int>(FI().GetHeight(m_dib)) : 0; }
int TFreeBitmap::GetBitsPerPixel() const { return m_dib ? static_cast<int>(FI().GetBPP(m_dib)) : 0; }

double TFreeBitmap::GetHorizontalResolution() const
{
    return m_dib ? FI().GetDotsPerMeterX(m_dib) / 39.37 : 0.0;
}

double TFreeBitmap::GetVerticalResolution() const
{
    return m_dib ? FI().GetDotsPerMeterY(m_dib) / 39.37 : 0.0;
}

void TFreeBitmap::SetHorizontalResolution(double dpi)
{
    if (!m_dib)
        return;
    FI().SetDotsPerMeterX(m_dib, DpiToDpm(dpi));
    Changed();
}

void TFreeBitmap::SetVerticalResolution(double dpi)
{
    if (!m_dib)
        return;
    FI().SetDotsPerMeterY(m_dib, DpiToDpm(dpi));
    Changed();
}

void TFreeBitmap::Assign(const TFreeBitmap *source)
{
    if (!source || !source->IsValid()) {
        Clear();
        return;
    }
    if (FIBITMAP *copy = FI().Clone(source->m_dib))
        Replace(copy);
}

TFreeWinBitmap::~TFreeWinBitmap()
{
    if (m_display && FI().Unload)
        FI().Unload(m_display);
}

bool TFreeWinBitmap::CopyFromBitmap(const QImage &picture)
{
    if (picture.isNull() || !IsImageLibraryLoaded())
        return false;
    QImage source = picture;
    unsigned bpp = 24;
    switch (source.format()) {
    case QImage::Format_BGR888: break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32: bpp = 32; break;
    case QImage::Format_Indexed8: bpp = 8; break;
    case QImage::Format_ARGB32_Premultiplied:
        source = source.convertToFormat(QImage::Format_ARGB32);
        bpp = 32;
        break;
    default: source = source.convertToFormat(QImage::Format_BGR888); break;
    }
    if (source.isNull())
        return false;
    const FreeImageFunctions &fi = FI();
    const int width = source.width();
    const int height = source.height();
    // Pixels of our own, uncleared: the library would zero a whole page
    // only for it to be overwritten.
    const size_t rowBytes = static_cast<size_t>(width) * bpp / 8;
    const size_t pitch = (rowBytes + 3) & ~size_t(3);
    void *pixels = AllocateLarge(pitch * size_t(height));
    if (!pixels)
        return false;
    FIBITMAP *dib = fi.ConvertFromRawBitsEx(FALSE, static_cast<BYTE *>(pixels), FIT_BITMAP, width, height,
                                            static_cast<int>(pitch), bpp, FI_RGBA_RED_MASK,
                                            FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK, FALSE);
    if (!dib) {
        FreeLarge(pixels);
        return false;
    }
    // Row padding is written too: the memory may hold an earlier picture, and
    // formats such as BMP store the padding.
    const size_t padding = pitch - rowBytes;
    for (int y = 0; y < height; ++y) {
        BYTE *row = fi.GetScanLine(dib, height - 1 - y);
        std::memcpy(row, source.constScanLine(y), rowBytes);
        if (padding)
            std::memset(row + rowBytes, 0, padding);
    }
    if (bpp == 8) {
        RGBQUAD *palette = fi.GetPalette(dib);
        const QVector<QRgb> table = source.colorTable();
        for (int i = 0; i < 256; ++i) {
            const QRgb c = i < table.size() ? table[i] : qRgb(0, 0, 0);
            palette[i].rgbRed = static_cast<BYTE>(qRed(c));
            palette[i].rgbGreen = static_cast<BYTE>(qGreen(c));
            palette[i].rgbBlue = static_cast<BYTE>(qBlue(c));
            palette[i].rgbReserved = 0;
        }
    }
    if (source.dotsPerMeterX() > 0)
        fi.SetDotsPerMeterX(dib, static_cast<unsigned>(source.dotsPerMeterX()));
    if (source.dotsPerMeterY() > 0)
        fi.SetDotsPerMeterY(dib, static_cast<unsigned>(source.dotsPerMeterY()));
    return ReplaceWrapping(dib, pixels) && IsValid();
}

QImage TFreeWinBitmap::CopyToBitmapHandle(const Picture24Allocator &newPicture24) const
{
    return m_dib ? PictureFromDib(m_dib, newPicture24) : QImage();
}

void TFreeWinBitmap::Draw(QPainter &painter, const QRect &rect, bool useFileBackground,
                          RGBQUAD *appBackground, FIBITMAP *background)
{
    if (!m_dib)
        return;
    const FreeImageFunctions &fi = FI();
    if (m_display) {
        fi.Unload(m_display);
        m_display = nullptr;
    }
    const FREE_IMAGE_TYPE type = fi.GetImageType(m_dib);
    if (type == FIT_BITMAP) {
        if (fi.IsTransparent(m_dib) || fi.HasBackgroundColor(m_dib))
            m_display = fi.Composite(m_dib, useFileBackground, appBackground, background);
    } else if (type == FIT_COMPLEX) {
        if (FIBITMAP *magnitude = fi.GetComplexChannel(m_dib, FICC_MAG)) {
            m_display = fi.ConvertToStandardType(magnitude, TRUE);
            fi.Unload(magnitude);
        }
    } else {
        m_display = fi.ConvertToStandardType(m_dib, TRUE);
    }
    const QImage image = PictureFromDib(m_display ? m_display : m_dib);
    painter.drawImage(rect, image);
}
