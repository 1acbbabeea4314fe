// Grow-only frame stores: one block from the page allocator each, divided into
// equal slots, one per frame of the run.
#pragma once

#include "plugin/filter_table.h"

#include <cstdint>

struct MemoryBlock {
    void* base;     // null while the store has no block
    uint32_t size;  // in elements of the owning store's type
};

template <typename T>
class RAMemory {
public:
    MemoryBlock* block;
    int32_t frameSize = 0;  // elements of T per slot
    uint32_t capacity = 0;  // whole slots in the block

    RAMemory();
    virtual ~RAMemory();
    RAMemory(const RAMemory&) = delete;
    RAMemory& operator=(const RAMemory&) = delete;

    virtual T* FrameAt(uint32_t index) const = 0;
    // Grows the block to at least `count` elements; never shrinks it.
    bool Reserve(uint32_t count);
    void Release();
};

class VideoMemory : public RAMemory<unsigned char> {
public:
    int32_t width = 0;   // multiple of 4; 0 until first sized
    int32_t height = 0;
    unsigned char* FrameAt(uint32_t index) const override;
    void Setup(FilterTable* table, EditHandle edit, double scale);
};

// The block is a WAV image: 46 header bytes, then the slots.
inline constexpr uint32_t kWaveHeaderBytes = 46;
inline constexpr uint32_t kWaveHeaderSamples = kWaveHeaderBytes / 2;

class AudioMemory : public RAMemory<short> {
public:
    int32_t channels = 0;
    short* FrameAt(uint32_t index) const override;
    void Setup(FilterTable* table, EditHandle edit);
};

extern template class RAMemory<unsigned char>;
extern template class RAMemory<short>;
