// The test build's page allocator: every region ends exactly at an inaccessible
// page, so a write or read one element past a block or the scratch picture
// faults at once instead of passing silently.
#include "cache/page_memory.h"

#include <windows.h>

namespace {

size_t PageSize() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

size_t Rounded(size_t bytes) {
    const size_t page = PageSize();
    return (bytes + page - 1) / page * page;
}

void* AllocateGuarded(size_t bytes) {
    const size_t usable = Rounded(bytes);
    if (usable < bytes || usable + PageSize() < usable) return nullptr;
    auto* region = static_cast<unsigned char*>(VirtualAlloc(nullptr, usable + PageSize(), MEM_RESERVE, PAGE_NOACCESS));
    if (!region) return nullptr;
    if (usable && !VirtualAlloc(region, usable, MEM_COMMIT, PAGE_READWRITE)) {
        VirtualFree(region, 0, MEM_RELEASE);
        return nullptr;
    }
    // Right-aligned against the guard page; blocks keep 2-byte alignment
    // because their byte lengths are even (samples) or whole MiB (pictures).
    return region + (usable - bytes);
}

void FreeGuarded(void* base, size_t bytes) {
    if (!base) return;
    auto* region = static_cast<unsigned char*>(base) - (Rounded(bytes) - bytes);
    VirtualFree(region, 0, MEM_RELEASE);
}

}  // namespace

void* AllocatePages(size_t bytes) { return AllocateGuarded(bytes); }
void FreePages(void* base, size_t bytes) { FreeGuarded(base, bytes); }
void* AllocateScratch(size_t bytes) { return AllocateGuarded(bytes); }
void FreeScratch(void* buffer, size_t bytes) { FreeGuarded(buffer, bytes); }
