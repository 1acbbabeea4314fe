#include "cache/preview_cache.h"

#include "cache/loader_thread.h"
#include "cache/sizing.h"
#include "plugin/host_services.h"

PreviewCache* g_previewCache = nullptr;

PreviewCache::PreviewCache() : video(new VideoMemory), audio(new AudioMemory) {}

PreviewCache::~PreviewCache() {
    // A loader still writing into the stores would outlive them.
    EndLoader();
    delete video;
    video = nullptr;
    delete audio;
    audio = nullptr;
}

void PreviewCache::EndLoader() {
    if (!loaderThread) return;
    loading = 0;
    JoinWorkerThread(loaderThread);
    loaderThread = nullptr;
}

void PreviewCache::ReleaseFrameMemory() {
    // The release command may come while a load runs; its slots must not be
    // freed under the loader, so that load ends here first.
    EndLoader();
    video->Release();
    audio->Release();
    playable = 0;
}

void SizeRun(PreviewCache& cache, FilterTable* table, EditHandle edit, int32_t first, uint32_t requested) {
    HostServices& host = Host(table);
    const int total = host.GetFrameCount(edit);
    SourceInfo info{};
    host.GetSourceInfo(edit, &info);
    cache.frameRate = static_cast<double>(info.videoRate) / static_cast<double>(info.videoScale);

    VideoMemory& video = *cache.video;
    AudioMemory& audio = *cache.audio;
    // Neither result is looked at: each capacity follows the block really held.
    video.Reserve(cache.memoryLimit);
    video.Setup(table, edit, cache.qualityScale);
    audio.Setup(table, edit);
    audio.Reserve(AudioBlockSamples(video.capacity, audio.frameSize));
    audio.Setup(table, edit);

    cache.firstFrame = first;
    cache.frameCount = RunLength(requested, video.capacity, audio.capacity, first, total);
}
