#include "cache/resample.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// Target columns mapped per pass: the column plan lives on the stack, so a
// wider picture is done in vertical strips, each column mapped exactly once.
constexpr int32_t kStripColumns = 2048;

// A stretch of target columns that take consecutive source pixels.
struct Run {
    uint32_t targetByte;  // from the strip's first column
    uint32_t bytes;
    size_t sourceByte;  // from the source row's start
};

struct StripPlan {
    size_t sourceByte[kStripColumns];  // per target column
    Run runs[kStripColumns];
    int32_t columns = 0;
    int32_t runCount = 0;
    // Leading columns that may be moved as 4 bytes: the extra byte lands on
    // the next target pixel (written right after) and is read from within
    // the source row.
    int32_t wideColumns = 0;
};

void PlanStrip(StripPlan& plan, int32_t firstColumn, int32_t columns, double ratio, int32_t srcWidth) {
    plan.columns = columns;
    plan.runCount = 0;
    plan.wideColumns = 0;
    int32_t previous = -2;
    for (int32_t i = 0; i < columns; ++i) {
        const double scaled = static_cast<double>(firstColumn + i) * ratio;
        // Always below srcWidth in exact arithmetic; kept there whatever the rounding.
        const int32_t sx = std::min(static_cast<int32_t>(scaled), srcWidth - 1);
        plan.sourceByte[i] = static_cast<size_t>(sx) * 3;
        if (sx == previous + 1 && plan.runCount > 0) {
            plan.runs[plan.runCount - 1].bytes += 3;
        } else {
            plan.runs[plan.runCount++] = Run{static_cast<uint32_t>(i) * 3, 3, static_cast<size_t>(sx) * 3};
        }
        if (sx < srcWidth - 1 && i < columns - 1 && plan.wideColumns == i) plan.wideColumns = i + 1;
        previous = sx;
    }
}

inline void CopyPixel(unsigned char* to, const unsigned char* from) { std::memcpy(to, from, 3); }

void CopyRowByRuns(unsigned char* to, const unsigned char* row, const StripPlan& plan) {
    for (int32_t i = 0; i < plan.runCount; ++i) {
        const Run& run = plan.runs[i];
        std::memcpy(to + run.targetByte, row + run.sourceByte, run.bytes);
    }
}

void CopyRowByPixels(unsigned char* to, const unsigned char* row, const StripPlan& plan) {
    int32_t i = 0;
    for (; i < plan.wideColumns; ++i) std::memcpy(to + size_t(i) * 3, row + plan.sourceByte[i], 4);
    for (; i < plan.columns; ++i) CopyPixel(to + size_t(i) * 3, row + plan.sourceByte[i]);
}

}  // namespace

void ResampleFrame(unsigned char* target, const unsigned char* source, int32_t width, int32_t height,
                   int32_t srcWidth, int32_t srcHeight) {
    if (width <= 0 || height <= 0 || srcWidth <= 0 || srcHeight <= 0) return;
    const double ratio = static_cast<double>(srcWidth) / static_cast<double>(width);
    const size_t targetRowBytes = static_cast<size_t>(width) * 3;
    const size_t sourceRowBytes = static_cast<size_t>(srcWidth) * 3;
    StripPlan plan;
    for (int32_t first = 0; first < width; first += kStripColumns) {
        PlanStrip(plan, first, std::min(kStripColumns, width - first), ratio, srcWidth);
        // Long runs (enlarging, or nearly 1:1) copy as blocks; otherwise pixel by pixel.
        const bool byRuns = plan.runCount * 2 <= plan.columns;
        const size_t stripBytes = static_cast<size_t>(plan.columns) * 3;
        unsigned char* to = target + static_cast<size_t>(first) * 3;
        int32_t previousRow = -1;
        for (int32_t y = 0; y < height; ++y, to += targetRowBytes) {
            const double scaled = static_cast<double>(y) * ratio;
            const int32_t sy = scaled < static_cast<double>(srcHeight) ? static_cast<int32_t>(scaled) : srcHeight - 1;
            if (sy == previousRow) {
                std::memcpy(to, to - targetRowBytes, stripBytes);
                continue;
            }
            previousRow = sy;
            const unsigned char* row = source + static_cast<size_t>(sy) * sourceRowBytes;
            if (byRuns) CopyRowByRuns(to, row, plan);
            else CopyRowByPixels(to, row, plan);
        }
    }
}
