// The one cache record: the two stores and the run they hold.
#pragma once

#include "cache/memory_store.h"
#include "plugin/filter_table.h"

#include <atomic>
#include <cstdint>

struct PreviewCache {
    VideoMemory* video;
    AudioMemory* audio;
    double frameRate = 0.0;
    int32_t firstFrame = 0;
    std::atomic<uint32_t> loadedCount{0};  // written by the loader thread
    uint32_t frameCount = 0;
    std::atomic<uint8_t> loading{0};       // shared with the loader thread
    uint8_t playable = 0;
    uint32_t memoryLimit = 0;  // bytes
    double qualityScale = 1.0;
    void* loaderThread = nullptr;

    PreviewCache();
    ~PreviewCache();
    PreviewCache(const PreviewCache&) = delete;
    PreviewCache& operator=(const PreviewCache&) = delete;

    void ReleaseFrameMemory();
    // When a loader thread exists: clears the loading flag, waits with no time
    // limit for the thread to end and closes it. Otherwise does nothing.
    void EndLoader();
    // Writes the 46-byte RIFF/WAVE header into the audio block; null when there is none.
    const void* BuildWaveImage();
};

// The process-wide cache, created at init and freed at exit by the window hook.
extern PreviewCache* g_previewCache;

// Sizes the stores and the run for a load (window thread, no loader running).
void SizeRun(PreviewCache& cache, FilterTable* table, EditHandle edit, int32_t first, uint32_t requested);
