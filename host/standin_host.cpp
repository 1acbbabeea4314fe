#include "host/standin_host.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <tuple>

namespace standin {

struct StandinHost::State {
    // The plug-in.
    HMODULE module = nullptr;
    FilterTable* table = nullptr;
    std::string error;
    HostServices services{};

    // The window, on the thread that made the host.
    DWORD windowThread = GetCurrentThreadId();
    HWND window = nullptr;
    bool windowWritten = false;
    HMENU placeholderMenu = nullptr;
    bool initSent = false;
    bool exitSent = false;
    bool closeRequested = false;
    std::map<UINT, int> messageCounts;
    int nonZeroHookResults = 0;

    // The project, shared with the plug-in's loader thread.
    mutable std::mutex projectLock;
    Project project;
    std::function<void(int)> renderHook;

    // Counters, bumped from any thread.
    std::atomic<int> isEditing{0}, currentFrame{0}, frameCount{0}, sourceInfo{0}, pixelCalls{0}, pixelRenders{0},
        audioCalls{0}, audioRenders{0}, selection{0}, loadSetting{0}, saveSetting{0}, offThreadCalls{0},
        lastRenderedFrame{-1};

    // Settings.
    mutable std::mutex settingsLock;
    std::string iniPath;  // empty: in memory
    std::string iniSection;
    std::map<std::string, int> memorySettings;
    std::vector<SettingWrite> saves;
    std::vector<std::string> loads;

    // Dialog automation.
    UINT_PTR dialogTimer = 0;
    std::deque<DialogAction> dialogActions;
    std::vector<DialogRecord> dialogs;
    bool inDialogTimer = false;

