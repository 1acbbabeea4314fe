// The loader's shared state under ThreadSanitizer: the window thread reads the
// loaded count, the loading flag and every reported slot while the loader
// writes the next ones, cancels loads midway and starts the next at once.
#include "cache/loader.h"
#include "cache/loader_thread_posix.h"
#include "cache/preview_cache.h"
#include "tests/native/support/fake_host.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// What the window does with a reported frame: read it whole.
unsigned ReadSlots(const PreviewCache& cache, uint32_t slot) {
    unsigned sum = 0;
    const unsigned char* picture = cache.video->FrameAt(slot);
    for (int i = 0; i < cache.video->frameSize; ++i) sum += picture[i];
    const short* samples = cache.audio->FrameAt(slot);
    for (int i = 0; i < cache.audio->frameSize; ++i) sum += static_cast<unsigned short>(samples[i]);
    return sum;
}

}  // namespace

TEST(LoaderTsan, WindowReadsWhileTheLoaderWrites) {
    FakeHost host;
    host.project.frameCount = 40;
    host.project.width = 32;
    host.project.height = 24;
    host.project.samplesPerFrame = 100;
    PreviewCache cache;
    cache.memoryLimit = 1u << 20;
    g_previewCache = &cache;
    TakePostedMessages();

    unsigned checksum = 0;
    for (int round = 0; round < 6; ++round) {
        const bool cancel = round % 2 == 1;
        ASSERT_TRUE(StartLoading(&host.table, host.edit(), round, 0xFFFFFFFFu));
        bool done = false;
        uint32_t reported = 0;
        while (!done) {
            // Like the player stepping through what is there so far.
            const uint32_t loaded = cache.loadedCount.load();
            if (loaded > 0) checksum += ReadSlots(cache, loaded - 1);
            checksum += cache.loading.load();
            for (const PostedMessage& m : TakePostedMessages()) {
                if (m.message == WM_LOAD_PROGRESS) {
                    EXPECT_EQ(static_cast<uint32_t>(m.lParam), reported) << "round " << round;
                    checksum += ReadSlots(cache, static_cast<uint32_t>(m.lParam));
                    ++reported;
                } else {
                    EXPECT_EQ(m.message, WM_LOAD_DONE);
                    EXPECT_EQ(m.wParam, reported);
                    done = true;
                }
            }
            if (cancel && reported >= 3 && cache.loading.load()) StopLoading();  // the stop command
            std::this_thread::yield();
        }
        StopLoading();  // the WM_LOAD_DONE handling
        EXPECT_EQ(cache.loadedCount.load(), reported);
        if (!cancel) {
            EXPECT_EQ(reported, cache.frameCount) << "round " << round;
        }
    }
    g_previewCache = nullptr;
    EXPECT_NE(checksum, 0u);
}
