#include "host/patterns.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <ostream>

namespace standin {

std::string ToString(const Bgr& c) {
    return "(b=" + std::to_string(c.b) + ",g=" + std::to_string(c.g) + ",r=" + std::to_string(c.r) + ")";
}

std::ostream& operator<<(std::ostream& out, const Bgr& c) { return out << ToString(c); }

namespace {

// Digits 0-9, 3 x 5, top row first, bit 2 = left column.
constexpr uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

// Is (x, top) on a stroke of the frame number drawn at the top left?
bool OnFrameNumber(int frame, int x, int top, int height) {
    const int scale = std::max(1, height / 60);
    const int margin = 2 * scale;
    if (top < margin || top >= margin + 5 * scale || x < margin) return false;
    char text[16];
    int n = 0;
    unsigned value = static_cast<unsigned>(frame < 0 ? -static_cast<long long>(frame) : frame);
    do {
        text[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value && n < 12);
    const int cell = 4 * scale;  // 3 columns and a gap
    const int index = (x - margin) / cell;
    if (index >= n) return false;
    const int column = (x - margin) % cell / scale;
    if (column >= 3) return false;
    const int digit = text[n - 1 - index] - '0';
    const int row = (top - margin) / scale;
    return (kDigits[digit][row] >> (2 - column)) & 1;
}

}  // namespace

Bgr DemoPixel(int frame, int x, int y, int width, int height, int framesPerLap) {
    if (width <= 0 || height <= 0) return Bgr{};
    const int top = height - 1 - y;  // delivery order is bottom row first
    if (OnFrameNumber(frame, x, top, height)) return Bgr{0, 0, 0};
    const int box = std::max(4, height / 4);
    const int lap = std::max(1, framesPerLap);
    const int phase = ((frame % lap) + lap) % lap;
    const int travel = std::max(0, width - box);
    const int left = lap > 1 ? static_cast<int>(static_cast<long long>(phase) * travel / (lap - 1)) : 0;
    const int boxTop = (height - box) / 2;
    if (x >= left && x < left + box && top >= boxTop && top < boxTop + box) return Bgr{255, 255, 255};
    const int r = static_cast<int>(static_cast<long long>(x) * 255 / std::max(1, width - 1));
    const int g = static_cast<int>(static_cast<long long>(top) * 255 / std::max(1, height - 1));
    return Bgr{160, static_cast<uint8_t>(g), static_cast<uint8_t>(r)};
}

short DemoSample(int frame, int index, int channel, int samplesPerFrame, double sampleRate) {
    if (sampleRate <= 0.0) return 0;
    const double kPi = 3.14159265358979323846;
    const double frequency = channel % 2 == 0 ? 440.0 : 660.0;
    const double t = (static_cast<double>(frame) * samplesPerFrame + index) / sampleRate;
    return static_cast<short>(8000.0 * std::sin(2.0 * kPi * frequency * t));
}

void RenderPixels(Pattern pattern, int frame, int width, int height, int framesPerLap, uint8_t* out) {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Bgr c = pattern == Pattern::Coded ? CodedPixel(frame, x, y)
                                                    : DemoPixel(frame, x, y, width, height, framesPerLap);
            *out++ = c.b;
            *out++ = c.g;
            *out++ = c.r;
        }
}

void RenderSamples(Pattern pattern, int frame, int count, int channels, int samplesPerFrame, double sampleRate,
                   short* out) {
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < channels; ++c)
            *out++ = pattern == Pattern::Coded ? CodedSample(frame, c)
                                               : DemoSample(frame, i, c, samplesPerFrame, sampleRate);
}

}  // namespace standin
