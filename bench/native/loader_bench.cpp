// The loader's own cost per frame. Two synthetic hosts at 640 x 480:
//  - zero-cost: answers sizes and counts, writes no pixel and no sample; the
//    frames per second are the loader's ceiling;
//  - writing: writes each picture and its samples once (memset), the least a
//    real host does; the plug-in's share is the part of the time per frame
//    spent outside the host's services.
// Also shows that a repeated load allocates no pages, and nothing per frame.
// Both benchmarks, from the source folder:
//   cmake --build build --target resample_bench loader_bench && build/resample_bench && build/loader_bench
#include "cache/loader.h"
#include "cache/loader_thread_posix.h"
#include "cache/page_memory_posix.h"
#include "cache/preview_cache.h"
#include "plugin/host_services.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 640, kHeight = 480, kFrames = 100000, kChannels = 2, kSamples = 1470;

bool g_writing = false;
std::atomic<int64_t> g_hostNanoseconds{0};  // time spent inside the picture and sound services

struct HostTimer {
    Clock::time_point start = Clock::now();
    ~HostTimer() {
        g_hostNanoseconds += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    }
};

int IsEditing(EditHandle) { return 1; }
int FrameCount(EditHandle) { return kFrames; }
int SourceInfoOf(EditHandle, SourceInfo* info) {
    std::memset(info, 0, sizeof *info);
    info->videoRate = 30;
    info->videoScale = 1;
    info->audioChannels = kChannels;
    return 1;
}
int Pixels(EditHandle, int frame, void* pixels, int* width, int* height) {
    HostTimer timer;
    if (!pixels) {
        *width = kWidth;
        *height = kHeight;
    } else if (g_writing) {
        std::memset(pixels, frame, size_t{kWidth} * kHeight * 3);
    }
    return 1;
}
int Audio(EditHandle, int frame, short* samples) {
    HostTimer timer;
    if (samples && g_writing) std::memset(samples, frame, size_t{kChannels} * kSamples * 2);
    return kSamples;
}

struct Result {
    double framesPerSecond = 0;
    double hostShare = 0;  // of the wall time, inside the host's services
    int loads = 0;
    int pageAllocations = 0;     // during the repeated loads
    int scratchAllocations = 0;  // during the repeated loads
};

Result Measure(FilterTable& table, double scale) {
    PreviewCache cache;
    g_previewCache = &cache;
    cache.memoryLimit = 64u << 20;
    cache.qualityScale = scale;
    auto load = [&] {
        StartLoading(&table, nullptr, 0, 0xFFFFFFFFu);
        WaitForPostedMessage(WM_LOAD_DONE);
        StopLoading();
        TakePostedMessages();
        return static_cast<int>(cache.loadedCount.load());
    };
    load();  // the first load grows the blocks
    const int pages = g_pageMemory.pageAllocations, scratch = g_pageMemory.scratchAllocations;
    Result best;
    int loads = 0;
    for (int trial = 0; trial < 5; ++trial) {
        int frames = 0;
        g_hostNanoseconds = 0;
        const auto start = Clock::now();
        while (Clock::now() - start < std::chrono::milliseconds(400)) {
            frames += load();
            ++loads;
        }
        const std::chrono::duration<double> took = Clock::now() - start;
        if (frames / took.count() > best.framesPerSecond) {
            best.framesPerSecond = frames / took.count();
            best.hostShare = g_hostNanoseconds * 1e-9 / took.count();
        }
    }
    best.loads = loads;
    best.pageAllocations = g_pageMemory.pageAllocations - pages;
    best.scratchAllocations = g_pageMemory.scratchAllocations - scratch;
    g_previewCache = nullptr;
    return best;
}

}  // namespace

int main() {
    HostServices services{};
    services.IsEditing = IsEditing;
    services.GetFrameCount = FrameCount;
    services.GetSourceInfo = SourceInfoOf;
    services.GetFilteredPixels = Pixels;
    services.GetFilteredAudio = Audio;
    FilterTable table{};
    table.services = &services;
    table.window = &table;

    std::printf("%dx%d, 64 MiB, 2 x 1470 samples per frame, best of 5 trials\n", kWidth, kHeight);
    std::printf("%-9s %-8s %10s %10s %14s %12s %22s\n", "host", "quality", "frames/s", "us/frame", "plug-in share",
                "page allocs", "scratch allocs");
    for (bool writing : {false, true}) {
        g_writing = writing;
        for (int quality : {100, 50}) {
            const Result r = Measure(table, quality / 100.0);
            char allocs[64];
            std::snprintf(allocs, sizeof allocs, "%d in %d loads", r.scratchAllocations, r.loads);
            std::printf("%-9s %-8d %10.0f %10.1f %13.1f%% %12d %22s\n", writing ? "writing" : "zero-cost", quality,
                        r.framesPerSecond, 1e6 / r.framesPerSecond, 100.0 * (1.0 - r.hostShare), r.pageAllocations,
                        allocs);
        }
    }
    std::printf("plug-in share: the time per frame spent outside the host's services. Page allocations are\n"
                "counted over the repeated loads after the first; one scratch picture per load, none per frame.\n");
    return 0;
}
