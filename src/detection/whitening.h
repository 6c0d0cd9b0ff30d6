#pragma once
// Making the scanner background around an item white.
#include "detection/colour_match.h"
#include "detection/scanbox.h"

#include <QImage>

// Walks every column of rect down and up, and every row right and left: white
// pixels are passed, background pixels painted white and passed, anything else
// ends the walk. The item and background enclosed by it stay as they are.
// Parts of rect outside the bitmap are neither read nor painted; a walk starts
// at the first pixel inside. A bitmap under 5 pixels wide or high is left alone.
// Converts bitmap to 24 bits first when it is not.
void WhitenBackground(QImage &bitmap, const ScanBox &rect, const BackgroundKey &key);
