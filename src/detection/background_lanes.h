#pragma once
// The background's colour range laid out over sixteen neighbouring pixels
// (48 bytes in three 16-byte lanes), for testing them all at once.
#include "detection/colour_match.h"

#include <algorithm>
#include <cstdint>
#include <emmintrin.h>

inline void BackgroundLanes(const BackgroundKey &key, __m128i lo[3], __m128i hi[3])
{
    const int channel[3] = {key.blue, key.green, key.red};
    for (int v = 0; v < 3; ++v) {
        alignas(16) uint8_t l[16], h[16];
        for (int i = 0; i < 16; ++i) {
            const int c = channel[(v * 16 + i) % 3];
            l[i] = uint8_t(std::clamp(c - key.tolerance, 0, 255));
            h[i] = uint8_t(std::clamp(c + key.tolerance, 0, 255));
        }
        lo[v] = _mm_load_si128(reinterpret_cast<const __m128i *>(l));
        hi[v] = _mm_load_si128(reinterpret_cast<const __m128i *>(h));
    }
}
