#pragma once
// Finding the separate items lying on a scan, on a coarse grid of cells.
#include "detection/colour_match.h"
#include "detection/outline_inside.h"
#include "detection/scanbox.h"

#include <QImage>
#include <cstdint>
#include <vector>

constexpr int GridSize = 200;

// Values of the detection panel, read at the start of every run.
struct DetectionSettings {
    unsigned background = 0xFFFFFF;   // platform colour
    int tolerance = 3;                // per channel, inclusive
    int minSize = 50;                 // minimum box width and height, margin included
    int marginPercent = 2;            // of the picture width, used in both directions
    int columns = 0;                  // for the reading order
    qint64 boxPictureBytes = 0;       // largest box picture kept whole; 0: a third of the memory
    bool smart = false;               // "Slim zoeken": the lid modelled as it lies, not one colour

    BackgroundKey key() const { return BackgroundKey::fromColour(background, tolerance); }
};

// The selection frame in picture pixels, right and bottom exclusive.
struct PixelSelection {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Keeps its grid maps between runs; one run finds the boxes in discovery order.
class ItemDetector {
public:
    ItemDetector();
    ScanBoxList detect(const QImage &picture, PixelSelection selection, const DetectionSettings &settings);

private:
    using Cell = GridCell;

    ScanBoxList detectOnGrid(const QImage &picture, PixelSelection selection, const DetectionSettings &settings);

    bool isBackground(int x, int y) const;
    bool isBoundary(int x, int y) const;
    void claim(int x, int y);
    void trace(int x, int y);
    void sample(const QImage &picture, int gx0, int gx1, int gy0, int gy1, const BackgroundKey &key);

    std::vector<uint8_t> m_background;   // 1 = background or not sampled, 0 = item
    std::vector<uint8_t> m_visited;      // 1 = claimed by an item of this run
    std::vector<Cell> m_outline;
    std::vector<Cell> m_stack;           // trace frames: cell and next direction
    std::vector<int> m_nextDir;
    OutlineInside m_inside{GridSize};
    int m_left = 0, m_top = 0, m_right = 0, m_bottom = 0;
};

// One run with a fresh detector, for callers that do not keep one.
ScanBoxList DetectItems(const QImage &picture, PixelSelection selection, const DetectionSettings &settings);
