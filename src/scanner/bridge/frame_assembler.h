#pragma once
// Turning the bytes a device delivered into a picture: a pure function, so
// every format and every malformed delivery can be tested without a device.
#include "common/bmp_file.h"

#include <sane/sane.h>

#include <QImage>
#include <QString>

#include <cstdint>
#include <vector>

struct ScanFrame {
    SANE_Parameters params{};
    std::vector<uint8_t> data;
};

struct AssembledPicture {
    QImage image;   // BGR888 for colour, Grayscale8 for grey, Mono (index 1 = black) for line art
    QString error;  // empty when the picture is whole
};

// Largest picture we agree to build: a BMP file cannot exceed 4 GiB
// (kMaxBmpFileBytes, BmpFileBytes).

// Checks parameters before anything is allocated. Lines may be -1 (unknown).
QString ValidateParameters(const SANE_Parameters &p);

// A grey or RGB picture filled while its frame arrives, so that the last byte
// leaves only the last rows to convert. Of unknown height, it grows in bands
// and takes the converted lines out of the frame: at its peak a scan then
// holds the bands and the whole picture, never the device's bytes as well.
struct PartialPicture {
    QImage image;      // known height: the picture; null when not built this way
    int64_t rows = 0;  // lines converted so far
    bool growing = false;
    std::vector<QImage> bands;
    int64_t bandRows = 0;
};
// For a grey or RGB frame: the empty picture of known height, or a growing one.
PartialPicture BeginRows(const SANE_Parameters &p);
// Converts every whole line of f that arrived since the last call. False when
// memory ran out.
bool AddRows(ScanFrame &f, PartialPicture &part);

// The frames of one scan in arrival order: one grey or RGB frame, or three
// separate red, green and blue frames. A partial picture of the frame, when
// given, is taken over and only its missing lines are converted.
AssembledPicture AssembleFrames(const std::vector<ScanFrame> &frames, PartialPicture *part = nullptr);
