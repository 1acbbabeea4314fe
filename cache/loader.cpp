#include "cache/loader.h"

#include "cache/page_memory.h"
#include "cache/preview_cache.h"
#include "cache/resample.h"
#include "cache/sizing.h"
#include "plugin/host_services.h"

#include <algorithm>
#include <cstring>

LoaderJob g_loaderJob{};

namespace {

// A buffer for a frame that does not fit the temporary picture: the one given
// when it is large enough, else its own allocation for this frame only (a
// host that changes sizes mid-run is rare; the usual frame allocates nothing).
class FrameBuffer {
public:
    FrameBuffer(unsigned char* scratch, size_t scratchBytes, size_t bytes) : bytes_(bytes) {
        if (bytes <= scratchBytes) {
            data_ = scratch;
        } else {
            own_ = static_cast<unsigned char*>(AllocateScratch(bytes));
            data_ = own_;
        }
    }
    ~FrameBuffer() {
        if (own_) FreeScratch(own_, bytes_);
    }
    FrameBuffer(const FrameBuffer&) = delete;
    FrameBuffer& operator=(const FrameBuffer&) = delete;
    unsigned char* data() const { return data_; }

private:
    size_t bytes_;
    unsigned char* data_ = nullptr;
    unsigned char* own_ = nullptr;
};

void FetchPicture(HostServices& host, EditHandle edit, const VideoMemory& video, int32_t frame, unsigned char* slot,
                  unsigned char* scratch, size_t scratchBytes) {
    int w = 0, h = 0;
    host.GetFilteredPixels(edit, frame, nullptr, &w, &h);
    if (w == video.width && h == video.height) {
        host.GetFilteredPixels(edit, frame, slot, nullptr, nullptr);
        return;
    }
    size_t bytes = 0;
    const bool representable = PictureBytes(w, h, bytes);
    if (representable && bytes > 0) {
        // Never more than the buffer holds: a frame larger than the run's first
        // one gets a buffer of its own.
        FrameBuffer source(scratch, scratchBytes, bytes);
        if (source.data()) {
            host.GetFilteredPixels(edit, frame, source.data(), nullptr, nullptr);
            ResampleFrame(slot, source.data(), video.width, video.height, w, h);
            return;
        }
    }
    // No picture to be had: black rather than a stale frame of an earlier run.
    std::memset(slot, 0, static_cast<size_t>(video.frameSize));
}

void FetchSamples(HostServices& host, EditHandle edit, const AudioMemory& audio, int32_t frame, short* slot,
                  unsigned char* scratch, size_t scratchBytes) {
    const size_t slotSamples = static_cast<size_t>(audio.frameSize);
    // The host writes all samples of the frame; the slot holds frame 0's count.
    const int64_t samples = int64_t{host.GetFilteredAudio(edit, frame, nullptr)} * audio.channels;
    if (samples == audio.frameSize) {
        host.GetFilteredAudio(edit, frame, slot);
        return;
    }
    size_t written = 0;
    if (samples > 0 && static_cast<uint64_t>(samples) < slotSamples) {
        host.GetFilteredAudio(edit, frame, slot);
        written = static_cast<size_t>(samples);
    } else if (samples > 0) {
        // More than the slot holds: taken aside, and the slot keeps the first
        // slotSamples, so that every slot still starts at its own frame.
        const uint64_t bytes = static_cast<uint64_t>(samples) * sizeof(short);
        // Always true on 64-bit builds; on 32-bit a huge count does not fit a size_t.
        // cppcheck-suppress knownConditionTrueFalse
        if (static_cast<uint64_t>(static_cast<size_t>(bytes)) == bytes) {
            FrameBuffer aside(scratch, scratchBytes, static_cast<size_t>(bytes));
            if (aside.data()) {
                host.GetFilteredAudio(edit, frame, reinterpret_cast<short*>(aside.data()));
                std::memcpy(slot, aside.data(), slotSamples * sizeof(short));
                written = slotSamples;
            }
        }
    }
    // The rest of a short frame is silence.
    std::fill(slot + written, slot + slotSamples, short{0});
}

void RunLoader(const LoaderJob& job) {
    HostServices& host = Host(job.filterTable);
    void* const window = job.filterTable->window;

    int w = 0, h = 0;
    host.GetFilteredPixels(job.edit, job.firstFrame, nullptr, &w, &h);
    size_t scratchBytes = 0;
    const bool representable = PictureBytes(w, h, scratchBytes);
    unsigned char* scratch = nullptr;
    if (representable && scratchBytes > 0) scratch = static_cast<unsigned char*>(AllocateScratch(scratchBytes));
    job.loadedCount->store(0);

    // Without the temporary picture the load ends at once, with 0 frames.
    if ((representable && (scratchBytes == 0 || scratch)) && job.frameCount != 0) {
        int32_t frame = job.firstFrame;
        do {
            if (host.IsEditing(job.edit) == 0) break;  // the project was closed
            if (job.loading->load() == 0) break;        // cancelled
            const uint32_t slot = job.loadedCount->load();
            // Never more frames than slots, whatever the job asks.
            if (slot >= job.video->capacity || slot >= job.audio->capacity) break;
            FetchFrame(job.filterTable, job.edit, job.video, job.audio, frame, slot, scratch, w, h);
            PostToWindow(window, WM_LOAD_PROGRESS, static_cast<uintptr_t>(static_cast<intptr_t>(frame)),
                         static_cast<intptr_t>(slot));
            job.loadedCount->store(slot + 1);
            frame = static_cast<int32_t>(static_cast<uint32_t>(frame) + 1);
        } while (job.loadedCount->load() < job.frameCount);
    }

    job.loading->store(0);
    if (scratch) FreeScratch(scratch, scratchBytes);
    PostToWindow(window, WM_LOAD_DONE, job.loadedCount->load(), 0);
}

}  // namespace

