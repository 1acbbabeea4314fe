#include "cache/loader.h"
#include "cache/loader_thread_posix.h"
#include "cache/page_memory_posix.h"
#include "cache/preview_cache.h"
#include "tests/native/support/fake_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <atomic>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kAll = 0xFFFFFFFFu;

struct Msg {
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
    bool operator==(const Msg& o) const { return message == o.message && wParam == o.wParam && lParam == o.lParam; }
};

std::ostream& operator<<(std::ostream& out, const Msg& m) {
    return out << (m.message == WM_LOAD_DONE ? "DONE(" : m.message == WM_LOAD_PROGRESS ? "PROGRESS(" : "?(")
               << m.wParam << ", " << m.lParam << ")";
}

Msg Progress(int frame, int slot) { return {WM_LOAD_PROGRESS, static_cast<uintptr_t>(frame), slot}; }
Msg Done(uint32_t count) { return {WM_LOAD_DONE, count, 0}; }

std::vector<Msg> Messages(const std::vector<PostedMessage>& posted, void* window) {
    std::vector<Msg> out;
    for (const PostedMessage& p : posted) {
        EXPECT_EQ(p.window, window);
        out.push_back({p.message, p.wParam, p.lParam});
    }
    return out;
}

std::vector<Msg> ProgressRun(int first, int count) {
    std::vector<Msg> out;
    for (int k = 0; k < count; ++k) out.push_back(Progress(first + k, k));
    out.push_back(Done(static_cast<uint32_t>(count)));
    return out;
}

// Empty when the slot holds the host's w x h frame as the mapping samples it:
// pixel (x, y) comes from (trunc(x r), min(trunc(y r), h - 1)), r = w / width.
std::string PictureMismatch(const unsigned char* slot, int width, int height, int w, int h, int frame) {
    const double r = static_cast<double>(w) / width;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int sx = static_cast<int>(x * r);
            const int sy = std::min(static_cast<int>(y * r), h - 1);
            const unsigned char* p = slot + (static_cast<size_t>(y) * width + x) * 3;
            if (p[0] != PixelBlue(frame, sx, sy) || p[1] != PixelGreen(frame, sx, sy) ||
                p[2] != PixelRed(frame, sx, sy)) {
                std::ostringstream out;
                out << "frame " << frame << " pixel (" << x << ", " << y << "): got (" << int(p[0]) << ", "
                    << int(p[1]) << ", " << int(p[2]) << "), want source (" << sx << ", " << sy << ")";
                return out.str();
            }
        }
    return "";
}

bool AllZero(const void* data, size_t bytes) {
    const auto* p = static_cast<const unsigned char*>(data);
    return std::all_of(p, p + bytes, [](unsigned char b) { return b == 0; });
}

// Empty when the slot holds the frame's first samples (perChannel of them,
// clipped to the slot) and silence after them.
std::string SamplesMismatch(const short* slot, int frameSize, int channels, int frame, int perChannel) {
    const int64_t given = std::max(0, perChannel) * int64_t{channels};
    for (int i = 0; i < frameSize; ++i) {
        const short want = i < given ? SampleValue(frame, i % channels) : 0;
        if (slot[i] != want) {
            std::ostringstream out;
            out << "frame " << frame << " sample " << i << ": got " << slot[i] << ", want " << want;
            return out.str();
        }
    }
    return "";
}

// Records the buffer of every picture the host writes.
GetFilteredPixelsFn g_hostPixels = nullptr;
std::mutex g_bufferLock;
std::vector<void*> g_pictureBuffers;

int TAVELIN_CDECL RecordingPixels(EditHandle edit, int frame, void* pixels, int* width, int* height) {
    if (pixels) {
        std::lock_guard<std::mutex> lock(g_bufferLock);
        g_pictureBuffers.push_back(pixels);
    }
    return g_hostPixels(edit, frame, pixels, width, height);
}

}  // namespace

class CacheLoader : public ::testing::Test {
protected:
    FakeHost host;
    PreviewCache cache;

