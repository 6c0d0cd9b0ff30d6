#pragma once
// The background's colour range laid out over sixteen neighbouring pixels
// (48 bytes), for testing them all at once.
#include "detection/colour_match.h"

#include <algorithm>
#include <cstdint>

inline void BackgroundLanes(const BackgroundKey &key, uint8_t lo[48], uint8_t hi[48])
{
    const int channel[3] = {key.blue, key.green, key.red};
    for (int i = 0; i < 48; ++i) {
        const int c = channel[i % 3];
        lo[i] = uint8_t(std::clamp(c - key.tolerance, 0, 255));
        hi[i] = uint8_t(std::clamp(c + key.tolerance, 0, 255));
    }
}