    void Count(std::atomic<int>& counter) {
        ++counter;
        if (GetCurrentThreadId() != windowThread) ++offThreadCalls;
    }
    std::string Section() const {
        if (!iniSection.empty()) return iniSection;
        if (table && table->name) return table->name;
        return "Plugin";
    }
};

namespace {

using State = StandinHost::State;

// Every live host, so that the services can tell a real EditHandle or record
// from a stray one and answer "nothing" to it instead of crashing.
std::mutex g_hostsLock;
std::vector<State*> g_hosts;

State* FromEdit(const void* edit) {
    std::lock_guard<std::mutex> guard(g_hostsLock);
    for (State* s : g_hosts)
        if (s == edit) return s;
    return nullptr;
}

State* FromTable(const FilterTable* table) {
    std::lock_guard<std::mutex> guard(g_hostsLock);
    for (State* s : g_hosts)
        if (s->table && s->table == table) return s;
    return nullptr;
}

// --- The nine services ---------------------------------------------------------

int TAVELIN_CDECL ServiceIsEditing(EditHandle edit) {
    State* s = FromEdit(edit);
    if (!s) return 0;
    s->Count(s->isEditing);
    std::lock_guard<std::mutex> guard(s->projectLock);
    return s->project.open ? s->project.editingValue : 0;
}

int TAVELIN_CDECL ServiceGetCurrentFrame(EditHandle edit) {
    State* s = FromEdit(edit);
    if (!s) return 0;
    s->Count(s->currentFrame);
    std::lock_guard<std::mutex> guard(s->projectLock);
    return s->project.open ? s->project.cursor : 0;
}

int TAVELIN_CDECL ServiceGetFrameCount(EditHandle edit) {
    State* s = FromEdit(edit);
    if (!s) return 0;
    s->Count(s->frameCount);
    std::lock_guard<std::mutex> guard(s->projectLock);
    return s->project.open ? s->project.frameCount : 0;
}

int TAVELIN_CDECL ServiceGetSourceInfo(EditHandle edit, SourceInfo* info) {
    State* s = FromEdit(edit);
    if (!s || !info) return 0;
    s->Count(s->sourceInfo);
    std::lock_guard<std::mutex> guard(s->projectLock);
    if (!s->project.open) return 0;
    std::memset(info, 0, sizeof *info);
    info->videoRate = s->project.videoRate;
    info->videoScale = s->project.videoScale;
    info->audioChannels = s->project.channels;
    return 1;
}

int TAVELIN_CDECL ServiceGetFilteredPixels(EditHandle edit, int frame, void* pixels, int* width, int* height) {
    State* s = FromEdit(edit);
    if (!s) return 0;
    s->Count(s->pixelCalls);
    Pattern pattern;
    int w, h, cost, lap;
    std::function<void(int)> hook;
    {
        std::lock_guard<std::mutex> guard(s->projectLock);
        const Project& p = s->project;
        if (!p.open || frame < 0 || frame >= p.frameCount) return 0;
        std::tie(w, h) = p.SizeOf(frame);
        pattern = p.pattern;
        cost = p.renderCostMs;
        lap = p.framesPerLap;
        if (pixels) hook = s->renderHook;
    }
    if (width) *width = w;
    if (height) *height = h;
    if (pixels && w > 0 && h > 0) {
        if (cost > 0) Sleep(static_cast<DWORD>(cost));
        if (hook) hook(frame);
        RenderPixels(pattern, frame, w, h, lap, static_cast<uint8_t*>(pixels));
        s->Count(s->pixelRenders);
        s->lastRenderedFrame = frame;
    }
    return 1;
}

int TAVELIN_CDECL ServiceGetFilteredAudio(EditHandle edit, int frame, short* samples) {
    State* s = FromEdit(edit);
    if (!s) return 0;
    s->Count(s->audioCalls);
    Pattern pattern;
    int count, channels, perFrame;
    double rate;
    {
        std::lock_guard<std::mutex> guard(s->projectLock);
        const Project& p = s->project;
        if (!p.open || frame < 0 || frame >= p.frameCount) return 0;
        count = p.SamplesOf(frame);
        pattern = p.pattern;
        channels = p.channels;
        perFrame = p.samplesPerFrame;
        rate = p.SampleRate();
    }
    if (samples && count > 0 && channels > 0) {
        RenderSamples(pattern, frame, count, channels, perFrame, rate, samples);
        s->Count(s->audioRenders);
    }
    return count;
}

int TAVELIN_CDECL ServiceGetSelection(EditHandle edit, int* start, int* end) {
    State* s = FromEdit(edit);
    if (!s) return 0;
    s->Count(s->selection);
    std::lock_guard<std::mutex> guard(s->projectLock);
    if (!s->project.open || !s->project.hasSelection) return 0;
    if (start) *start = s->project.selectionStart;
    if (end) *end = s->project.selectionEnd;
    return 1;
}

// Whole-string decimal integer in int range; anything else is not a stored value.
std::optional<int> ParseInt(const char* text) {
    if (!text || !*text) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (errno != 0 || !end || *end != '\0' || value < INT_MIN || value > INT_MAX) return std::nullopt;
    return static_cast<int>(value);
}

std::optional<int> ReadSetting(const State& s, const std::string& key) {
    if (s.iniPath.empty()) {
        auto it = s.memorySettings.find(key);
        if (it == s.memorySettings.end()) return std::nullopt;
        return it->second;
    }
    char buffer[64] = {};
    GetPrivateProfileStringA(s.Section().c_str(), key.c_str(), "", buffer, sizeof buffer, s.iniPath.c_str());
    return ParseInt(buffer);
}

bool WriteSetting(State& s, const std::string& key, int value) {
    if (s.iniPath.empty()) {
        s.memorySettings[key] = value;
        return true;
    }
    return WritePrivateProfileStringA(s.Section().c_str(), key.c_str(), std::to_string(value).c_str(),
                                      s.iniPath.c_str()) != 0;
}

int TAVELIN_CDECL ServiceLoadSettingInt(FilterTable* table, const char* key, int defaultValue) {
    State* s = FromTable(table);
    if (!s || !key) return defaultValue;
    s->Count(s->loadSetting);
    std::lock_guard<std::mutex> guard(s->settingsLock);
    s->loads.push_back(key);
    return ReadSetting(*s, key).value_or(defaultValue);
}

int TAVELIN_CDECL ServiceSaveSettingInt(FilterTable* table, const char* key, int value) {
    State* s = FromTable(table);
    if (!s || !key) return 0;
    s->Count(s->saveSetting);
    std::lock_guard<std::mutex> guard(s->settingsLock);
    s->saves.push_back({key, value});
    return WriteSetting(*s, key, value) ? 1 : 0;
}

// --- The window ----------------------------------------------------------------

constexpr char kWindowClass[] = "TavelinStandinHost";
thread_local State* t_creating = nullptr;  // the host whose window is being created on this thread

LRESULT CALLBACK PluginWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* s = reinterpret_cast<State*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!s && t_creating) {
        // Messages arrive from inside CreateWindowExA, WM_GETMINMAXINFO even before WM_NCCREATE.
        s = t_creating;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
    }
    if (!s) return DefWindowProcA(hwnd, message, wParam, lParam);
    if (!s->windowWritten) {
        // The plug-in relies on the window field from the very first message.
        s->windowWritten = true;
        s->window = hwnd;
        if (s->table) s->table->window = hwnd;
    }
    if (message == WM_PAINT) {
        // The plug-in draws on WM_PAINT without a paint cycle of its own, so the
        // host erases and validates first and lets the hook draw on top; the
        // default handling after the hook would erase what the hook just drew.
        PAINTSTRUCT paint;
        BeginPaint(hwnd, &paint);
        EndPaint(hwnd, &paint);
    }
    if (message == WM_ERASEBKGND) {
        // The window has no WS_CLIPCHILDREN, and Wine may paint the plug-in's
        // buttons before their parent is erased: the erase leaves them out.
        HDC dc = reinterpret_cast<HDC>(wParam);
        for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            if (!IsWindowVisible(child)) continue;
            RECT r;
            GetWindowRect(child, &r);
            MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
            ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
        }
        RECT client;
        GetClientRect(hwnd, &client);
        FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    if (s->table && s->table->hook) {
        ++s->messageCounts[message];
        const int result = s->table->hook(hwnd, message, wParam, lParam, s, s->table);
        if (result != 0) ++s->nonZeroHookResults;
    }
    if (message == WM_CLOSE) {
        // A tool window of the editor is hidden, not destroyed, when the user closes it.
        s->closeRequested = true;
        ShowWindow(hwnd, SW_HIDE);
        SendMessageA(hwnd, kHostMsgWindowChanged, 0, 0);
        return 0;
    }
    const LRESULT result = DefWindowProcA(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        s->window = nullptr;
    }
    return result;
}

