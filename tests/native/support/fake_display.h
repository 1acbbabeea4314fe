// The drawing calls, recorded with the fake clock's time instead of drawn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fake_display {

enum class Kind { Frame, Bar, Clear, Title };

struct Call {
    Kind kind;
    uint32_t time;
    const unsigned char* pixels;  // Frame
    int firstByte;                // Frame: the image's first byte, read when drawn
    int32_t frame;                // Bar and Title
    int32_t frameCount;           // Bar
    std::string title;            // Title: the text that would be set
};

void Reset();
const std::vector<Call>& Calls();
// Each DrawFrame moves the fake clock by this much: a slow blit.
void SetDrawCost(uint32_t milliseconds);
void SetClientSize(int32_t width, int32_t height);  // what ComputeViewRect reads

}  // namespace fake_display
