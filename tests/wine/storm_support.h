// What the storm and the hostile-host programs share: the window set-up and
// the checks of the stores that must hold between any two messages.
#pragma once

#include "cache/preview_cache.h"
#include "host/patterns.h"
#include "host/project.h"
#include "tests/wine/wine_test.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace storm {

// True when the address lies in no allocation at all: given back whole.
inline bool RegionFree(const void* base) {
    MEMORY_BASIC_INFORMATION info;
    return VirtualQuery(base, &info, sizeof info) == sizeof info && info.State == MEM_FREE;
}

// Each store's capacity follows its block: whole slots inside the block (the
// audio slots behind the 23-sample header), none without a block; the loader
// never counts more frames than its run; no loading flag without a loader.
inline void CheckStores(const PreviewCache& cache) {
    CHECK(cache.loadedCount.load() <= cache.frameCount);
    const VideoMemory& video = *cache.video;
    const AudioMemory& audio = *cache.audio;
    if (!video.block->base) {
        CHECK_EQ(video.block->size, 0u);
        CHECK_EQ(video.capacity, 0u);
    } else {
        CHECK(uint64_t{video.capacity} * static_cast<uint64_t>(video.frameSize) <= video.block->size);
    }
    if (!audio.block->base) {
        CHECK_EQ(audio.block->size, 0u);
        CHECK_EQ(audio.capacity, 0u);
    } else {
        CHECK(kWaveHeaderSamples + uint64_t{audio.capacity} * static_cast<uint64_t>(audio.frameSize) <=
              audio.block->size);
    }
    if (!cache.loaderThread) CHECK(!cache.loading.load());
}

// Empty when slot k holds project frame `frame` as the host delivers it,
// sampled to the cached size with one ratio (source row length over cached
// width), rows clamped to the source; black when the host gives no picture.
inline std::string PictureMismatch(const VideoMemory& video, uint32_t slot, int frame, int w, int h) {
    const unsigned char* p = video.FrameAt(slot);
    if (!p) return "no slot " + std::to_string(slot);
    const double r = static_cast<double>(w) / video.width;
    for (int y = 0; y < video.height; ++y)
        for (int x = 0; x < video.width; ++x, p += 3) {
            standin::Bgr want{};
            if (w > 0 && h > 0)
                want = standin::CodedPixel(frame, std::min(static_cast<int>(x * r), w - 1),
                                           std::min(static_cast<int>(y * r), h - 1));
            if (p[0] != want.b || p[1] != want.g || p[2] != want.r)
                return "slot " + std::to_string(slot) + " (frame " + std::to_string(frame) + ") pixel (" +
                       std::to_string(x) + ", " + std::to_string(y) + ")";
        }
    return "";
}

// The frame's samples (perChannel of each channel) as far as the slot holds
// them, silence behind them.
inline std::string SamplesMismatch(const AudioMemory& audio, uint32_t slot, int frame, int perChannel) {
    const short* s = audio.FrameAt(slot);
    if (!s) return "no slot " + std::to_string(slot);
    const int64_t given = std::max(0, perChannel) * int64_t{audio.channels};
    for (int i = 0; i < audio.frameSize; ++i) {
        const short want = i < given ? standin::CodedSample(frame, i % audio.channels) : 0;
        if (s[i] != want)
            return "slot " + std::to_string(slot) + " (frame " + std::to_string(frame) + ") sample " +
                   std::to_string(i);
    }
    return "";
}

// The first wrong slot of the loaded run against the project (which must be
// the one it was loaded from, coded pattern); empty when all are right.
// lastWithoutSound: the last slot's sound was asked for after the project closed.
inline std::string RunMismatch(const PreviewCache& cache, const standin::Project& project,
                               bool lastWithoutSound = false) {
    const uint32_t loaded = cache.loadedCount.load();
    for (uint32_t k = 0; k < loaded; ++k) {
        const int frame = cache.firstFrame + static_cast<int>(k);
        const auto [w, h] = project.SizeOf(frame);
        std::string wrong = PictureMismatch(*cache.video, k, frame, w, h);
        const int samples = lastWithoutSound && k + 1 == loaded ? 0 : project.SamplesOf(frame);
        if (wrong.empty()) wrong = SamplesMismatch(*cache.audio, k, frame, samples);
        if (!wrong.empty()) return wrong;
    }
    return "";
}

}  // namespace storm
