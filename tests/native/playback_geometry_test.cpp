#include "playback/view_geometry.h"

#include <gtest/gtest.h>

namespace {

struct PlaceCase {
    int line;
    int32_t clientW, clientH, frameW, frameH, view;
    ViewRect want;
};

TEST(ViewPlacement, Table) {
    const PlaceCase cases[] = {
        // Fit: enlarged until the height fills the 600-row video area, centred across.
        {__LINE__, 1000, 632, 320, 240, 7, {100, 0, 800, 600}},
        // Fit: reduced, limited by the width.
        {__LINE__, 400, 432, 640, 360, 7, {0, 87, 400, 225}},
        // Fixed percentages below the fit scale are kept.
        {__LINE__, 700, 632, 320, 180, 0, {310, 277, 80, 45}},
        {__LINE__, 700, 632, 320, 180, 2, {190, 210, 320, 180}},
        // "200%" in a window too small for it: the fit scale, whole, not cut.
        {__LINE__, 500, 332, 320, 240, 3, {50, 0, 400, 300}},
        // "640x480" keeps the frame's own shape: 640 x 360, left 30, top 120.
        {__LINE__, 700, 632, 320, 180, 4, {30, 120, 640, 360}},
        {__LINE__, 700, 632, 320, 180, 6, {270, 255, 160, 90}},
        // A fixed width never makes the picture larger than the area.
        {__LINE__, 300, 232, 320, 180, 4, {0, 15, 300, 168}},
        // A 32-row client: no video area, every view gets scale 0.
        {__LINE__, 640, 32, 320, 240, 0, {320, 0, 0, 0}},
        {__LINE__, 640, 32, 320, 240, 4, {320, 0, 0, 0}},
        {__LINE__, 640, 32, 320, 240, 7, {320, 0, 0, 0}},
        // Under 32 rows the fit scale is negative: top 0, negative size.
        {__LINE__, 640, 12, 320, 240, 7, {333, 0, -26, -20}},
        {__LINE__, 640, 12, 320, 240, 1, {320, -10, 0, 0}},
        // An index outside 0-7: the cached size, centred and cut evenly.
        {__LINE__, 200, 132, 320, 240, 8, {-60, -70, 320, 240}},
        {__LINE__, 200, 132, 320, 240, -1, {-60, -70, 320, 240}},
        // "50%" of 324 x 244 in the 162 x 154 client the resize asks for.
        {__LINE__, 162, 154, 324, 244, 1, {0, 0, 162, 122}},
        // Nothing cached: no size to scale, an empty rectangle.
        {__LINE__, 640, 512, 0, 0, 7, {0, 0, 0, 0}},
    };
    for (const PlaceCase& c : cases) {
        const ViewRect r = PlaceView(c.clientW, c.clientH, c.frameW, c.frameH, c.view);
        EXPECT_EQ(c.want.left, r.left) << "case at line " << c.line;
        EXPECT_EQ(c.want.top, r.top) << "case at line " << c.line;
        EXPECT_EQ(c.want.width, r.width) << "case at line " << c.line;
        EXPECT_EQ(c.want.height, r.height) << "case at line " << c.line;
    }
}

TEST(ViewPlacement, FixedSizesNeverExceedTheVideoArea) {
    for (int32_t view = 0; view <= 6; ++view)
        for (int32_t clientW : {50, 161, 640, 1919})
            for (int32_t clientH : {40, 99, 512, 1111}) {
                const ViewRect r = PlaceView(clientW, clientH, 644, 484, view);
                EXPECT_LE(r.width, clientW) << "view " << view << " client " << clientW << "x" << clientH;
                EXPECT_LE(r.height, clientH - kBandHeight) << "view " << view << " client " << clientW << "x"
                                                           << clientH;
                EXPECT_GE(r.left, 0);
                EXPECT_GE(r.top, 0);
            }
}

TEST(WindowSize, WantedClientSizes) {
    struct Case {
        int line;
        int32_t view, w, h;
        bool resize;
        int32_t cw, ch;
    };
    const Case cases[] = {
        {__LINE__, 1, 324, 244, true, 162, 154},  // 122 + 32
        {__LINE__, 0, 324, 244, true, 81, 93},
        {__LINE__, 2, 644, 484, true, 644, 516},
        {__LINE__, 3, 321, 241, true, 642, 514},
        {__LINE__, 4, 324, 244, true, 640, 512},  // whatever the frame size
        {__LINE__, 4, 1924, 1084, true, 640, 512},
        {__LINE__, 5, 8, 8, true, 320, 272},
        {__LINE__, 6, 8, 8, true, 160, 152},
        {__LINE__, 7, 324, 244, false, 0, 0},  // fitting: the window keeps its size
        {__LINE__, 8, 324, 244, false, 0, 0},
        {__LINE__, -1, 324, 244, false, 0, 0},
    };
    for (const Case& c : cases) {
        ClientSize wanted{-5, -5};
        EXPECT_EQ(c.resize, WantedClientSize(c.view, c.w, c.h, &wanted)) << "case at line " << c.line;
        if (!c.resize) continue;
        EXPECT_EQ(c.cw, wanted.width) << "case at line " << c.line;
        EXPECT_EQ(c.ch, wanted.height) << "case at line " << c.line;
    }
}

TEST(PositionBar, Columns) {
    struct Case {
        int line;
        uint32_t first, loaded;
        int32_t frame, count, width;
        BarColumns want;
    };
    const Case cases[] = {
        // The whole project cached: green over columns 0 to W - 1 (right edge W + 1).
        {__LINE__, 0, 300, 0, 300, 639, {true, 0, 640, 0}},
        {__LINE__, 0, 300, 150, 300, 639, {true, 0, 640, 320}},
        // A run in the middle of a project longer than the bar is wide.
        {__LINE__, 1000, 71, 1070, 5000, 639, {true, 128, 137, 136}},
        // More frames than columns: the last frame maps to column W, just outside.
        {__LINE__, 0, 5000, 4999, 5000, 639, {true, 0, 640, 639}},
        {__LINE__, 0, 1000, 999, 1000, 99, {true, 0, 100, 99}},
        // Truncated toward zero, frame taken as signed.
        {__LINE__, 0, 1, -1, 3, 100, {true, 0, 33, -33}},
        // No frames: nothing to map, no division by zero.
        {__LINE__, 0, 10, 3, 0, 639, {false, 0, 0, 0}},
        {__LINE__, 0, 10, 3, -7, 639, {false, 0, 0, 0}},
        // A first frame far beyond a count that shrank: saturates instead of overflowing.
        {__LINE__, 4000000000u, 10, 2000000000, 1, 4000, {true, INT32_MAX, INT32_MAX, INT32_MAX}},
    };
    for (const Case& c : cases) {
        const BarColumns b = ComputeBarColumns(c.first, c.loaded, c.frame, c.count, c.width);
        EXPECT_EQ(c.want.known, b.known) << "case at line " << c.line;
        EXPECT_EQ(c.want.x1, b.x1) << "case at line " << c.line;
        EXPECT_EQ(c.want.x2, b.x2) << "case at line " << c.line;
        EXPECT_EQ(c.want.xp, b.xp) << "case at line " << c.line;
    }
}

}  // namespace