bool RegisterWindowClass() {
    static const bool registered = [] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = PluginWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kWindowClass;
        return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

// --- Dialog automation ------------------------------------------------------------

std::string WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthA(hwnd);
    std::string text(static_cast<size_t>(std::max(0, length)) + 1, '\0');
    const int got = GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(std::max(0, got)));
    return text;
}

std::string ClassOf(HWND hwnd) {
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return children;
}

constexpr char kHandledProperty[] = "StandinHostHandled";

void HandleDialog(State& s, HWND dialog) {
    SetPropA(dialog, kHandledProperty, reinterpret_cast<HANDLE>(1));
    Dialog d(dialog);
    DialogRecord record;
    record.title = d.Title();
    record.text = d.Text();
    for (HWND child : Children(dialog))
        record.items.push_back({GetDlgCtrlID(child), ClassOf(child), WindowText(child)});
    DialogAction action;
    if (!s.dialogActions.empty()) {
        action = std::move(s.dialogActions.front());
        s.dialogActions.pop_front();
        record.expected = true;
    }
    s.dialogs.push_back(record);
    if (action) {
        action(d);
        return;
    }
    std::printf("stand-in host: unexpected dialog \"%s\" (%s); cancelling it\n", record.title.c_str(),
                record.text.c_str());
    std::fflush(stdout);
    if (GetDlgItem(dialog, IDCANCEL)) d.Press(IDCANCEL);
    else if (GetDlgItem(dialog, IDOK)) d.Press(IDOK);
    else PostMessageA(dialog, WM_CLOSE, 0, 0);
}

