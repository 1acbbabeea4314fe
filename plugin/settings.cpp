#include "plugin/settings.h"

#include "plugin/host_services.h"

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
