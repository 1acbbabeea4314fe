// The memory settings dialog and the information box.
#include "plugin/dialogs.h"

#include "cache/preview_cache.h"
#include "plugin/resource_ids.h"
#include "plugin/settings.h"

#include <cstdio>

namespace {
constexpr int kTextBuffer = 512;
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        char text[kTextBuffer];
        snprintf(text, sizeof text, "%d", g_settings.useMemory);
        SetWindowTextA(GetDlgItem(dialog, IDC_MEMORY_EDIT), text);
        return TRUE;  // the dialog manager focuses the first tab stop
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: {
            char text[kTextBuffer];
            GetWindowTextA(GetDlgItem(dialog, IDC_MEMORY_EDIT), text, sizeof text);
            g_settings.useMemory = ParseSettingNumber(text);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}

void ShowInformation(HWND owner, HINSTANCE instance) {
    char format[kTextBuffer] = "";
    LoadStringA(instance, IDS_INFORMATION, format, sizeof format);
    uint32_t videoBytes = 0, audioSamples = 0, frames = 0;
    if (const PreviewCache* cache = g_previewCache) {
        videoBytes = cache->video->block->size;
        audioSamples = cache->audio->block->size;
        frames = cache->frameCount;
    }
    char text[kTextBuffer];
    FormatInformation(text, sizeof text, format, videoBytes, audioSamples, frames);
    MessageBoxA(owner, text, GetFilterTableRecord()->name, MB_ICONINFORMATION);
}
