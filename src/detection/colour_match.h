#pragma once
// The one test of "is this pixel the scanner background", shared by detection
// and whitening so both always agree.
#include <cstdint>
#include <cstdlib>

struct BackgroundKey {
    int red = 255, green = 255, blue = 255;
    int tolerance = 3;

    // colour is a platform colour value: blue * 65536 + green * 256 + red.
    static BackgroundKey fromColour(unsigned colour, int tolerance)
    {
        BackgroundKey k;
        k.red = int(colour & 0xFF);
        k.green = int((colour >> 8) & 0xFF);
        k.blue = int((colour >> 16) & 0xFF);
        k.tolerance = tolerance;
        return k;
    }

    bool matches(int r, int g, int b) const
    {
        return std::abs(r - red) <= tolerance && std::abs(g - green) <= tolerance
            && std::abs(b - blue) <= tolerance;
    }
    // p points at one pixel of a 24-bit picture: blue, green, red.
    bool matchesBgr(const uint8_t *p) const { return matches(p[2], p[1], p[0]); }
};

inline unsigned PlatformColour(int red, int green, int blue)
{
    return unsigned(blue) * 65536u + unsigned(green) * 256u + unsigned(red);
}
