#include "plugin/settings.h"

#include "plugin/host_services.h"

#include <cstdio>

PreviewSettings g_settings = {};

void LoadSettings(FilterTable* table) {
    using namespace setting_keys;
    namespace d = setting_defaults;
    HostServices& host = Host(table);
    g_settings.viewSize = host.LoadSettingInt(table, kViewSize, d::kViewSize);
    g_settings.playMode = host.LoadSettingInt(table, kPlayMode, d::kPlayMode);
    g_settings.playSelect = host.LoadSettingInt(table, kPlaySelect, d::kPlaySelect) != 0;
    g_settings.playLoop = host.LoadSettingInt(table, kPlayLoop, d::kPlayLoop) != 0;
    const int quality = host.LoadSettingInt(table, kPreviewQuality, d::kPreviewQuality);
    g_settings.quality = quality <= 0 ? 0 : quality > 100 ? 100 : quality;
    g_settings.useMemory = host.LoadSettingInt(table, kUseMemory, d::kUseMemory);
}

void SaveSettings(FilterTable* table) {
    using namespace setting_keys;
    HostServices& host = Host(table);
    host.SaveSettingInt(table, kViewSize, g_settings.viewSize);
    host.SaveSettingInt(table, kPlayMode, g_settings.playMode);
    host.SaveSettingInt(table, kPlaySelect, g_settings.playSelect ? 1 : 0);
    host.SaveSettingInt(table, kPlayLoop, g_settings.playLoop ? 1 : 0);
    host.SaveSettingInt(table, kPreviewQuality, g_settings.quality);
    host.SaveSettingInt(table, kUseMemory, g_settings.useMemory);
}

int32_t ParseSettingNumber(const char* text) {
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > int64_t{INT32_MAX} + 1) value = int64_t{INT32_MAX} + 1;  // saturate early
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

void FormatInformation(char* out, size_t capacity, const char* format, uint32_t videoBytes, uint32_t audioSamples,
                       uint32_t frames) {
    const double mib = 1.0 / (1 << 20);
    const double video = videoBytes * mib;
    const double audio = static_cast<uint32_t>(audioSamples * 2u) * mib;  // bytes, in 32 bits
    snprintf(out, capacity, format, video, audio, static_cast<int>(frames));
}
