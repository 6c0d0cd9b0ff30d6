#pragma once
// The typewriter font of the log and the message window; where the named font
// is missing any fixed-pitch font stands in.
#include <QFont>

inline QFont FixedPitchFont(QFont font, int pixels)
{
    font.setPixelSize(pixels);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}