void FetchFrame(FilterTable* table, EditHandle edit, VideoMemory* video, AudioMemory* audio, int32_t frame,
                uint32_t slot, unsigned char* scratch, int32_t scratchWidth, int32_t scratchHeight) {
    // Both slots first: a slot past the store's capacity is null and not written.
    unsigned char* const picture = video->FrameAt(slot);
    short* const samples = audio->FrameAt(slot);
    size_t scratchBytes = 0;
    if (!scratch || !PictureBytes(scratchWidth, scratchHeight, scratchBytes)) scratchBytes = 0;
    HostServices& host = Host(table);
    if (picture) FetchPicture(host, edit, *video, frame, picture, scratch, scratchBytes);
    if (samples) FetchSamples(host, edit, *audio, frame, samples, scratch, scratchBytes);
}

unsigned TAVELIN_WORKER_CALL LoaderThreadProc(void* job) {
    {
        // A copy: the thread does not look at the shared block again.
        const LoaderJob copy = *static_cast<const LoaderJob*>(job);
        RunLoader(copy);
    }
    // Nothing with a destructor is alive here: the run-time's thread end does not return.
    EndWorkerThread();
    return 0;
}

bool StartLoading(FilterTable* table, EditHandle edit, int32_t first, uint32_t requested) {
    PreviewCache* cache = g_previewCache;
    if (!cache) return false;
    // An earlier loader that has ended but whose WM_LOAD_DONE has not been
    // handled yet is joined here, so that its handle is not lost and the
    // stores are never resized under a thread.
    cache->EndLoader();
    SizeRun(*cache, table, edit, first, requested);
    cache->loadedCount = 0;
    cache->loading = 1;
    g_loaderJob = LoaderJob{table,        edit, cache->firstFrame, cache->video, cache->audio, cache->frameCount,
                            &cache->loadedCount, &cache->loading};
    cache->loaderThread = StartWorkerThread(LoaderThreadProc, &g_loaderJob);
    return cache->loaderThread != nullptr;
}

void StopLoading() {
    PreviewCache* cache = g_previewCache;
    if (!cache) return;
    cache->loading = 0;
    cache->EndLoader();
    if (cache->loadedCount.load() > 0) cache->playable = 1;
}
