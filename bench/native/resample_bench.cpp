// ResampleFrame's output rate beside memcpy of the same number of output
// bytes, for the sizes the plug-in meets most. Best of several trials, so that
// a busy machine shows less.
// Both benchmarks, from the source folder:
//   cmake --build build --target resample_bench loader_bench && build/resample_bench && build/loader_bench
#include "cache/resample.h"
#include "cache/sizing.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Seconds per call of `work`, the best of `trials` timings of `repeats` calls.
template <typename F>
double BestSeconds(F&& work, int repeats, int trials) {
    double best = 1e9;
    for (int t = 0; t < trials; ++t) {
        const auto start = Clock::now();
        for (int i = 0; i < repeats; ++i) work();
        const std::chrono::duration<double> took = Clock::now() - start;
        best = std::min(best, took.count() / repeats);
    }
    return best;
}

volatile unsigned g_sink;

}  // namespace

int main() {
    struct Case {
        int w, h, quality;
        double goal;
    } cases[] = {{1920, 1080, 50, 1.5}, {1920, 1080, 25, 1.5}, {640, 480, 100, 1.1}, {1280, 720, 100, 1.1}};
    std::printf("%-26s %12s %12s %10s %10s %8s %6s\n", "host -> cached", "resample", "memcpy", "bytes out",
                "us/frame", "ratio", "goal");
    for (const Case& c : cases) {
        const VideoShape shape = ShapeVideo(c.w, c.h, c.quality / 100.0);
        const size_t out = static_cast<size_t>(shape.frameSize);
        std::vector<unsigned char> source(static_cast<size_t>(c.w) * c.h * 3);
        for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
        std::vector<unsigned char> plain(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(out));
        std::vector<unsigned char> target(out);

        const int repeats = std::max(20, static_cast<int>(200000000 / out / 4));
        const double resample = BestSeconds(
            [&] { ResampleFrame(target.data(), source.data(), shape.width, shape.height, c.w, c.h); }, repeats, 7);
        g_sink = target[out / 2];
        const double copy = BestSeconds([&] { std::memcpy(target.data(), plain.data(), out); }, repeats, 7);
        g_sink = target[out / 3];

        char label[64];
        std::snprintf(label, sizeof label, "%dx%d q%d -> %dx%d", c.w, c.h, c.quality, shape.width, shape.height);
        std::printf("%-26s %7.0f MB/s %7.0f MB/s %10zu %10.1f %7.2fx %5.1fx\n", label, out / resample / 1e6,
                    out / copy / 1e6, out, resample * 1e6, resample / copy, c.goal);
    }
    std::printf("ratio = resample time / memcpy time for the same output bytes (lower is better)\n");
    return 0;
}
