#include "playback/view_geometry.h"

#include <cmath>

int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value <= -2147483648.0) return INT32_MIN;
    if (value >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(value);
}

ViewRect PlaceView(int32_t clientWidth, int32_t clientHeight, int32_t frameWidth, int32_t frameHeight,
                   int32_t viewSize) {
    if (frameWidth <= 0 || frameHeight <= 0) return ViewRect{0, 0, 0, 0};
    const double w = clientWidth;
    const double h = static_cast<double>(clientHeight) - kBandHeight;  // may be 0 or negative
    const double fw = frameWidth;
    const double fh = frameHeight;
    const double sx = w / fw;
    const double sy = h / fh;
    const double m = sy <= sx ? sy : sx;

    double s;
    if (viewSize == kViewFit) {
        s = m;  // enlarges as well, and stays negative in a client lower than the band
    } else if (viewSize >= 0 && viewSize < kViewSizeCount) {
        const double p = viewSize <= 3 ? ViewSizeTable[viewSize] / 100.0 : ViewSizeTable[viewSize] / fw;
        s = m > 0 ? (p < m ? p : m) : 0.0;
    } else {
        s = 1.0;
    }
    const double dw = fw * s;
    const double dh = fh * s;
    return ViewRect{TruncateToInt32((w - dw) * 0.5), TruncateToInt32((h - dh) * 0.5), TruncateToInt32(dw),
                    TruncateToInt32(dh)};
}

bool WantedClientSize(int32_t viewSize, int32_t width, int32_t height, ClientSize* wanted) {
    int32_t cw;
    int32_t ch;
    if (viewSize >= 0 && viewSize <= 3) {
        // In double the products are exact, and no 32-bit overflow can occur.
        cw = TruncateToInt32(static_cast<double>(ViewSizeTable[viewSize]) * width / 100.0);
        ch = TruncateToInt32(static_cast<double>(ViewSizeTable[viewSize]) * height / 100.0);
    } else if (viewSize >= 4 && viewSize < kViewSizeCount) {
        cw = ViewSizeTable[viewSize];
        ch = cw * 3 / 4;  // 4:3 whatever the frame's shape
    } else {
        return false;
    }
    wanted->width = cw;
    wanted->height = TruncateToInt32(static_cast<double>(ch) + kBandHeight);
    return true;
}

BarColumns ComputeBarColumns(uint32_t firstFrame, uint32_t loadedCount, int32_t frame, int32_t frameCount,
                             int32_t clientWidth) {
    if (frameCount <= 0) return BarColumns{false, 0, 0, 0};
    const double c = frameCount;
    const double k = static_cast<double>(clientWidth) + 1.0;
    const uint32_t end = firstFrame + loadedCount;  // 32-bit sum, as the counters are kept
    return BarColumns{true, TruncateToInt32(firstFrame / c * k), TruncateToInt32(end / c * k),
                      TruncateToInt32(frame / c * k)};
}
