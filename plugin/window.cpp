// The window hook: builds the menu and the buttons, owns the cache and the
// player, and turns commands, keys and the loader's messages into the
// operations of the cache and the player. Runs on the window thread only; it
// is re-entered from the player's message pump while playback runs.
#include "plugin/window.h"

#include "cache/loader.h"
#include "cache/preview_cache.h"
#include "playback/display.h"
#include "playback/player.h"
#include "plugin/dialogs.h"
#include "plugin/host_services.h"
#include "plugin/resource_ids.h"
#include "plugin/settings.h"

#include <windows.h>

#include <initializer_list>

namespace {

constexpr unsigned kHostMsgFileClose = 0x466;
constexpr unsigned kHostMsgInit = 0x467;
constexpr unsigned kHostMsgExit = 0x468;
constexpr unsigned kHostMsgWindowChanged = 0x46E;

constexpr int kButtonSize = 24;
constexpr int kButtonStep = 28;  // a button and the gap to its right

HMENU g_menu = nullptr;
HWND g_playButton = nullptr;
HWND g_stopButton = nullptr;
HWND g_readButton = nullptr;

uint32_t MemoryLimitBytes() { return static_cast<uint32_t>(g_settings.useMemory) << 20; }

HWND CreateIconButton(int id, HWND parent, HINSTANCE instance, const char* iconName) {
    HWND button = CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE | BS_ICON, 0, 0, kButtonSize, kButtonSize,
                                  parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    HANDLE icon = LoadImageA(instance, iconName, IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR);
    SendMessageA(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
    return button;
}

void LayoutButtons(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    const int y = client.bottom - kButtonStep;
    int x = client.right;
    for (HWND button : {g_stopButton, g_playButton, g_readButton}) {
        if (!button) continue;  // a missing button takes no place
        x -= kButtonStep;
        MoveWindow(button, x, y, kButtonSize, kButtonSize, TRUE);
    }
}

void SetMenuCheck(bool on, UINT id) {
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE;
    info.fState = on ? MFS_CHECKED : 0;
    SetMenuItemInfoA(g_menu, id, FALSE, &info);
}

// Stops everything that still writes into or reads from the stores: the loader
// (joined) and the playback with its sound. A playback loop suspended in its
// wait ends at its next turn; it re-reads the player after every wait, so it
// never touches records freed meanwhile.
void Quiesce() {
    if (g_previewCache && (g_previewCache->loading || g_previewCache->loaderThread)) StopLoading();
    if (g_previewPlayer) StopPlayback();
}

// A host that sends init again (after an exit, on the same window) would
// otherwise keep the earlier buttons unplaced in the window and leak its menu.
// Only what is still ours on this window is destroyed: handles of a window
// that is gone may since name someone else's.
void DropEarlierControls(HWND window, HMENU previousMenu) {
    for (HWND* button : {&g_playButton, &g_stopButton, &g_readButton}) {
        if (*button && IsWindow(*button) && GetParent(*button) == window) DestroyWindow(*button);
        *button = nullptr;
    }
    if (previousMenu && previousMenu == g_menu) DestroyMenu(previousMenu);
    g_menu = nullptr;
}

void OnInit(HWND window, FilterTable* table) {
    auto instance = static_cast<HINSTANCE>(table->instance);
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDM_PREVIEW));
    HMENU previousMenu = GetMenu(window);
    SetMenu(window, menu);
    DropEarlierControls(window, previousMenu);
    g_menu = menu;
    g_playButton = CreateIconButton(BTN_PLAY, window, instance, "ICON_PLAY");
    g_stopButton = CreateIconButton(BTN_STOP, window, instance, "ICON_STOP");
    g_readButton = CreateIconButton(BTN_READ, window, instance, "ICON_READ");
    LayoutButtons(window);
    LoadSettings(table);

    CheckMenuRadioItem(g_menu, CMD_VIEW_FIRST, CMD_VIEW_LAST, CMD_VIEW_FIRST + g_settings.viewSize, MF_BYCOMMAND);
    CheckMenuRadioItem(g_menu, CMD_MODE_FIRST, CMD_MODE_LAST, CMD_MODE_FIRST + g_settings.playMode, MF_BYCOMMAND);
    const int qualities[] = {100, 50, 25};
    for (int i = 0; i < 3; ++i)
        if (g_settings.quality == qualities[i])
            CheckMenuRadioItem(g_menu, CMD_QUALITY_FIRST, CMD_QUALITY_LAST, CMD_QUALITY_FIRST + i, MF_BYCOMMAND);
    SetMenuCheck(g_settings.playSelect != 0, CMD_PLAY_SELECTION);
    SetMenuCheck(g_settings.playLoop != 0, CMD_LOOP);
    DrawMenuBar(window);

