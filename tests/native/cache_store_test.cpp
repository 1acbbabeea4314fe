#include "cache/memory_store.h"
#include "cache/page_memory_posix.h"
#include "cache/preview_cache.h"

#include <gtest/gtest.h>

namespace {

unsigned char* Bytes(void* p) { return static_cast<unsigned char*>(p); }

}  // namespace

TEST(CacheStore, NewStoresAreEmptyAndAllocateNothing) {
    const int before = g_pageMemory.pageAllocations;
    VideoMemory video;
    AudioMemory audio;
    EXPECT_EQ(video.block->base, nullptr);
    EXPECT_EQ(video.block->size, 0u);
    EXPECT_EQ(video.FrameAt(0), nullptr);
    EXPECT_EQ(audio.FrameAt(0), nullptr);
    EXPECT_EQ(video.width, 0);
    EXPECT_EQ(video.height, 0);
    EXPECT_EQ(audio.channels, 0);
    EXPECT_TRUE(video.Reserve(0));
    EXPECT_EQ(video.block->base, nullptr) << "Reserve(0) leaves an empty store empty";
    EXPECT_EQ(g_pageMemory.pageAllocations, before);
}

TEST(CacheStore, ReserveOnlyGrows) {
    AudioMemory audio;
    ASSERT_TRUE(audio.Reserve(1000));
    void* first = audio.block->base;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(audio.block->size, 1000u);

    const int before = g_pageMemory.pageAllocations;
    EXPECT_TRUE(audio.Reserve(1000));
    EXPECT_TRUE(audio.Reserve(10));
    EXPECT_EQ(audio.block->base, first) << "a block never shrinks and is not replaced when large enough";
    EXPECT_EQ(audio.block->size, 1000u);
    EXPECT_EQ(g_pageMemory.pageAllocations, before);

    ASSERT_TRUE(audio.Reserve(5000));
    EXPECT_NE(audio.block->base, first);
    EXPECT_EQ(audio.block->size, 5000u);
    // The whole block is usable memory (ASan-free mmap: touch both ends).
    static_cast<short*>(audio.block->base)[0] = 1;
    static_cast<short*>(audio.block->base)[4999] = 1;
}

TEST(CacheStore, RefusedGrowthKeepsTheOldBlock) {
    VideoMemory video;
    ASSERT_TRUE(video.Reserve(4096));
    void* old = video.block->base;
    g_pageMemory.refusePages = 1;
    EXPECT_FALSE(video.Reserve(8192));
    EXPECT_EQ(video.block->base, old);
    EXPECT_EQ(video.block->size, 4096u);

    VideoMemory empty;
    g_pageMemory.refusePages = 1;
    EXPECT_FALSE(empty.Reserve(1));
    EXPECT_EQ(empty.block->base, nullptr);
    EXPECT_EQ(empty.block->size, 0u);
}

TEST(CacheStore, SlotAddresses) {
    AudioMemory audio;
    ASSERT_TRUE(audio.Reserve(10 * 2940 + 46));
    audio.frameSize = 2940;
    audio.capacity = 10;
    auto* base = Bytes(audio.block->base);
    EXPECT_EQ(Bytes(audio.FrameAt(0)), base + 46) << "slot 0 sits right behind the 46-byte header";
    EXPECT_EQ(Bytes(audio.FrameAt(9)), base + 46 + 9 * 5880);
    EXPECT_EQ(audio.FrameAt(10), nullptr);
    EXPECT_EQ(audio.FrameAt(0xFFFFFFFFu), nullptr);

    VideoMemory video;
    ASSERT_TRUE(video.Reserve(5 * 61008));
    video.width = 164;
    video.height = 124;
    video.frameSize = 61008;
    video.capacity = 5;
    EXPECT_EQ(video.FrameAt(0), Bytes(video.block->base));
    EXPECT_EQ(video.FrameAt(4), Bytes(video.block->base) + 244032);
    EXPECT_EQ(video.FrameAt(5), nullptr);
}

TEST(CacheStore, ReleaseFrameMemoryEmptiesBothStoresAndKeepsTheRun) {
    PreviewCache cache;
    ASSERT_TRUE(cache.video->Reserve(61008 * 3));
    ASSERT_TRUE(cache.audio->Reserve(3 * 2940 + 46));
    cache.video->width = 164;
    cache.video->height = 124;
    cache.video->frameSize = 61008;
    cache.video->capacity = 3;
    cache.audio->channels = 2;
    cache.audio->frameSize = 2940;
    cache.audio->capacity = 3;
    cache.firstFrame = 7;
    cache.loadedCount = 3;
    cache.frameCount = 3;
    cache.frameRate = 30.0;
    cache.playable = 1;

    for (int round = 0; round < 2; ++round) {
        cache.ReleaseFrameMemory();
        SCOPED_TRACE(round == 0 ? "first release" : "second release");
        EXPECT_EQ(cache.video->block->base, nullptr);
        EXPECT_EQ(cache.video->block->size, 0u);
        EXPECT_EQ(cache.audio->block->base, nullptr);
        EXPECT_EQ(cache.video->capacity, 0u);
        EXPECT_EQ(cache.audio->capacity, 0u);
        EXPECT_EQ(cache.video->frameSize, 0);
        EXPECT_EQ(cache.video->FrameAt(0), nullptr);
        EXPECT_EQ(cache.audio->FrameAt(0), nullptr);
        EXPECT_EQ(cache.playable, 0);
        EXPECT_EQ(cache.loadedCount.load(), 3u);
        EXPECT_EQ(cache.frameCount, 3u);
        EXPECT_EQ(cache.firstFrame, 7);
        EXPECT_EQ(cache.frameRate, 30.0);
        EXPECT_EQ(cache.video->width, 164) << "the shape stays for the view-size commands";
        EXPECT_EQ(cache.video->height, 124);
        EXPECT_EQ(cache.audio->channels, 2);
    }
}

TEST(CacheStore, NewCacheStartsIdle) {
    PreviewCache cache;
    ASSERT_NE(cache.video, nullptr);
    ASSERT_NE(cache.audio, nullptr);
    EXPECT_EQ(cache.firstFrame, 0);
    EXPECT_EQ(cache.loadedCount.load(), 0u);
    EXPECT_EQ(cache.frameCount, 0u);
    EXPECT_EQ(cache.loading.load(), 0);
    EXPECT_EQ(cache.playable, 0);
    EXPECT_EQ(cache.memoryLimit, 0u);
    EXPECT_EQ(cache.qualityScale, 1.0);
    EXPECT_EQ(cache.loaderThread, nullptr);
}
