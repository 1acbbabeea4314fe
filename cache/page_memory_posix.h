// What the native page allocator lets a test or a benchmark see and steer:
// how often each kind of memory was obtained, and refusals on demand.
#pragma once

#include <atomic>

struct PageMemoryControl {
    std::atomic<int> pageAllocations{0};     // AllocatePages calls that succeeded
    std::atomic<int> scratchAllocations{0};  // AllocateScratch calls that succeeded
    std::atomic<int> refusePages{0};         // the next N AllocatePages calls return null
    std::atomic<int> refuseScratch{0};       // the next N AllocateScratch calls return null
};

extern PageMemoryControl g_pageMemory;