void CALLBACK DialogTimerProc(HWND, UINT, UINT_PTR timer, DWORD) {
    State* s = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_hostsLock);
        for (State* h : g_hosts)
            if (h->dialogTimer == timer && h->windowThread == GetCurrentThreadId()) s = h;
    }
    if (!s || s->inDialogTimer) return;
    s->inDialogTimer = true;
    std::vector<HWND> found;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM list) -> BOOL {
            if (ClassOf(hwnd) == "#32770" && IsWindowVisible(hwnd) && !GetPropA(hwnd, kHandledProperty))
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    for (HWND dialog : found) HandleDialog(*s, dialog);
    s->inDialogTimer = false;
}

// --- Capture --------------------------------------------------------------------------

Image CaptureDc(HDC source, int width, int height) {
    Image image;
    if (!source || width <= 0 || height <= 0) return image;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory && bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
        GdiFlush();
        image.width = width;
        image.height = height;
        image.bgr.resize(static_cast<size_t>(width) * height * 3);
        const auto* in = static_cast<const uint8_t*>(bits);
        for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
            image.bgr[3 * i] = in[4 * i];
            image.bgr[3 * i + 1] = in[4 * i + 1];
            image.bgr[3 * i + 2] = in[4 * i + 2];
        }
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    return image;
}

}  // namespace

// --- Dialog -------------------------------------------------------------------------------

std::string Dialog::Title() const { return WindowText(hwnd_); }

std::string Dialog::Text() const {
    std::string text;
    for (HWND child : Children(hwnd_)) {
        if (GetParent(child) != hwnd_ || lstrcmpiA(ClassOf(child).c_str(), "Static") != 0) continue;
        const std::string part = WindowText(child);
        if (part.empty()) continue;
        if (!text.empty()) text += '\n';
        text += part;
    }
    return text;
}

std::string Dialog::ItemText(int id) const {
    HWND item = GetDlgItem(hwnd_, id);
    return item ? WindowText(item) : std::string();
}

bool Dialog::SetItemText(int id, const std::string& text) { return SetDlgItemTextA(hwnd_, id, text.c_str()) != 0; }

void Dialog::Press(int id) {
    PostMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hwnd_, id)));
}

// --- StandinHost ----------------------------------------------------------------------------

StandinHost::StandinHost() : StandinHost(Project{}) {}

StandinHost::StandinHost(const Project& project) : state_(std::make_unique<State>()) {
    state_->project = project;
    HostServices& services = state_->services;
    services.IsEditing = ServiceIsEditing;
    services.GetCurrentFrame = ServiceGetCurrentFrame;
    services.GetFrameCount = ServiceGetFrameCount;
    services.GetSourceInfo = ServiceGetSourceInfo;
    services.GetFilteredPixels = ServiceGetFilteredPixels;
    services.GetFilteredAudio = ServiceGetFilteredAudio;
    services.GetSelection = ServiceGetSelection;
    services.LoadSettingInt = ServiceLoadSettingInt;
    services.SaveSettingInt = ServiceSaveSettingInt;
    std::lock_guard<std::mutex> guard(g_hostsLock);
    g_hosts.push_back(state_.get());
}

