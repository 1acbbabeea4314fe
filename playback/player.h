// The real-time player and the show-frame operations.
#pragma once

#include "cache/preview_cache.h"
#include "plugin/filter_table.h"
#include "plugin/settings.h"

#include <cstdint>

struct PreviewPlayer {
    void* window;
    PreviewCache* cache;
    PreviewSettings* settings;
    double rate = 0.0;  // frames per second of the current playback
    int32_t currentFrame = 0;
    uint8_t playing = 0;
};

// The process-wide player, created at init and freed at exit by the window hook.
extern PreviewPlayer* g_previewPlayer;

bool RunPlayback(FilterTable* table, EditHandle edit);
void StopPlayback();
bool ShowFrame(int32_t frame, PreviewPlayer* player, FilterTable* table, EditHandle edit);
bool ShowCurrentFrame(FilterTable* table, EditHandle edit);
void WaitPumpingMessages(uint32_t milliseconds);
