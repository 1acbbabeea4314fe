// Where a cached frame goes in the window, and what size the window asks for:
// pure arithmetic, no platform code.
#pragma once

#include <cstdint>

struct ViewRect {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
};

// The bottom rows of the client area hold the buttons and, in its last two
// rows, the position bar; the video area is everything above.
inline constexpr int32_t kBandHeight = 32;
inline constexpr int32_t kBarHeight = 2;

// View size index 7 fits the window and has no entry.
inline constexpr int32_t kViewFit = 7;
inline constexpr int32_t kViewSizeCount = 7;
// 0-3: percent of the cached frame size; 4-6: picture width in pixels.
inline constexpr int32_t ViewSizeTable[kViewSizeCount] = {25, 50, 100, 200, 640, 320, 160};

// Window styles the plug-in window is known to have; the resize converts
// client size to window size with these, not with the window's own.
inline constexpr uint32_t kWindowStyle = 0x14CC0000;
inline constexpr uint32_t kWindowExStyle = 0x180;

// Places a frame of frameWidth x frameHeight in a client area of
// clientWidth x clientHeight for the view size index: centred in the video
// area, never larger than it for a fixed size, enlarged or reduced to fit for
// index 7, at its cached size for an index outside 0-7. Without a frame size
// (nothing cached) the rectangle is empty.
ViewRect PlaceView(int32_t clientWidth, int32_t clientHeight, int32_t frameWidth, int32_t frameHeight,
                   int32_t viewSize);

struct ClientSize {
    int32_t width;
    int32_t height;
};

// The client size that shows a frame of width x height at the view size
// index, band included. False for index 7 (the window keeps its size) and
// for an index outside the table.
bool WantedClientSize(int32_t viewSize, int32_t width, int32_t height, ClientSize* wanted);

// Columns of the position bar in a client area clientWidth wide: the cached
// run [x1, x2) and the line of the frame on screen at xp. Frame 0 maps to
// column 0 and frame frameCount to column clientWidth + 1. With no frames (a
// count of 0 or less) there is nothing to map: known is false and only the background is painted.
struct BarColumns {
    bool known;
    int32_t x1;
    int32_t x2;
    int32_t xp;
};
BarColumns ComputeBarColumns(uint32_t firstFrame, uint32_t loadedCount, int32_t frame, int32_t frameCount,
                             int32_t clientWidth);

// Truncates toward zero, saturating at the ends of the 32-bit range so that
// an absurd input cannot make the conversion undefined.
int32_t TruncateToInt32(double value);
