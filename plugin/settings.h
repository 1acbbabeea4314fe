// The six user settings: one process-wide block, loaded at init and saved at
// project close and at exit. Keys and defaults are defined here only.
#pragma once

#include "plugin/filter_table.h"

#include <cstddef>
#include <cstdint>

struct PreviewSettings {
    int32_t viewSize;      // 0..7, 7 fits the window
    int32_t playMode;      // 0 video and audio, 1 video only, 2 audio only
    uint8_t playSelect;    // play from the selection's start
    uint8_t playLoop;
    int32_t quality;       // percent
    int32_t useMemory;     // MiB for the picture store
};

namespace setting_keys {
inline constexpr const char* kViewSize = "ViewSize";
inline constexpr const char* kPlayMode = "PlayMode";
inline constexpr const char* kPlaySelect = "PlaySelect";
inline constexpr const char* kPlayLoop = "PlayLoop";
inline constexpr const char* kPreviewQuality = "PreviewQuality";
inline constexpr const char* kUseMemory = "UseMemory";
}  // namespace setting_keys

namespace setting_defaults {
inline constexpr int kViewSize = 7;
inline constexpr int kPlayMode = 0;
inline constexpr int kPlaySelect = 0;
inline constexpr int kPlayLoop = 0;
inline constexpr int kPreviewQuality = 100;
inline constexpr int kUseMemory = 4;
}  // namespace setting_defaults

extern PreviewSettings g_settings;

void LoadSettings(FilterTable* table);
void SaveSettings(FilterTable* table);

// The settings dialog's number: leading blanks skipped, an optional sign, then
// digits up to the first other character; no digits give 0; values beyond the
// 32-bit range give the nearest limit.
int32_t ParseSettingNumber(const char* text);

// The information box's text from its format (video MiB, audio MiB, frames).
// videoBytes counts bytes, audioSamples 16-bit samples. Never writes more than
// `capacity` bytes.
void FormatInformation(char* out, size_t capacity, const char* format, uint32_t videoBytes, uint32_t audioSamples,
                       uint32_t frames);