    // A second init without an exit between them must not leak or orphan a load.
    if (g_previewCache || g_previewPlayer) {
        Quiesce();
        delete g_previewPlayer;
        g_previewPlayer = nullptr;
        delete g_previewCache;
        g_previewCache = nullptr;
    }
    auto* cache = new PreviewCache();
    cache->memoryLimit = MemoryLimitBytes();
    g_previewCache = cache;
    cache->qualityScale = g_settings.quality / 100.0;

    auto* player = new PreviewPlayer();
    player->window = window;
    player->cache = cache;
    player->settings = &g_settings;
    g_previewPlayer = player;
}

void OnExit(FilterTable* table) {
    SaveSettings(table);
    Quiesce();
    delete g_previewPlayer;
    g_previewPlayer = nullptr;
    if (g_previewCache) {
        delete g_previewCache;
        g_previewCache = nullptr;
    }
}

void OnFileClose(FilterTable* table) {
    SaveSettings(table);
    if (!g_previewCache) return;
    Quiesce();  // also silences a playback reading the audio block
    g_previewCache->ReleaseFrameMemory();
    if (g_previewPlayer) ClearView(*g_previewPlayer);
}

void OnKey(WPARAM wParam, EditHandle edit, FilterTable* table) {
    PreviewCache* cache = g_previewCache;
    PreviewPlayer* player = g_previewPlayer;
    if (!cache || !player || cache->loading || !cache->playable) return;
    int32_t target;
    switch (LOWORD(wParam)) {
    case VK_LEFT: target = player->currentFrame - 1; break;
    case VK_RIGHT: target = player->currentFrame + 1; break;
    default: return;
    }
    // Unsigned, so a target of -1 is out of range.
    const uint32_t first = static_cast<uint32_t>(cache->firstFrame);
    const uint32_t t = static_cast<uint32_t>(target);
    if (first <= t && t < first + cache->loadedCount) {
        player->currentFrame = target;
        ShowFrame(target, player, table, edit);
    }
}

void OnSettingsDialog(EditHandle edit, FilterTable* table) {
    const int before = g_settings.useMemory;
    DialogBoxParamA(static_cast<HINSTANCE>(table->instance), MAKEINTRESOURCEA(IDD_SETTINGS),
                    static_cast<HWND>(table->window), SettingsDialogProc, 0);
    if (g_settings.useMemory != before && Host(table).IsEditing(edit) && g_previewCache)
        g_previewCache->memoryLimit = MemoryLimitBytes();
}

void OnViewSize(HWND window, unsigned id, int hostFrame, EditHandle edit, FilterTable* table) {
    g_settings.viewSize = static_cast<int32_t>(id - CMD_VIEW_FIRST);
    int width = 0, height = 0;
    if (g_previewCache) {
        width = g_previewCache->video->width;
        height = g_previewCache->video->height;
    }
    if (width == 0 || height == 0) Host(table).GetFilteredPixels(edit, hostFrame, nullptr, &width, &height);
    ResizeToViewSize(window, width, height);
    CheckMenuRadioItem(g_menu, CMD_VIEW_FIRST, CMD_VIEW_LAST, id, MF_BYCOMMAND);
}

void OnLoad(HWND window, int hostFrame, EditHandle edit, FilterTable* table) {
    SetFocus(window);
    PreviewCache* cache = g_previewCache;
    PreviewPlayer* player = g_previewPlayer;
    if (!cache || !player) return;
    if (player->playing) StopPlayback();
    if (cache->loading) return;  // a running load is neither restarted nor doubled
    if (cache->video->block->size > 0 && cache->audio->block->size > 0) cache->memoryLimit = MemoryLimitBytes();
    ClearView(*player);
    int32_t start = hostFrame;
    int32_t count = -1;
    int selStart = 0, selEnd = 0;
    if (g_settings.playSelect && Host(table).GetSelection(edit, &selStart, &selEnd)) {
        start = selStart;
        count = selEnd - selStart;
    }
    StartLoading(table, edit, start, static_cast<uint32_t>(count));
}

