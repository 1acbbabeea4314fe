#include "cache/memory_store.h"

#include "cache/page_memory.h"
#include "cache/sizing.h"
#include "plugin/host_services.h"

template <typename T>
RAMemory<T>::RAMemory() : block(new MemoryBlock{nullptr, 0}) {}

template <typename T>
RAMemory<T>::~RAMemory() {
    if (block->base) FreePages(block->base, size_t{block->size} * sizeof(T));
    delete block;
}

template <typename T>
bool RAMemory<T>::Reserve(uint32_t count) {
    if (count <= block->size) return true;
    // Elements to bytes can pass a 32-bit size_t (2 GiB of samples).
    const uint64_t bytes = uint64_t{count} * sizeof(T);
    if (static_cast<uint64_t>(static_cast<size_t>(bytes)) != bytes) return false;
    void* region = AllocatePages(static_cast<size_t>(bytes));
    if (!region) return false;
    // The old contents are not kept: every load writes all the slots it uses.
    if (block->base) FreePages(block->base, size_t{block->size} * sizeof(T));
    block->base = region;
    block->size = count;
    return true;
}

template <typename T>
void RAMemory<T>::Release() {
    frameSize = 0;
    capacity = 0;
    if (!block->base) return;
    FreePages(block->base, size_t{block->size} * sizeof(T));
    block->base = nullptr;
    block->size = 0;
}

template class RAMemory<unsigned char>;
template class RAMemory<short>;

unsigned char* VideoMemory::FrameAt(uint32_t index) const {
    if (index >= capacity) return nullptr;
    return static_cast<unsigned char*>(block->base) + size_t{index} * static_cast<size_t>(frameSize);
}

void VideoMemory::Setup(FilterTable* table, EditHandle edit, double scale) {
    int w = 0, h = 0;
    Host(table).GetFilteredPixels(edit, 0, nullptr, &w, &h);
    const VideoShape shape = ShapeVideo(w, h, scale);
    width = shape.width;
    height = shape.height;
    frameSize = shape.frameSize;
    capacity = VideoCapacity(block->size, frameSize);
}

short* AudioMemory::FrameAt(uint32_t index) const {
    if (index >= capacity) return nullptr;
    return static_cast<short*>(block->base) + kWaveHeaderSamples + size_t{index} * static_cast<size_t>(frameSize);
}

void AudioMemory::Setup(FilterTable* table, EditHandle edit) {
    SourceInfo info{};
    Host(table).GetSourceInfo(edit, &info);
    channels = info.audioChannels;
    const int samples = Host(table).GetFilteredAudio(edit, 0, nullptr);
    frameSize = AudioFrameSize(channels, samples);
    capacity = AudioCapacity(block->size, frameSize);
}
