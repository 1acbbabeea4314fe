// The stand-in host: plays the host video editor's part for the plug-in, so
// that it can be run, tested and shown without the editor.
//
// What it does, as the editor does:
//  - loads the plug-in DLL by path and calls GetFilterTable (Load), or takes a
//    record directly for white-box tests that link the plug-in's code in
//    (Attach(GetFilterTableRecord()));
//  - writes its service table, the instance (the DLL's module, or the exe's
//    for a linked-in record) and, before the hook sees its first message, the
//    plug-in window into the record;
//  - creates the plug-in window (client size from the record, style
//    0x14CC0000, extended style 0x180, a placeholder menu bar that the
//    plug-in replaces), hands every message of it to the record's hook with
//    the current EditHandle and the record, then to DefWindowProcA;
//  - sends HostMsgInit after creating the window, and HostMsgFileClose,
//    HostMsgExit, HostMsgWindowChanged on request;
//  - serves the nine services over a synthetic Project (thread-safe, so the
//    plug-in's loader may call IsEditing, GetFilteredPixels and
//    GetFilteredAudio from its thread; every service is in fact safe).
//
// For tests it also drives the window as a user would (commands, buttons,
// keys), waits for conditions with a time-out that fails instead of hanging,
// reads the title and the pixels, captures PNG files and answers the modal
// dialogs and message boxes the plug-in opens.
//
// Threads: create and use a StandinHost on one thread (the "window thread");
// only the services may be called from elsewhere. One host at a time per
// process is the normal case; several work as long as each has its own record.
//
// A typical white-box test:
//
//   StandinHost host;                       // default project, in-memory settings
//   host.Attach(GetFilterTableRecord());
//   CHECK(host.Start());                    // window + HostMsgInit
//   host.SendCommand(103);                  // the load command
//   CHECK(host.PumpUntil([] { return !g_previewCache->loading; }, 60000, "load"));
//   CHECK_EQ(host.ClientPixel(10, 10), CodedPixel(...));
#pragma once