void OnCommand(HWND window, unsigned id, int hostFrame, EditHandle edit, FilterTable* table) {
    // Group A: settings, whether or not a project is open.
    switch (id) {
    case CMD_PLAY_SELECTION:
        g_settings.playSelect = !g_settings.playSelect;
        SetMenuCheck(g_settings.playSelect != 0, id);
        DrawMenuBar(window);
        break;
    case CMD_LOOP:
        g_settings.playLoop = !g_settings.playLoop;
        SetMenuCheck(g_settings.playLoop != 0, id);
        DrawMenuBar(window);
        break;
    case 120: case 121: case 122:
        g_settings.playMode = static_cast<int32_t>(id - CMD_MODE_FIRST);
        CheckMenuRadioItem(g_menu, CMD_MODE_FIRST, CMD_MODE_LAST, id, MF_BYCOMMAND);
        break;
    case 130: case 131: case 132:
        g_settings.quality = QualityForCommand(id);
        if (g_previewCache) g_previewCache->qualityScale = g_settings.quality / 100.0;
        CheckMenuRadioItem(g_menu, CMD_QUALITY_FIRST, CMD_QUALITY_LAST, id, MF_BYCOMMAND);
        break;
    case CMD_SETTINGS: OnSettingsDialog(edit, table); break;
    case CMD_INFORMATION:
        ShowInformation(window, static_cast<HINSTANCE>(table->instance));
        break;
    default:
        if (id >= CMD_VIEW_FIRST && id <= CMD_VIEW_LAST) OnViewSize(window, id, hostFrame, edit, table);
        break;
    }

    if (Host(table).IsEditing(edit) != 1) return;
    PreviewCache* cache = g_previewCache;
    if (!cache || !g_previewPlayer) return;  // before init or after exit

    // Group B: only with a project open.
    switch (id) {
    case CMD_PLAY:
    case BTN_PLAY:
        SetFocus(window);
        if (cache->loading) {
            SendMessageA(window, WM_COMMAND, CMD_STOP, 0);
            SendMessageA(window, WM_COMMAND, CMD_PLAY, 0);
        } else {
            RunPlayback(table, edit);
        }
        break;
    case CMD_STOP:
    case BTN_STOP:
        SetFocus(window);
        if (cache->loading) StopLoading();
        else StopPlayback();
        break;
    case CMD_LOAD:
    case BTN_READ: OnLoad(window, hostFrame, edit, table); break;
    case CMD_RELEASE:
        Quiesce();  // nothing may still write or read the blocks
        cache->ReleaseFrameMemory();
        if (g_previewPlayer) ClearView(*g_previewPlayer);
        break;
    default: break;
    }
}

void OnLoadDone(EditHandle edit, FilterTable* table) {
    PreviewCache* cache = g_previewCache;
    // A load running now clears its flag before it posts its own completion, so
    // a completion seen while the flag is set is left over from an earlier
    // loader (one joined by stop, file close or exit) and must not end this load.
    if (!cache || cache->loading) return;
    StopLoading();
    if (g_previewPlayer) ShowFrame(cache->firstFrame, g_previewPlayer, table, edit);
}

}  // namespace

int QualityForCommand(unsigned id) {
    switch (id) {
    case 130: return 100;
    case 131: return 50;
    case 132: return 25;
    default: return 0;
    }
}

int TAVELIN_CDECL FilterWindowProc(void* windowHandle, unsigned message, uintptr_t wParam, intptr_t lParam,
                                   EditHandle edit, FilterTable* table) {
    (void)lParam;
    auto window = static_cast<HWND>(windowHandle);
    const int hostFrame = Host(table).GetCurrentFrame(edit);
    switch (message) {
    case WM_SIZE: LayoutButtons(window); break;
    case WM_PAINT:
    case kHostMsgWindowChanged:
        if (Host(table).GetFrameCount(edit) > 0 && g_previewPlayer) ShowCurrentFrame(table, edit);
        break;
    case WM_KEYDOWN: OnKey(wParam, edit, table); break;
    case WM_COMMAND: OnCommand(window, LOWORD(wParam), hostFrame, edit, table); break;
    case WM_LOAD_PROGRESS:
        if (g_previewPlayer) ShowFrame(static_cast<int32_t>(wParam), g_previewPlayer, table, edit);
        break;
    case WM_LOAD_DONE: OnLoadDone(edit, table); break;
    case kHostMsgFileClose: OnFileClose(table); break;
    case kHostMsgInit: OnInit(window, table); break;
    case kHostMsgExit: OnExit(table); break;
    default: break;
    }
    return 0;
}
