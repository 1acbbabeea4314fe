// The background loader: fills the cache's slots on one worker thread.
#pragma once

#include "cache/loader_thread.h"
#include "cache/memory_store.h"
#include "plugin/filter_table.h"

#include <atomic>
#include <cstdint>

inline constexpr unsigned WM_LOAD_DONE = 0x400;
inline constexpr unsigned WM_LOAD_PROGRESS = 0x401;

struct LoaderJob {
    FilterTable* filterTable;
    EditHandle edit;
    int32_t firstFrame;
    VideoMemory* video;
    AudioMemory* audio;
    uint32_t frameCount;
    std::atomic<uint32_t>* loadedCount;
    std::atomic<uint8_t>* loading;
};

// The one parameter block, filled by StartLoading just before the thread starts.
extern LoaderJob g_loaderJob;

// Both act on g_previewCache.
bool StartLoading(FilterTable* table, EditHandle edit, int32_t first, uint32_t requested);
void StopLoading();

unsigned TAVELIN_WORKER_CALL LoaderThreadProc(void* job);
// One frame into slot `slot` of both stores; `scratch` is the temporary picture
// of scratchWidth x scratchHeight pixels (the run's first frame).
void FetchFrame(FilterTable* table, EditHandle edit, VideoMemory* video, AudioMemory* audio, int32_t frame,
                uint32_t slot, unsigned char* scratch, int32_t scratchWidth, int32_t scratchHeight);
