// The pictures and sounds the stand-in host serves. Each is a pure function of
// the frame and the position, so a test computes the expected value of any
// pixel or sample without asking the host. No windows.h here.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace standin {

struct Bgr {
    uint8_t b = 0, g = 0, r = 0;
    friend bool operator==(const Bgr& a, const Bgr& c) { return a.b == c.b && a.g == c.g && a.r == c.r; }
    friend bool operator!=(const Bgr& a, const Bgr& c) { return !(a == c); }
};
std::string ToString(const Bgr& c);  // "(b,g,r)", for failure messages
std::ostream& operator<<(std::ostream& out, const Bgr& c);

enum class Pattern {
    Coded,  // every pixel and sample says which frame it belongs to
    Demo,   // something pleasant to watch and hear
};

// Coded pattern, the same as the native tests' fake host: blue = column,
// green = row, red = frame, each modulo 256. Rows count in delivery order:
// y = 0 is the first row in the buffer, which is the BOTTOM row of the picture.
inline Bgr CodedPixel(int frame, int x, int y) {
    return Bgr{static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(frame)};
}
// Every sample of a frame's channel carries the frame and the channel.
inline short CodedSample(int frame, int channel) { return static_cast<short>((frame & 0xFFF) * 8 + channel); }

// Demo pattern: a diagonal gradient, a white box that crosses the picture once
// a second, and the frame number in black digits at the top left. y counts in
// delivery order as above (0 = bottom row).
Bgr DemoPixel(int frame, int x, int y, int width, int height, int framesPerLap);
// Demo sound: a sine tone, 440 Hz on channel 0, a fifth higher on channel 1,
// continuous across frames. index is the sample within the frame (per channel).
short DemoSample(int frame, int index, int channel, int samplesPerFrame, double sampleRate);

// Whole frames, as the host delivers them.
// BGR, width x height, rows packed, bottom row first.
void RenderPixels(Pattern pattern, int frame, int width, int height, int framesPerLap, uint8_t* out);
// count samples per channel, interleaved by channel.
void RenderSamples(Pattern pattern, int frame, int count, int channels, int samplesPerFrame, double sampleRate,
                   short* out);

}  // namespace standin
