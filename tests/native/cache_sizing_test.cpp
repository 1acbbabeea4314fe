#include "cache/page_memory_posix.h"
#include "cache/preview_cache.h"
#include "cache/sizing.h"
#include "tests/native/support/fake_host.h"

#include <gtest/gtest.h>

#include <climits>

TEST(CacheSizing, CachedPictureShape) {
    struct Case {
        int w, h, quality;
        int width, height, frameSize;
    } cases[] = {
        {640, 480, 100, 644, 484, 935088},
        {640, 480, 50, 324, 244, 237168},
        {640, 480, 25, 164, 124, 61008},
        {640, 480, 30, 196, 148, 196 * 148 * 3},  // 640 x 0.3 is exactly 192.0
        {320, 240, 100, 324, 244, 237168},        // a multiple of 4 still grows by 4
        {321, 241, 100, 324, 244, 237168},
        {320, 240, 99, 320, 240, 230400},         // the only way to the host's own size
        {100, 100, 29, 32, 32, 3072},             // 100 x 0.29 = 28.999999999999996
        {640, 480, 0, 4, 4, 48},
        {0, 0, 100, 4, 4, 48},
        {1920, 1080, 100, 1924, 1084, 6256848},
        // The host's bad answers: nothing that could be cached.
        {-5, 10, 100, 0, 0, 0},
        {640, -1, 100, 0, 0, 0},
        {640, 480, -10, 0, 0, 0},
        {100000, 100000, 100, 0, 0, 0},  // a slot past 2 GiB
        {INT_MAX, 1, 100, 0, 0, 0},      // a side past 32 bits once 4 is added
    };
    for (const Case& c : cases) {
        const VideoShape shape = ShapeVideo(c.w, c.h, c.quality / 100.0);
        EXPECT_EQ(shape.width, c.width) << c.w << " x " << c.h << " at " << c.quality;
        EXPECT_EQ(shape.height, c.height) << c.w << " x " << c.h << " at " << c.quality;
        EXPECT_EQ(shape.frameSize, c.frameSize) << c.w << " x " << c.h << " at " << c.quality;
    }
}

TEST(CacheSizing, CapacitiesAndBlocks) {
    EXPECT_EQ(VideoCapacity(67108864, 935088), 71u);
    EXPECT_EQ(VideoCapacity(4u << 20, 6256848), 0u) << "4 MiB holds no full-HD picture";
    EXPECT_EQ(VideoCapacity(0, 48), 0u);
    EXPECT_EQ(VideoCapacity(67108864, 0), 0u);
    EXPECT_EQ(AudioBlockSamples(71, 2940), 208786u);
    EXPECT_EQ(AudioCapacity(208786, 2940), 71u);
    EXPECT_EQ(AudioCapacity(208785 - 46, 2940), 70u);
    EXPECT_EQ(AudioCapacity(22, 1), 0u) << "no room behind the header";
    EXPECT_EQ(AudioCapacity(208786, 0), 0u);
    EXPECT_EQ(AudioBlockSamples(0x80000000u, 4), 46u) << "the product wraps in 32 bits";
    EXPECT_EQ(AudioFrameSize(2, 1470), 2940);
    EXPECT_EQ(AudioFrameSize(0, 1470), 0);
    EXPECT_EQ(AudioFrameSize(2, 0), 0);
    EXPECT_EQ(AudioFrameSize(-2, -1470), 0) << "two wrongs make no slot";
    EXPECT_EQ(AudioFrameSize(65536, 65536), 0);
}

