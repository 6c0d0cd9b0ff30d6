#pragma once
// The virtual flatbed that is always there, so the program can be tried
// without a scanner: six memorial cards on white glass, fronts and backs in turn.
#include "scanner/bridge/sane_wrapper.h"

#include <QImage>
#include <QRect>
#include <QStringList>

#include <memory>
#include <vector>

constexpr const char *kVirtualScannerName = "Voorbeeldscanner (virtueel)";
constexpr double kGlassWidthMm = 216.0;
constexpr double kGlassHeightMm = 297.0;

// The whole glass at `dpi` (Format_BGR888). The glass is pure white; cards are
// never near-white. Fronts and backs lie at the same places.
QImage VirtualScanPage(int dpi, bool back);

// The lines printed on the back of card `index` (distinct names on the six
// cards). Printed in DejaVu Serif when a GUI application runs; without one
// there are no fonts and bars stand in for the lines.
QStringList VirtualCardBackText(int index);

// Where the cards lie on a page of that resolution, in reading order.
std::vector<QRect> VirtualCardRects(int dpi);

// The virtual scanner as a device with the options resolution and side.
std::unique_ptr<SaneDevice> OpenVirtualScanner();

// Which side the next scan shows; flips after each completed scan of this run.
bool VirtualScannerNextIsBack();
void SetVirtualScannerNextIsBack(bool back);