StandinHost::~StandinHost() {
    State& s = *state_;
    if (s.initSent && !s.exitSent && s.window) SendExit();
    if (s.dialogTimer) KillTimer(nullptr, s.dialogTimer);
    if (s.window) {
        const bool placeholderAttached = GetMenu(s.window) == s.placeholderMenu;
        DestroyWindow(s.window);
        if (!placeholderAttached && s.placeholderMenu) DestroyMenu(s.placeholderMenu);
        Pump();
    } else if (s.placeholderMenu) {
        DestroyMenu(s.placeholderMenu);
    }
    if (s.table) {
        s.table->services = nullptr;
        s.table->window = nullptr;
        s.table->instance = nullptr;
    }
    {
        std::lock_guard<std::mutex> guard(g_hostsLock);
        g_hosts.erase(std::remove(g_hosts.begin(), g_hosts.end(), state_.get()), g_hosts.end());
    }
    if (s.module) FreeLibrary(s.module);
}

bool StandinHost::Load(const std::string& dllPath) {
    State& s = *state_;
    if (s.table) {
        s.error = "a plug-in is already loaded";
        return false;
    }
    HMODULE module = LoadLibraryA(dllPath.c_str());
    if (!module) {
        s.error = "cannot load the plug-in \"" + dllPath + "\": " + SystemErrorText(GetLastError());
        return false;
    }
    using GetFilterTableFn = FilterTable*(TAVELIN_CDECL*)();
    auto entry = reinterpret_cast<GetFilterTableFn>(reinterpret_cast<void*>(GetProcAddress(module, "GetFilterTable")));
    if (!entry) {
        s.error = "\"" + dllPath + "\" is not a plug-in: it has no export GetFilterTable";
        FreeLibrary(module);
        return false;
    }
    FilterTable* table = entry();
    if (!table) {
        s.error = "\"" + dllPath + "\": GetFilterTable returned no record";
        FreeLibrary(module);
        return false;
    }
    s.module = module;
    s.table = table;
    s.error.clear();
    return true;
}

void StandinHost::Attach(FilterTable* table) {
    state_->table = table;
    state_->module = nullptr;
}

const std::string& StandinHost::Error() const { return state_->error; }
FilterTable* StandinHost::Table() const { return state_->table; }
HMODULE StandinHost::Module() const { return state_->module; }
EditHandle StandinHost::Edit() const { return state_.get(); }
const HostServices* StandinHost::Services() const { return &state_->services; }

bool StandinHost::CreatePluginWindow() {
    State& s = *state_;
    if (!s.table) {
        s.error = "no plug-in record: call Load or Attach first";
        return false;
    }
    if (s.window) {
        s.error = "the plug-in window exists already";
        return false;
    }
    if (!RegisterWindowClass()) {
        s.error = "cannot register the window class: " + SystemErrorText(GetLastError());
        return false;
    }
    s.table->services = &s.services;
    s.table->instance = s.module ? s.module : GetModuleHandleA(nullptr);
    s.windowWritten = false;

    const int clientWidth = s.table->width, clientHeight = s.table->height;
    // Room for a one-line menu bar: the placeholder may take none, the
    // plug-in's menu will, and then the client area has the record's size.
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, kPluginWindowStyle, TRUE, kPluginWindowExStyle);
    s.placeholderMenu = CreateMenu();  // the plug-in attaches its own at HostMsgInit
    const char* title = s.table->name ? s.table->name : "";
    t_creating = &s;
    HWND window = CreateWindowExA(kPluginWindowExStyle, kWindowClass, title, kPluginWindowStyle, 40, 40,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr, s.placeholderMenu,
                                  GetModuleHandleA(nullptr), nullptr);
    t_creating = nullptr;
    if (!window) {
        s.error = "cannot create the plug-in window: " + SystemErrorText(GetLastError());
        DestroyMenu(s.placeholderMenu);
        s.placeholderMenu = nullptr;
        return false;
    }
    s.window = window;
    if (!s.dialogTimer) s.dialogTimer = SetTimer(nullptr, 0, 20, DialogTimerProc);
    return true;
}

void StandinHost::SendInit() {
    state_->initSent = true;
    Send(kHostMsgInit);
}

bool StandinHost::Start() {
    if (!CreatePluginWindow()) return false;
    SendInit();
    return true;
}

void StandinHost::SendFileClose() { Send(kHostMsgFileClose); }