TEST(CacheSizing, RunLength) {
    struct Case {
        uint32_t requested, videoCapacity, audioCapacity;
        int first, total;
        uint32_t expected;
    } cases[] = {
        {0xFFFFFFFFu, 71, 71, 100, 150, 50},  // 71 fit, clamped to the project's end
        {0xFFFFFFFFu, 71, 71, 0, 150, 71},
        {10, 71, 71, 0, 150, 10},
        {10, 71, 5, 0, 150, 5},
        {10, 3, 71, 0, 150, 3},
        {0, 71, 71, 0, 150, 0},
        {10, 71, 71, 149, 150, 1},
        {10, 71, 71, 150, 150, 0},  // at or past the end: nothing, not 2^32 - n
        {10, 71, 71, 200, 150, 0},
        {10, 71, 71, -1, 150, 0},
        {10, 71, 71, 0, 0, 0},
        {10, 71, 71, 0, -5, 0},
        {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, INT_MAX - 1, INT_MAX, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RunLength(c.requested, c.videoCapacity, c.audioCapacity, c.first, c.total), c.expected)
            << "requested " << c.requested << ", capacities " << c.videoCapacity << "/" << c.audioCapacity
            << ", first " << c.first << " of " << c.total;
}

class CacheSizeRun : public ::testing::Test {
protected:
    FakeHost host;
    PreviewCache cache;

    void SetUp() override {
        host.project.width = 640;
        host.project.height = 480;
        host.project.frameCount = 150;
        host.project.videoRate = 30000;
        host.project.videoScale = 1001;
        cache.memoryLimit = 64u << 20;
    }
    void Size(int32_t first, uint32_t requested) { SizeRun(cache, &host.table, host.edit(), first, requested); }
};

TEST_F(CacheSizeRun, SixtyFourMebibytesAtFullQuality) {
    Size(100, 0xFFFFFFFFu);
    EXPECT_DOUBLE_EQ(cache.frameRate, 30000.0 / 1001.0);
    EXPECT_EQ(cache.video->block->size, 67108864u);
    EXPECT_EQ(cache.video->width, 644);
    EXPECT_EQ(cache.video->height, 484);
    EXPECT_EQ(cache.video->capacity, 71u);
    EXPECT_EQ(cache.audio->channels, 2);
    EXPECT_EQ(cache.audio->frameSize, 2940);
    EXPECT_EQ(cache.audio->block->size, 208786u) << "71 x 2940 + 46 samples";
    EXPECT_EQ(cache.audio->capacity, 71u);
    EXPECT_EQ(cache.firstFrame, 100);
    EXPECT_EQ(cache.frameCount, 50u) << "71 fit; the project ends 50 frames on";

    Size(0, 10);
    EXPECT_EQ(cache.frameCount, 10u);
}

TEST_F(CacheSizeRun, RepeatedSizingAllocatesNothingAndLimitsOnlyGrow) {
    Size(0, 0xFFFFFFFFu);
    void* video = cache.video->block->base;
    void* audio = cache.audio->block->base;
    const int before = g_pageMemory.pageAllocations;
    Size(0, 0xFFFFFFFFu);
    EXPECT_EQ(g_pageMemory.pageAllocations, before);
    EXPECT_EQ(cache.video->block->base, video);
    EXPECT_EQ(cache.audio->block->base, audio);

    cache.memoryLimit = 4u << 20;  // lowered: the larger block stays
    Size(0, 0xFFFFFFFFu);
    EXPECT_EQ(cache.video->block->size, 67108864u);
    EXPECT_EQ(cache.video->capacity, 71u);

    cache.ReleaseFrameMemory();
    Size(0, 0xFFFFFFFFu);
    EXPECT_EQ(cache.video->block->size, 4u << 20);
    EXPECT_EQ(cache.video->capacity, 4u);
    EXPECT_EQ(cache.frameCount, 4u);
}

TEST_F(CacheSizeRun, RunsOfNothing) {
    struct Case {
        const char* what;
        int channels;
        int samplesPerFrame;
        uint32_t memoryLimit;
        int width;
    } cases[] = {
        {"no audio channels", 0, 1470, 64u << 20, 640},
        {"no samples in frame 0", 2, 0, 64u << 20, 640},
        {"limit below one picture", 2, 1470, 935087, 640},
        {"UseMemory 4096 wraps to 0", 2, 1470, 4096u << 20, 640},
        {"negative picture width", 2, 1470, 64u << 20, -640},
    };
    for (const Case& c : cases) {
        FakeHost fresh;
        fresh.project.width = c.width;
        fresh.project.height = 480;
        fresh.project.channels = c.channels;
        fresh.project.samplesPerFrame = c.samplesPerFrame;
        PreviewCache empty;
        empty.memoryLimit = c.memoryLimit;
        SizeRun(empty, &fresh.table, fresh.edit(), 0, 0xFFFFFFFFu);
        EXPECT_EQ(empty.frameCount, 0u) << c.what;
    }
}

TEST_F(CacheSizeRun, RefusedVideoBlockGivesNoRun) {
    g_pageMemory.refusePages = 1;
    Size(0, 0xFFFFFFFFu);
    EXPECT_EQ(cache.video->block->base, nullptr);
    EXPECT_EQ(cache.video->capacity, 0u);
    EXPECT_EQ(cache.frameCount, 0u);
    EXPECT_EQ(cache.video->width, 644) << "the shape is still set";
}
