#pragma once
// Picture files from elsewhere are decoded by a separate program of ours
// (kvnscan-decode) under hard limits on memory, time and files, so that no
// file can hang, exhaust or crash the program. The pixels come back in
// shared memory, without a copy.
#include "codec/free_bitmap.h"

#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>

enum class PictureDecodeResult : int32_t {
    Decoded = 1,
    NotAPicture,   // not a file the image library takes for a picture
    TooLarge,      // claims or needs more memory than allowed
    Damaged,       // the library gave up on it, or the decoder crashed
    TooSlow,       // ran out of time
    Cancelled,     // the user stopped it
    NoDecoder,     // the decoder program could not be started
    NoLibrary,     // the decoder found no image library to decode with
    StartedWrongly, // the decoder was not given what it needs to work
};

// Why a file was not decoded, in Dutch, as a clause ("het bestand is beschadigd").
QString DecodeReason(PictureDecodeResult outcome);

// The decoder's own work: decodes path with the image library into picture,
// whose memory comes from newPicture24. claimed is told the pixels the header
// claims once they passed the checks.
PictureDecodeResult DecodePictureFile(const QString &path, QImage &picture, const Picture24Allocator &newPicture24,
                                      const std::function<void(qint64 pixels)> &claimed = {});

struct DecodedPicture {
    PictureDecodeResult outcome = PictureDecodeResult::Damaged;
    QImage picture;   // Format_BGR888 when decoded
    bool incomplete = false;   // decoded from a file cut short: the missing part is grey
};

// Decodes path in the decoder program. In a window program the window keeps
// answering: a busy cursor at once, after a second a dialog with "Annuleren".
DecodedPicture DecodeInDecoder(const QString &path);

// The Dutch notice for a picture decoded from a file cut short.
QString IncompleteFileText();
// The Dutch notice for a file that could not be decoded.
QString DecodeFailureText(PictureDecodeResult outcome, const QString &path);

// Processor seconds the decoder may use (20); 0 restores that.
int DecodeSeconds();
void SetDecodeSeconds(int seconds);
// Address space the decoder may use for a picture limited to pictureBytes
// (see PictureByteLimit): at most a third of the memory.
qint64 DecodeAddressSpace(qint64 pictureBytes);
// The decoder program: beside the running program, else in the build's bin folder.
QString DecoderProgram();

// What the decoder hands back at the start of the shared memory; the pixels
// follow at kDecodedPixelsOffset.
struct DecodedHeader {
    uint32_t magic;
    int32_t result;   // PictureDecodeResult
    int32_t width, height;
    int64_t bytesPerLine;
    int32_t dotsPerMeterX, dotsPerMeterY;
    int32_t incomplete;   // the file ended early; the library filled the rest
};
constexpr uint32_t kDecodedMagic = 0x4b564e44;   // "KVND"
constexpr int kDecoderStartedWrongly = 3;         // the decoder's exit code without its arguments or memory
constexpr int64_t kDecodedPixelsOffset = 4096;
// The shared memory's descriptor in the decoder.
constexpr int kDecoderMemoryFd = 3;
