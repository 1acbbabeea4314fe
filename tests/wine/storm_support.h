// What the storm and the hostile-host programs share: the window set-up and
// the checks of the stores that must hold between any two messages.
#pragma once

#include "cache/preview_cache.h"
#include "tests/wine/wine_test.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace storm {

// Xvfb runs no window manager, and Wine's X11 driver waits up to 2 s for one
// to acknowledge every hidden managed window: each closed dialog or message
// box, each hidden window. This program's windows are made unmanaged instead
// (the driver's per-program "Managed" option, read when it first loads, so
// call this before any window exists). What the plug-in does is unchanged;
// only the waits go, which lets a run hold hundreds of dialogs.
inline void UnmanagedWindows() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string name(path, length);
    const size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    const std::string key = "Software\\Wine\\AppDefaults\\" + name + "\\X11 Driver";
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(handle, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
    RegCloseKey(handle);
}

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

}  // namespace storm
