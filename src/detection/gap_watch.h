#pragma once
#include <climits>

// Along one line through a card: the lid's colour between two stretches of
// card is a gap between two cards taken for one, or paper the lid's colour.
// With widest, only a stretch of lid of at most that many samples is a gap:
// wider ones are paper, as a wider gap was already seen. It counts what it
// was fed, too.
struct GapWatch {
    int widest = INT_MAX;
    bool card = false, gap = false;
    int lidRun = 0, seen = 0, cardSeen = 0;
    void feed(bool lid)
    {
        ++seen;
        if (lid) {
            ++lidRun;
            return;
        }
        ++cardSeen;
        gap = gap || (card && lidRun > 0 && lidRun <= widest);
        card = true;
        lidRun = 0;
    }
};
