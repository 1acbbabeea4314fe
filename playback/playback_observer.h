// A window on the play loop for benchmarks and tests: one call per turn,
// after the turn's drawing. Null in the product, where it costs one test of a
// pointer per frame.
#pragma once

#include <cstdint>

struct PlaybackTurn {
    int32_t frame;       // the counter: the frame this turn may draw
    uint32_t passStart;  // clock reading at the pass's start
    uint32_t target;     // when the frame should appear: the previous turn's deadline
    uint32_t deadline;   // end of this turn's wait
    uint32_t began;      // clock reading before drawing (the lateness test)
    uint32_t drawn;      // clock reading after drawing
    bool late;           // dropped: nothing drawn, no wait
    bool drew;           // a picture was drawn in this turn
    bool paced;
};

using PlaybackObserver = void (*)(const PlaybackTurn& turn);
extern PlaybackObserver g_playbackObserver;