void StandinHost::SendExit() {
    state_->exitSent = true;
    Send(kHostMsgExit);
}

void StandinHost::SendWindowChanged() { Send(kHostMsgWindowChanged); }

void StandinHost::Show(bool visible) {
    if (!state_->window) return;
    ShowWindow(state_->window, visible ? SW_SHOW : SW_HIDE);
    if (visible) state_->closeRequested = false;
    SendWindowChanged();
}

HWND StandinHost::Window() const { return state_->window; }
bool StandinHost::CloseRequested() const { return state_->closeRequested; }

Project StandinHost::GetProject() const {
    std::lock_guard<std::mutex> guard(state_->projectLock);
    return state_->project;
}

void StandinHost::SetProject(const Project& project) {
    std::lock_guard<std::mutex> guard(state_->projectLock);
    state_->project = project;
}

void StandinHost::UpdateProject(const std::function<void(Project&)>& change) {
    std::lock_guard<std::mutex> guard(state_->projectLock);
    change(state_->project);
}

void StandinHost::OpenProject(const Project& project) {
    std::lock_guard<std::mutex> guard(state_->projectLock);
    state_->project = project;
    state_->project.open = true;
}

void StandinHost::CloseProject() {
    // The editor tells the plug-in first, while the project can still be read.
    SendFileClose();
    UpdateProject([](Project& p) { p.open = false; });
}

void StandinHost::ReplaceProject(const Project& project) {
    CloseProject();
    OpenProject(project);
}

void StandinHost::SetCursor(int frame) {
    UpdateProject([frame](Project& p) { p.cursor = frame; });
}

void StandinHost::SetSelection(int start, int end) {
    UpdateProject([start, end](Project& p) {
        p.hasSelection = true;
        p.selectionStart = start;
        p.selectionEnd = end;
    });
}

void StandinHost::ClearSelection() {
    UpdateProject([](Project& p) { p.hasSelection = false; });
}

void StandinHost::SetRenderHook(std::function<void(int frame)> hook) {
    std::lock_guard<std::mutex> guard(state_->projectLock);
    state_->renderHook = std::move(hook);
}

void StandinHost::UseSettingsFile(const std::string& path, const std::string& section) {
    char full[MAX_PATH * 2] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    std::lock_guard<std::mutex> guard(state_->settingsLock);
    state_->iniPath = length > 0 && length < sizeof full ? std::string(full) : path;
    state_->iniSection = section;
}

void StandinHost::UseSettingsMemory() {
    std::lock_guard<std::mutex> guard(state_->settingsLock);
    state_->iniPath.clear();
}

void StandinHost::SetSetting(const std::string& key, int value) {
    std::lock_guard<std::mutex> guard(state_->settingsLock);
    WriteSetting(*state_, key, value);
}

std::optional<int> StandinHost::Setting(const std::string& key) const {
    std::lock_guard<std::mutex> guard(state_->settingsLock);
    return ReadSetting(*state_, key);
}

std::vector<SettingWrite> StandinHost::SettingSaves() const {
    std::lock_guard<std::mutex> guard(state_->settingsLock);
    return state_->saves;
}

std::vector<std::string> StandinHost::SettingLoads() const {
    std::lock_guard<std::mutex> guard(state_->settingsLock);
    return state_->loads;
}

void StandinHost::ClearSettingLog() {
    std::lock_guard<std::mutex> guard(state_->settingsLock);
    state_->saves.clear();
    state_->loads.clear();
}

LRESULT StandinHost::Send(UINT message, WPARAM wParam, LPARAM lParam) {
    return state_->window ? SendMessageA(state_->window, message, wParam, lParam) : 0;
}

void StandinHost::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    if (state_->window) PostMessageA(state_->window, message, wParam, lParam);
}

void StandinHost::SendCommand(int id) { Send(WM_COMMAND, static_cast<WPARAM>(id), 0); }
void StandinHost::PostCommand(int id) { Post(WM_COMMAND, static_cast<WPARAM>(id), 0); }