    void SetUp() override {
        g_previewCache = &cache;
        cache.memoryLimit = 4u << 20;
        cache.qualityScale = 1.0;
        TakePostedMessages();
    }
    void TearDown() override {
        StopLoading();
        SetPostObserver(nullptr);
        TakePostedMessages();
        g_previewCache = nullptr;
        g_pageMemory.refuseScratch = 0;
    }

    // Starts a load and handles its end as the window does on WM_LOAD_DONE.
    std::vector<Msg> LoadToEnd(int first, uint32_t requested) {
        EXPECT_TRUE(StartLoading(&host.table, host.edit(), first, requested));
        WaitForPostedMessage(WM_LOAD_DONE);
        StopLoading();
        return Messages(TakePostedMessages(), host.table.window);
    }

    std::string SlotMismatch(uint32_t slot, int frame) {
        const auto [w, h] = host.SizeOf(frame);
        const VideoMemory& v = *cache.video;
        return PictureMismatch(v.FrameAt(slot), v.width, v.height, w, h, frame);
    }
};

TEST_F(CacheLoader, ThreeFramesFromTen) {
    std::atomic<int> loadingAtDone{-1};
    SetPostObserver([&](const PostedMessage& m) {
        if (m.message == WM_LOAD_DONE) loadingAtDone = cache.loading.load();
    });
    EXPECT_EQ(LoadToEnd(10, 3), (std::vector<Msg>{Progress(10, 0), Progress(11, 1), Progress(12, 2), Done(3)}));
    EXPECT_EQ(loadingAtDone, 0) << "loading is cleared before WM_LOAD_DONE is posted";
    EXPECT_EQ(cache.firstFrame, 10);
    EXPECT_EQ(cache.frameCount, 3u);
    EXPECT_EQ(cache.loadedCount.load(), 3u);
    EXPECT_EQ(cache.playable, 1);
    EXPECT_EQ(cache.loaderThread, nullptr);
    for (uint32_t k = 0; k < 3; ++k) {
        EXPECT_EQ(SlotMismatch(k, 10 + static_cast<int>(k)), "");
        EXPECT_EQ(SamplesMismatch(cache.audio->FrameAt(k), 2940, 2, 10 + static_cast<int>(k), 1470), "");
    }
    EXPECT_EQ(host.pixelWrites.load(), 3);
    EXPECT_EQ(host.audioWrites.load(), 3);
}