#include "host/patterns.h"
#include "host/png.h"
#include "host/project.h"
#include "host/watchdog.h"
#include "plugin/filter_table.h"
#include "plugin/host_services.h"

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace standin {

// The host's messages to the plug-in window.
inline constexpr UINT kHostMsgFileClose = 0x466;      // the project was closed
inline constexpr UINT kHostMsgInit = 0x467;           // the plug-in window was created
inline constexpr UINT kHostMsgExit = 0x468;           // the plug-in is about to be unloaded
inline constexpr UINT kHostMsgWindowChanged = 0x46E;  // the window's display state changed

inline constexpr DWORD kPluginWindowStyle = 0x14CC0000;  // visible, clip siblings, caption, system menu, sizing frame
inline constexpr DWORD kPluginWindowExStyle = 0x180;     // tool window, window edge

// Default time-out of the waits: generous, since machines are shared. A wait
// that runs out fails the test; it is not a speed goal.
inline constexpr unsigned kDefaultWaitMs = 60000;

// How the services answer (all under the project lock, from any thread):
//  IsEditing          editingValue while open, else 0.
//  GetCurrentFrame    cursor while open, else 0.
//  GetFrameCount      frameCount while open, else 0.
//  GetSourceInfo      open: zeroes the 64 bytes, writes rate, scale, channels, returns 1;
//                     closed: writes nothing, returns 0.
//  GetFilteredPixels  closed, or frame outside [0, frameCount): writes nothing, returns 0.
//                     Otherwise writes the frame's size to each non-null size pointer
//                     and, when pixels is given and the size is positive, sleeps
//                     renderCostMs, calls the render hook and renders the frame;
//                     returns 1.
//  GetFilteredAudio   closed or out of range: 0, nothing written. Otherwise returns
//                     SamplesOf(frame) and, with a buffer and a positive count, writes
//                     them interleaved.
//  GetSelection       open with a selection: writes start and end, returns 1; else 0.
//  LoadSettingInt     the stored integer, or the default (also for unparseable text
//                     in the file store).
//  SaveSettingInt     stores the integer, returns 1 (0 if the file cannot be written).

// Number of calls of each service since the host was made (or ResetCounts).
struct ServiceCounts {
    int isEditing = 0;
    int currentFrame = 0;
    int frameCount = 0;
    int sourceInfo = 0;
    int pixelCalls = 0;     // every GetFilteredPixels call
    int pixelRenders = 0;   // calls that wrote a picture
    int audioCalls = 0;     // every GetFilteredAudio call
    int audioRenders = 0;   // calls that wrote samples
    int selection = 0;
    int loadSetting = 0;
    int saveSetting = 0;
    int offThreadCalls = 0;  // calls from a thread other than the window thread
    int lastRenderedFrame = -1;
};

struct SettingWrite {
    std::string key;
    int value = 0;
};

// A modal dialog or message box of the window thread, as found by the
// automation. Valid only inside a DialogAction.
class Dialog {
public:
    explicit Dialog(HWND hwnd) : hwnd_(hwnd) {}
    HWND Handle() const { return hwnd_; }
    std::string Title() const;
    // The texts of its static controls, joined by '\n': a message box's message.
    std::string Text() const;
    std::string ItemText(int id) const;
    bool SetItemText(int id, const std::string& text);
    // As a click on the button with this id (IDOK, IDCANCEL, ...). Posted: the
    // dialog closes once its modal loop runs again.
    void Press(int id);

private:
    HWND hwnd_;
};

struct DialogItem {
    int id = 0;
    std::string className;
    std::string text;
};

// What the automation saw, in order of appearance (taken before the action ran).
struct DialogRecord {
    std::string title;
    std::string text;  // as Dialog::Text
    std::vector<DialogItem> items;
    bool expected = false;  // false: no action was queued and the host pressed Cancel
};

using DialogAction = std::function<void(Dialog&)>;

class StandinHost {
public:
    StandinHost();
    explicit StandinHost(const Project& project);
    // Sends HostMsgExit if HostMsgInit was sent and Exit was not, destroys the
    // window, sets the three host fields of the record back to 0 and unloads the DLL.
    ~StandinHost();
    StandinHost(const StandinHost&) = delete;
    StandinHost& operator=(const StandinHost&) = delete;

    // --- The plug-in ---------------------------------------------------------
    // LoadLibraryA + GetProcAddress("GetFilterTable") + call. False, with
    // Error() saying why, if the DLL does not load, has no GetFilterTable, or
    // returns a null record.
    bool Load(const std::string& dllPath);
    // A record linked into this program; the instance becomes GetModuleHandle(NULL).
    void Attach(FilterTable* table);
    const std::string& Error() const;
    FilterTable* Table() const;
    HMODULE Module() const;  // the loaded DLL; null after Attach
    EditHandle Edit() const;  // what the hook receives with every message
    const HostServices* Services() const;  // the table written into the record

    // --- The window and the host messages -----------------------------------
    // Writes services and instance into the record and creates the window (the
    // hook sees messages from the first on; the window field is written before
    // the first). False, with Error(), if there is no record or creation fails.
    bool CreatePluginWindow();
    void SendInit();  // HostMsgInit
    bool Start();     // CreatePluginWindow() then SendInit()
    void SendFileClose();
    void SendExit();
    void SendWindowChanged();
    // Shows or hides the window, then sends HostMsgWindowChanged.
    void Show(bool visible);
    HWND Window() const;
    // The user closed the window (WM_CLOSE: the host hid it and sent
    // HostMsgWindowChanged instead of destroying it), or Pump met WM_QUIT.
    bool CloseRequested() const;

    // --- The project ----------------------------------------------------------
    Project GetProject() const;
    void SetProject(const Project& project);  // no message; for set-up
    void UpdateProject(const std::function<void(Project&)>& change);  // under the lock
    void OpenProject(const Project& project);  // sets it, open
    void CloseProject();                        // HostMsgFileClose, then closed
    void ReplaceProject(const Project& project);  // CloseProject, then OpenProject
    void SetCursor(int frame);
    void SetSelection(int start, int end);
    void ClearSelection();
    // Called on the rendering thread (the loader's) before each picture is
    // rendered, outside the project lock. Set it before the load starts.
    void SetRenderHook(std::function<void(int frame)> hook);

    // --- Settings ---------------------------------------------------------------
    // In memory by default. With a path, an INI file (kept between runs) whose
    // section is the record's display name, or `section` if given. The path is
    // made absolute.
    void UseSettingsFile(const std::string& path, const std::string& section = "");
    void UseSettingsMemory();
    void SetSetting(const std::string& key, int value);  // in the current store, not logged
    std::optional<int> Setting(const std::string& key) const;
    std::vector<SettingWrite> SettingSaves() const;  // every SaveSettingInt, in order
    std::vector<std::string> SettingLoads() const;   // keys of every LoadSettingInt, in order
    void ClearSettingLog();

    // --- Driving, as a user ---------------------------------------------------
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    void Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    void SendCommand(int id);  // WM_COMMAND id, lParam 0 (a menu item), synchronously
    void PostCommand(int id);  // the same, posted; pump to deliver it
    // BM_CLICK on the child button with this control id: the button sends
    // WM_COMMAND (BN_CLICKED, its handle) as a real click does. False if there is no such child.
    bool ClickButton(int id);
    void SendKey(int virtualKey);  // WM_KEYDOWN then WM_KEYUP, synchronously
    void PostKey(int virtualKey);  // the same, posted

    // Dispatches every message waiting for this thread.
    void Pump();
    // Pumps for about ms milliseconds.
    void PumpFor(unsigned ms);
    // Pumps until condition() is true: true. After timeoutMs, prints
    // "time-out after N ms waiting for: <what>" to stdout and returns false,
    // so the test fails instead of hanging.
    bool PumpUntil(const std::function<bool()>& condition, unsigned timeoutMs = kDefaultWaitMs,
                   const std::string& what = "condition");
    // Pumps until the hook has been handed `message` at least `count` times in
    // all (e.g. WM_LOAD_DONE 0x400 for a finished load).
    bool PumpUntilMessage(UINT message, int count = 1, unsigned timeoutMs = kDefaultWaitMs);

    // --- Observing ---------------------------------------------------------------
    int MessageCount(UINT message) const;  // times the hook was handed it
    int NonZeroHookResults() const;        // the hook should always return 0
    ServiceCounts Counts() const;
    void ResetCounts();
    std::string Title() const;  // GetWindowTextA: ANSI code page bytes
    SIZE ClientSize() const;
    Bgr ClientPixel(int x, int y) const;  // GetPixel on the client area, x/y from the top left
    Image CaptureClient() const;           // the client area as on the screen
    Image CaptureWindow() const;           // the whole window, frame and menu bar included
    bool SaveClientPng(const std::string& path) const;
    bool SaveWindowPng(const std::string& path) const;

    // --- Dialogs -----------------------------------------------------------------
    // Queues the action for the next modal dialog or message box that appears
    // on this thread (class "#32770"). A dialog with no action queued is
    // recorded as unexpected and cancelled, so a test never hangs on one.
    // The automation runs from a thread timer, i.e. inside the dialog's own
    // modal loop, while the command that opened it is still running.
    void OnDialog(DialogAction action);
    std::vector<DialogRecord> Dialogs() const;
    int PendingDialogActions() const;
    int UnexpectedDialogs() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

// --- Helpers for tests ---------------------------------------------------------

// The folder of the running exe, with a trailing backslash.
std::string ExeDirectory();
// ExeDirectory() + name: for the DLL and programs built beside the tests.
std::string BesideExe(const std::string& name);

// Runs a command line as a child process, capturing its stdout and stderr
// together. Returns its exit code; -1 if it could not start; -2 if it ran
// past timeoutMs (it is then killed).
int RunChild(const std::string& commandLine, std::string* output, unsigned timeoutMs = kDefaultWaitMs);

// A message for GetLastError-style codes: "code N: text".
std::string SystemErrorText(DWORD code);

}  // namespace standin