bool StandinHost::ClickButton(int id) {
    HWND button = state_->window ? GetDlgItem(state_->window, id) : nullptr;
    if (!button) return false;
    SendMessageA(button, BM_CLICK, 0, 0);
    return true;
}

namespace {

LPARAM KeyLParam(int virtualKey, bool up) {
    const UINT scan = MapVirtualKeyA(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC);
    LPARAM lParam = 1 | (static_cast<LPARAM>(scan & 0xFF) << 16);
    if (virtualKey >= VK_PRIOR && virtualKey <= VK_DOWN) lParam |= LPARAM(1) << 24;  // extended key
    if (up) lParam |= (LPARAM(1) << 30) | (LPARAM(1) << 31);
    return lParam;
}

}  // namespace

void StandinHost::SendKey(int virtualKey) {
    Send(WM_KEYDOWN, static_cast<WPARAM>(virtualKey), KeyLParam(virtualKey, false));
    Send(WM_KEYUP, static_cast<WPARAM>(virtualKey), KeyLParam(virtualKey, true));
}

void StandinHost::PostKey(int virtualKey) {
    Post(WM_KEYDOWN, static_cast<WPARAM>(virtualKey), KeyLParam(virtualKey, false));
    Post(WM_KEYUP, static_cast<WPARAM>(virtualKey), KeyLParam(virtualKey, true));
}

void StandinHost::Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            state_->closeRequested = true;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void StandinHost::PumpFor(unsigned ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        Pump();
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 10)), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

bool StandinHost::PumpUntil(const std::function<bool()>& condition, unsigned timeoutMs, const std::string& what) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        Pump();
        if (condition()) return true;
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed >= timeoutMs) {
            std::printf("  time-out after %u ms waiting for: %s\n", timeoutMs, what.c_str());
            std::fflush(stdout);
            return false;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<ULONGLONG>(timeoutMs - elapsed, 10)),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

bool StandinHost::PumpUntilMessage(UINT message, int count, unsigned timeoutMs) {
    char what[64];
    std::snprintf(what, sizeof what, "message 0x%X handed to the hook %d time(s)", message, count);
    return PumpUntil([&] { return MessageCount(message) >= count; }, timeoutMs, what);
}

int StandinHost::MessageCount(UINT message) const {
    auto it = state_->messageCounts.find(message);
    return it == state_->messageCounts.end() ? 0 : it->second;
}

int StandinHost::NonZeroHookResults() const { return state_->nonZeroHookResults; }

ServiceCounts StandinHost::Counts() const {
    const State& s = *state_;
    ServiceCounts c;
    c.isEditing = s.isEditing;
    c.currentFrame = s.currentFrame;
    c.frameCount = s.frameCount;
    c.sourceInfo = s.sourceInfo;
    c.pixelCalls = s.pixelCalls;
    c.pixelRenders = s.pixelRenders;
    c.audioCalls = s.audioCalls;
    c.audioRenders = s.audioRenders;
    c.selection = s.selection;
    c.loadSetting = s.loadSetting;
    c.saveSetting = s.saveSetting;
    c.offThreadCalls = s.offThreadCalls;
    c.lastRenderedFrame = s.lastRenderedFrame;
    return c;
}

void StandinHost::ResetCounts() {
    State& s = *state_;
    for (std::atomic<int>* counter :
         {&s.isEditing, &s.currentFrame, &s.frameCount, &s.sourceInfo, &s.pixelCalls, &s.pixelRenders, &s.audioCalls,
          &s.audioRenders, &s.selection, &s.loadSetting, &s.saveSetting, &s.offThreadCalls})
        *counter = 0;
    s.lastRenderedFrame = -1;
}

std::string StandinHost::Title() const { return state_->window ? WindowText(state_->window) : std::string(); }

SIZE StandinHost::ClientSize() const {
    RECT client{};
    if (state_->window) GetClientRect(state_->window, &client);
    return SIZE{client.right, client.bottom};
}

