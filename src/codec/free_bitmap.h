#pragma once
// Wrappers around images of the image library.
#include "codec/freeimage_library.h"
#include "common/filez.h"   // ReplacingSave

#include <QFile>
#include <QImage>
#include <QString>
#include <cstdio>
#include <functional>

class QPainter;
class QRect;

// Where a new 24-bit picture of width x height gets its memory (NewPicture24
// when empty); a null picture when it cannot be had.
using Picture24Allocator = std::function<QImage(int width, int height)>;
// Dots per metre as the library stores a resolution in dots per inch.
unsigned DpiToDpm(double dpi);
// The library's resolution of a new image: 72 dots per inch.
constexpr unsigned kDefaultDpm = 2835;

class TFreeObject {
public:
    virtual ~TFreeObject() = default;
    virtual bool IsValid() const { return false; }
};

class TFreeBitmap : public TFreeObject {
public:
    TFreeBitmap() = default;
    TFreeBitmap(FREE_IMAGE_TYPE type, int width, int height, int bitsPerPixel);
    ~TFreeBitmap() override;
    TFreeBitmap(const TFreeBitmap &) = delete;
    TFreeBitmap &operator=(const TFreeBitmap &) = delete;

    bool IsValid() const override { return m_dib != nullptr; }
    FIBITMAP *Dib() const { return m_dib; }

    // Fires after the image was replaced or changed.
    std::function<void(TFreeBitmap &)> OnChange;
    // Asked before the image is replaced by newDib; false keeps the old one.
    std::function<bool(TFreeBitmap &, FIBITMAP *newDib)> OnChanging;

    bool Create(FREE_IMAGE_TYPE type, int width, int height, int bitsPerPixel);
    void Clear();
    // Format from the content, else from the name; FIF_UNKNOWN when neither tells.
    static FREE_IMAGE_FORMAT FileFormat(const QString &fileName);
    bool Load(const QString &fileName, int flags = 0);
    // Writes a new file beside the old one and puts it in place only when complete.
    // finish, when given, gets the path of the complete hidden file before that
    // (to add metadata); false from it abandons the save. On failure why, when
    // given, says what failed (Dutch).
    bool Save(const QString &fileName, int flags = 0, const std::function<bool(const QString &)> &finish = {},
              QString *why = nullptr);
    bool CanSave(FREE_IMAGE_FORMAT fif) const;
    bool ConvertTo24Bits();
    bool ConvertTo8Bits();
    int GetWidth() const;
    int GetHeight() const;
    int GetBitsPerPixel() const;
    double GetHorizontalResolution() const;   // dots per inch
    double GetVerticalResolution() const;
    void SetHorizontalResolution(double dpi);
    void SetVerticalResolution(double dpi);
    void Assign(const TFreeBitmap *source);

protected:
    bool Replace(FIBITMAP *newDib);
    // As Replace, for an image whose pixels live in pixels (owned from now on).
    bool ReplaceWrapping(FIBITMAP *newDib, void *pixels);
    void Changed();
    FIBITMAP *m_dib = nullptr;
    void *m_pixels = nullptr;   // pixels of m_dib held outside the library, if any
};

class TFreeWinBitmap : public TFreeBitmap {
public:
    using TFreeBitmap::TFreeBitmap;
    ~TFreeWinBitmap() override;

    // Takes the picture's pixels and resolution; false for a null picture.
    bool CopyFromBitmap(const QImage &picture);
    // A new picture of the image; null without an image. Throws std::runtime_error
    // when the picture cannot be made.
    QImage CopyToBitmapHandle(const Picture24Allocator &newPicture24 = {}) const;
    // Paints the image stretched into rect.
    void Draw(QPainter &painter, const QRect &rect, bool useFileBackground = false,
              RGBQUAD *appBackground = nullptr, FIBITMAP *background = nullptr);

private:
    FIBITMAP *m_display = nullptr;   // the converted copy of the last Draw
};

// A picture of dib's pixels (8, 24 or 32 bits per pixel are taken as they are,
// other kinds converted). Throws std::runtime_error when it cannot be made.
QImage PictureFromDib(FIBITMAP *dib, const Picture24Allocator &newPicture24 = {});