TEST_F(CacheLoader, RunsOfNothingPostOnlyTheEnd) {
    struct Case {
        const char* what;
        uint32_t requested;
        int channels;
        uint32_t memoryLimit;
        int scratchRefusals;
    } cases[] = {
        {"requested 0", 0, 2, 4u << 20, 0},
        {"no audio channels", kAll, 0, 4u << 20, 0},
        {"limit below one picture", kAll, 2, 100, 0},
        {"UseMemory 4096 wrapped to 0", kAll, 2, 4096u << 20, 0},
        {"temporary picture refused", kAll, 2, 4u << 20, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.project.channels = c.channels;
        host.pixelWrites = 0;
        host.audioWrites = 0;
        cache.memoryLimit = c.memoryLimit;
        cache.ReleaseFrameMemory();
        g_pageMemory.refuseScratch = c.scratchRefusals;
        EXPECT_EQ(LoadToEnd(0, c.requested), std::vector<Msg>{Done(0)});
        EXPECT_EQ(host.pixelWrites.load(), 0) << "no picture fetched";
        EXPECT_EQ(host.audioWrites.load(), 0) << "no sound fetched";
        EXPECT_EQ(cache.loading.load(), 0);
        EXPECT_EQ(cache.playable, 0) << "a load of nothing is not playable";
    }
}

TEST_F(CacheLoader, CancelFinishesTheFrameInHand) {
    std::atomic<bool> fetching{false};
    host.project.onFetchPixels = [&](int frame) {
        if (frame != 5) return;
        fetching = true;
        while (cache.loading.load()) std::this_thread::yield();  // the stop arrives mid-frame
    };
    ASSERT_TRUE(StartLoading(&host.table, host.edit(), 0, 100));
    while (!fetching) std::this_thread::yield();
    StopLoading();
    EXPECT_EQ(cache.loaderThread, nullptr) << "StopLoading returns after the thread has ended";
    EXPECT_EQ(cache.loadedCount.load(), 6u) << "frame 5 was finished and counted";
    EXPECT_EQ(cache.playable, 1);
    EXPECT_EQ(Messages(TakePostedMessages(), host.table.window), ProgressRun(0, 6))
        << "WM_LOAD_DONE with the final count follows the last frame";
    EXPECT_EQ(SlotMismatch(5, 5), "");
}

TEST_F(CacheLoader, ProjectClosedMidLoad) {
    host.project.onFetchPixels = [&](int frame) {
        if (frame == 23) host.project.editing = 0;
    };
    EXPECT_EQ(LoadToEnd(20, kAll), ProgressRun(20, 4));
    EXPECT_EQ(cache.loadedCount.load(), 4u);
}

TEST_F(CacheLoader, StopWithoutAThread) {
    cache.loading = 1;
    cache.loadedCount = 0;
    StopLoading();
    EXPECT_EQ(cache.loading.load(), 0);
    EXPECT_EQ(cache.playable, 0);
    cache.loading = 1;
    cache.loadedCount = 2;
    StopLoading();
    EXPECT_EQ(cache.loading.load(), 0);
    EXPECT_EQ(cache.playable, 1);
    EXPECT_TRUE(TakePostedMessages().empty());
}

TEST_F(CacheLoader, RefusedThreadStartLeavesTheLoadPending) {
    RefuseWorkerStarts(1);
    EXPECT_FALSE(StartLoading(&host.table, host.edit(), 0, 3));
    EXPECT_EQ(cache.loaderThread, nullptr);
    EXPECT_EQ(cache.loading.load(), 1) << "until the stop command";
    StopLoading();
    EXPECT_EQ(cache.loading.load(), 0);
    EXPECT_TRUE(TakePostedMessages().empty());
}

TEST_F(CacheLoader, StraightPathOnlyAtTheHostsOwnSize) {
    host.project.width = 320;
    host.project.height = 240;
    g_hostPixels = host.services.GetFilteredPixels;
    host.services.GetFilteredPixels = RecordingPixels;
    for (int quality : {99, 100}) {
        SCOPED_TRACE("quality " + std::to_string(quality));
        cache.qualityScale = quality / 100.0;
        g_pictureBuffers.clear();
        EXPECT_EQ(LoadToEnd(0, 4), ProgressRun(0, 4));
        const VideoMemory& v = *cache.video;
        ASSERT_EQ(g_pictureBuffers.size(), 4u);
        for (uint32_t k = 0; k < 4; ++k) {
            if (quality == 99) {
                EXPECT_EQ(g_pictureBuffers[k], v.FrameAt(k)) << "the host writes straight into slot " << k;
            } else {
                EXPECT_EQ(g_pictureBuffers[k], g_pictureBuffers[0]) << "one temporary picture for the whole run";
                EXPECT_NE(g_pictureBuffers[k], static_cast<void*>(v.FrameAt(k)));
            }
            EXPECT_EQ(SlotMismatch(k, static_cast<int>(k)), "");
        }
        EXPECT_EQ(v.width, quality == 99 ? 320 : 324);
        EXPECT_EQ(v.height, quality == 99 ? 240 : 244);
    }
}

TEST_F(CacheLoader, FramesOfAnotherSize) {
    struct Case {
        const char* what;
        std::map<int, std::pair<int, int>> sizes;
        bool refuseOwnBuffer;  // the buffer for frame 2 cannot be had
        bool frame2Black;
    } cases[] = {
        {"larger than the first", {{2, {80, 60}}}, false, false},
        {"smaller than the first", {{2, {32, 24}}}, false, false},
        {"exactly the cached size", {{2, {68, 52}}}, false, false},
        {"another aspect", {{2, {200, 10}}}, false, false},
        {"zero", {{2, {0, 0}}}, false, true},
        {"negative", {{2, {-64, 48}}}, false, true},
        {"larger, buffer refused", {{2, {80, 60}}}, true, true},
        {"the run's first smaller than the rest", {{0, {32, 24}}}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.project.sizeOverride = c.sizes;
        host.project.onFetchPixels = [&](int frame) {
            if (frame == 1 && c.refuseOwnBuffer) g_pageMemory.refuseScratch = 1;
        };
        // Slot 2 still holds the previous case's frame: one that cannot be had must not show it.
        EXPECT_EQ(LoadToEnd(0, 5), ProgressRun(0, 5)) << "the load goes on";
        const VideoMemory& v = *cache.video;
        for (uint32_t k = 0; k < 5; ++k) {
            const int frame = static_cast<int>(k);
            if (frame == 2 && c.frame2Black) EXPECT_TRUE(AllZero(v.FrameAt(k), v.frameSize));
            else EXPECT_EQ(SlotMismatch(k, frame), "");
            EXPECT_EQ(SamplesMismatch(cache.audio->FrameAt(k), 2940, 2, frame, 1470), "")
                << "the sound is stored whatever the picture";
        }
    }
}

TEST_F(CacheLoader, FramesWithAnotherSampleCount) {
    // Three slots, the last right before the block's 23 spare samples.
    cache.memoryLimit = 3 * 68 * 52 * 3;
    struct Case {
        const char* what;
        int frame;
        int samples;  // per channel
        bool refuseOwnBuffer;
    } cases[] = {
        {"more, through the temporary picture", 1, 2000, false},
        {"fewer", 1, 1000, false},
        {"none", 1, 0, false},
        {"negative", 1, -1, false},
        {"more, in the last slot, with a buffer of its own", 2, 5000, false},
        {"more, in the last slot, buffer refused", 2, 5000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.project.samplesOverride = {{c.frame, c.samples}};
        host.project.onFetchPixels = [&](int frame) {
            if (frame == c.frame && c.refuseOwnBuffer) g_pageMemory.refuseScratch = 1;
        };
        cache.ReleaseFrameMemory();
        EXPECT_EQ(LoadToEnd(0, kAll), ProgressRun(0, 3));
        const AudioMemory& a = *cache.audio;
        ASSERT_EQ(a.capacity, 3u);
        for (uint32_t k = 0; k < 3; ++k) {
            const int frame = static_cast<int>(k);
            const int count = c.refuseOwnBuffer && frame == c.frame ? 0 : host.SamplesOf(frame);
            EXPECT_EQ(SamplesMismatch(a.FrameAt(k), 2940, 2, frame, count), "");
        }
        const auto* base = static_cast<const short*>(a.block->base);
        EXPECT_TRUE(AllZero(base, 46)) << "the header space is not written";
        EXPECT_TRUE(AllZero(base + 23 + 3 * 2940, 46)) << "the spare samples behind the last slot are not written";
    }
}

TEST_F(CacheLoader, NeverMoreFramesThanSlots) {
    cache.memoryLimit = 3 * 68 * 52 * 3;
    SizeRun(cache, &host.table, host.edit(), 0, kAll);
    ASSERT_EQ(cache.frameCount, 3u);
    cache.loading = 1;
    // A job that asks for more than the stores hold, run on this thread.
    LoaderJob job{&host.table, host.edit(), 0, cache.video, cache.audio, 10, &cache.loadedCount, &cache.loading};
    EXPECT_EQ(LoaderThreadProc(&job), 0u);
    EXPECT_EQ(Messages(TakePostedMessages(), host.table.window), ProgressRun(0, 3));
    EXPECT_EQ(host.pixelWrites.load(), 3);
    const auto* base = static_cast<const short*>(cache.audio->block->base);
    EXPECT_TRUE(AllZero(base + 23 + 3 * 2940, 46));
}

TEST_F(CacheLoader, RepeatedLoadAllocatesNoPages) {
    EXPECT_EQ(LoadToEnd(0, kAll), ProgressRun(0, 100));
    const int pages = g_pageMemory.pageAllocations;
    const int scratch = g_pageMemory.scratchAllocations;
    EXPECT_EQ(LoadToEnd(0, kAll), ProgressRun(0, 100));
    EXPECT_EQ(g_pageMemory.pageAllocations, pages) << "the blocks only grow";
    EXPECT_EQ(g_pageMemory.scratchAllocations, scratch + 1) << "one temporary picture per load, none per frame";
}