Bgr StandinHost::ClientPixel(int x, int y) const {
    if (!state_->window) return Bgr{};
    HDC dc = GetDC(state_->window);
    const COLORREF color = GetPixel(dc, x, y);
    ReleaseDC(state_->window, dc);
    if (color == CLR_INVALID) return Bgr{};
    return Bgr{GetBValue(color), GetGValue(color), GetRValue(color)};
}

Image StandinHost::CaptureClient() const {
    if (!state_->window) return Image{};
    const SIZE size = ClientSize();
    HDC dc = GetDC(state_->window);
    Image image = CaptureDc(dc, size.cx, size.cy);
    ReleaseDC(state_->window, dc);
    return image;
}

Image StandinHost::CaptureWindow() const {
    if (!state_->window) return Image{};
    RECT outer{};
    GetWindowRect(state_->window, &outer);
    HDC dc = GetWindowDC(state_->window);
    Image image = CaptureDc(dc, outer.right - outer.left, outer.bottom - outer.top);
    ReleaseDC(state_->window, dc);
    return image;
}

bool StandinHost::SaveClientPng(const std::string& path) const { return WritePngFile(CaptureClient(), path); }
bool StandinHost::SaveWindowPng(const std::string& path) const { return WritePngFile(CaptureWindow(), path); }

void StandinHost::OnDialog(DialogAction action) { state_->dialogActions.push_back(std::move(action)); }
std::vector<DialogRecord> StandinHost::Dialogs() const { return state_->dialogs; }
int StandinHost::PendingDialogActions() const { return static_cast<int>(state_->dialogActions.size()); }

int StandinHost::UnexpectedDialogs() const {
    return static_cast<int>(std::count_if(state_->dialogs.begin(), state_->dialogs.end(),
                                          [](const DialogRecord& d) { return !d.expected; }));
}

// --- Helpers -------------------------------------------------------------------------------

std::string ExeDirectory() {
    char path[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string directory(path, std::min<DWORD>(length, sizeof path));
    const size_t slash = directory.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".\\") : directory.substr(0, slash + 1);
}

std::string BesideExe(const std::string& name) { return ExeDirectory() + name; }

std::string SystemErrorText(DWORD code) {
    char* buffer = nullptr;
    // English where the system has it: the message goes to a log, not to a user.
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = FormatMessageA(flags, nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                  reinterpret_cast<char*>(&buffer), 0, nullptr);
    if (!length) length = FormatMessageA(flags, nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = "code " + std::to_string(code);
    if (length && buffer) {
        std::string message(buffer, length);
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
            message.pop_back();
        if (!message.empty()) text += ": " + message;
    }
    if (buffer) LocalFree(buffer);
    return text;
}

int RunChild(const std::string& commandLine, std::string* output, unsigned timeoutMs) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -1;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    std::string mutableLine = commandLine;
    const BOOL started = CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return -1;
    }
    std::string captured;
    const ULONGLONG start = GetTickCount64();
    bool timedOut = false;
    for (;;) {
        DWORD available = 0;
        const BOOL alive = PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr);
        if (alive && available > 0) {
            char buffer[4096];
            DWORD got = 0;
            if (ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) && got > 0)
                captured.append(buffer, got);
            continue;
        }
        if (!alive) break;  // every writer has closed its end
        if (GetTickCount64() - start >= timeoutMs) {
            timedOut = true;
            TerminateProcess(process.hProcess, 1);
            break;
        }
        if (WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) {
            // Drain what is left, then stop: a grandchild may hold the pipe open.
            while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
                char buffer[4096];
                DWORD got = 0;
                if (!ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) || !got)
                    break;
                captured.append(buffer, got);
            }
            break;
        }
    }
    WaitForSingleObject(process.hProcess, 5000);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(readEnd);
    if (output) *output = captured;
    return timedOut ? -2 : static_cast<int>(exitCode);
}

}  // namespace standin
