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
