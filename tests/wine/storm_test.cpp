// The storm: a long, seeded random sequence of everything a user and a host
// can do to the plug-in, with the invariants checked after every action.
//
// The sequence is a function of the seed (every parameter of every action,
// nested ones included, is drawn before the action runs, from the seed and
// from state that the actions alone decide), so a seed replays the same
// sequence; what the loader has reached when an action lands may differ from
// run to run. Seed: --seed N on the command line, else the environment
// variable TAVELIN_STORM_SEED, else a fixed one. Length: --actions N or
// TAVELIN_STORM_ACTIONS. On a failure the seed, the step, the action and the
// trail of actions before it are printed; on a fault too, from the
// unhandled-exception filter, and on a hang from the storm's own watchdog.
//
// Actions during a playback: playback runs inside the play command, so
// actions meant for it are posted to a message-only "driver" window of the
// same thread, whose procedure runs them when the player's pump dispatches
// them, exactly where a host's own messages would run. The play loop's
// observer posts each at its drawn turn; a safety stop (loop off, then stop)
// keeps every playback bounded.
#define WINE_TEST_NO_MAIN
#include "cache/loader.h"
#include "cache/preview_cache.h"
#include "host/standin_host.h"
#include "playback/playback_observer.h"
#include "playback/player.h"
#include "plugin/filter_table.h"
#include "plugin/resource_ids.h"
#include "plugin/settings.h"
#include "tests/wine/storm_support.h"
#include "tests/wine/wine_test.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

using standin::Project;
using standin::StandinHost;

namespace {

constexpr uint32_t kDefaultSeed = 20240611u;
constexpr int kDefaultActions = 3000;

uint32_t g_seed = kDefaultSeed;
int g_actionCount = kDefaultActions;

// --- Random numbers: a fixed algorithm, so a seed means the same everywhere ----

struct Rng {
    uint64_t state;
    uint32_t Next() {
        // splitmix64
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<uint32_t>((z ^ (z >> 31)) >> 16);
    }
    int Below(int n) { return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint32_t>(n)); }
    int Range(int lo, int hi) { return lo + Below(hi - lo + 1); }
    bool Chance(int percent) { return Below(100) < percent; }
    template <typename T, size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Below(static_cast<int>(N))];
    }
};

// --- Actions ----------------------------------------------------------------------------

enum class Kind {
    Command,      // a = id, as a menu item
    Button,       // a = id, clicked
    Key,          // a = virtual key, b = times; c = 1: auto-repeat (WM_KEYDOWN only, repeat bit set)
    Resize,       // SetWindowPos to a x b (outer size)
    Repaint,      // a = 0: InvalidateRect + UpdateWindow; 1: WM_PAINT sent; 2: HostMsgWindowChanged; 3: hide + show
    Settings,     // a = 0 Cancel, 1 OK with `text` (value b), 2 closed; `inner` posted from inside the dialog
    Information,  // `inner` posted from inside the box
    Play,         // a = 0 menu, 1 button; `inner` posted at their turns
    Load,         // a = 0 menu, 1 button; b = 0 no wait, 1 until done, 2 until c frames or done
    Stop,         // a = 0 menu, 1 button
    Release,
    CloseProject,
    OpenProject,     // `project`
    ReplaceProject,  // `project`
    Cursor,          // a
    Selection,       // a, b; c = 0 clears
    Editing,         // a: what IsEditing answers while open
    FrameCount,      // a: the open project's frame count changes (an edit)
    RenderCost,      // a ms
    Exit,
    Init,
    InitAgain,  // HostMsgInit while the plug-in runs
    Vanish,     // the project closes without HostMsgFileClose
    ExitInit,
    PostBurst,  // `inner` posted, then pumped
    Pump,       // a ms
    SafetyStop,
};

struct Action {
    Kind kind = Kind::Pump;
    int a = 0, b = 0, c = 0;
    int turn = 0;  // for actions inside a playback: the turn at which it is posted
    std::string text;
    Project project;
    std::vector<Action> inner;
};

std::string ProjectText(const Project& p) {
    char text[200];
    std::snprintf(text, sizeof text, "%d frames %dx%d rate %d/%d, %d ch x %d, cursor %d%s%s", p.frameCount, p.width,
                  p.height, p.videoRate, p.videoScale, p.channels, p.samplesPerFrame, p.cursor,
                  p.sizeOverride.empty() ? "" : ", size overrides", p.samplesOverride.empty() ? "" : ", sample overrides");
    return text;
}

std::string Describe(const Action& x) {
    auto n = [](int v) { return std::to_string(v); };
    switch (x.kind) {
    case Kind::Command: return "command " + n(x.a);
    case Kind::Button: return "button " + n(x.a);
    case Kind::Key: return "key " + n(x.a) + " x" + n(x.b) + (x.c ? " (auto-repeat)" : "");
    case Kind::Resize: return "resize to " + n(x.a) + "x" + n(x.b);
    case Kind::Repaint: return "repaint " + n(x.a);
    case Kind::Settings:
        return std::string("settings dialog, ") + (x.a == 0 ? "Cancel" : x.a == 1 ? "OK \"" + x.text + "\"" : "closed") +
               (x.inner.empty() ? "" : ", with " + n(static_cast<int>(x.inner.size())) + " inside");
    case Kind::Information:
        return "information box" + (x.inner.empty() ? std::string() : ", with " + n(int(x.inner.size())) + " inside");
    case Kind::Play:
        return std::string("play (") + (x.a ? "button" : "menu") + "), " + n(static_cast<int>(x.inner.size())) +
               " during it";
    case Kind::Load:
        return std::string("load (") + (x.a ? "button" : "menu") + ")" +
               (x.b == 1 ? ", to its end" : x.b == 2 ? ", to " + n(x.c) + " frames" : "");
    case Kind::Stop: return std::string("stop (") + (x.a ? "button" : "menu") + ")";
    case Kind::Release: return "release";
    case Kind::CloseProject: return "close the project";
    case Kind::OpenProject: return "open " + ProjectText(x.project);
    case Kind::ReplaceProject: return "replace by " + ProjectText(x.project);
    case Kind::Cursor: return "cursor " + n(x.a);
    case Kind::Selection: return x.c ? "selection " + n(x.a) + ".." + n(x.b) : std::string("no selection");
    case Kind::Editing: return "IsEditing answers " + n(x.a);
    case Kind::FrameCount: return "frame count " + n(x.a);
    case Kind::RenderCost: return "render cost " + n(x.a) + " ms";
    case Kind::Exit: return "HostMsgExit";
    case Kind::Init: return "HostMsgInit";
    case Kind::InitAgain: return "HostMsgInit again";
    case Kind::Vanish: return "the project closes without a message";
    case Kind::ExitInit: return "HostMsgExit, HostMsgInit";
    case Kind::PostBurst: return "post " + n(static_cast<int>(x.inner.size())) + " and pump";
    case Kind::Pump: return "pump " + n(x.a) + " ms";
    case Kind::SafetyStop: return "safety stop";
    }
    return "?";
}

// --- Drawing the sequence ------------------------------------------------------------------

Project RandomProject(Rng& r) {
    Project p;
    p.frameCount = r.Chance(4) ? 0 : r.Range(1, 48);
    p.width = r.Chance(5) ? r.Range(1, 3) : r.Range(8, 160);
    p.height = r.Chance(5) ? r.Range(1, 3) : r.Range(6, 120);
    struct Rate { int rate, scale; };
    static const Rate rates[] = {{30, 1},   {60, 1},   {120, 1}, {240, 1}, {240, 1}, {500, 1},
                                 {1000, 1}, {1000, 1}, {30000, 1001}, {0, 1}, {30, 0}, {-30, 1}, {25, -1}};
    const Rate rate = r.Pick(rates);
    p.videoRate = rate.rate;
    p.videoScale = rate.scale;
    static const int channels[] = {1, 2, 2, 2, 2, 6, 8, 0};
    p.channels = r.Pick(channels);
    p.samplesPerFrame = r.Chance(3) ? 0 : r.Range(1, 1600);
    p.cursor = r.Chance(10) ? r.Range(-2, p.frameCount + 3) : r.Range(0, p.frameCount > 0 ? p.frameCount - 1 : 0);
    if (r.Chance(20)) {
        p.hasSelection = true;
        p.selectionStart = r.Range(-1, p.frameCount + 1);
        p.selectionEnd = r.Range(-1, p.frameCount + 1);
    }
    p.renderCostMs = r.Chance(10) ? r.Range(1, 3) : 0;
    if (r.Chance(15)) {
        for (int i = r.Range(1, 3); i > 0; --i) {
            const int frame = r.Range(0, p.frameCount);
            const std::pair<int, int> sizes[] = {{0, 0},          {-5, 7},           {1, 1},
                                                 {p.width * 2 + 3, p.height * 2 + 1}, {p.width / 2, p.height / 3},
                                                 {p.width + 1, p.height}};
            p.sizeOverride[frame] = r.Pick(sizes);
        }
    }
    if (r.Chance(15)) {
        for (int i = r.Range(1, 3); i > 0; --i) {
            const int frame = r.Range(0, p.frameCount);
            const int counts[] = {0, -3, p.samplesPerFrame * 2 + 7, p.samplesPerFrame / 2, 1};
            p.samplesOverride[frame] = r.Pick(counts);
        }
    }
    return p;
}

const int kGroupA[] = {110, 111, 120, 121, 122, 130, 131, 132, 200, 201, 202, 203, 204, 205, 206, 207};
const int kGroupB[] = {100, 102, 103, 180};
const int kButtons[] = {BTN_PLAY, BTN_STOP, BTN_READ};

// What the drawing may know of the state: only what the actions alone decide.
struct View {
    bool open = true;
    int editing = 1;
    int frameCount = 0;
    bool initialized = false;
};
View g_view;

Action Draw(Rng& r, int depth);
Action DrawPlay(Rng& r, int depth, bool button);

void DrawInner(Rng& r, int depth, int count, std::vector<Action>& out, int maxTurn) {
    for (int i = 0; i < count; ++i) {
        Action x = Draw(r, depth + 1);
        x.turn = r.Range(0, maxTurn);
        out.push_back(std::move(x));
    }
}

// A play; at the top with the actions that land during it, most often ending
// with a stop so that passes stay short.
Action DrawPlay(Rng& r, int depth, bool button) {
    Action x;
    x.kind = Kind::Play;
    x.a = button;
    if (depth == 0) {
        DrawInner(r, depth, r.Range(0, 3), x.inner, 12);
        if (r.Chance(85)) {
            Action stop;
            stop.kind = Kind::Stop;
            stop.a = r.Chance(50);
            stop.turn = r.Range(0, 16);
            x.inner.push_back(stop);
        }
    }
    return x;
}

// One action. depth 0: at the top, between host messages; deeper: posted into
// a playback, a dialog or a pump, where nothing waits for anything.
Action Draw(Rng& r, int depth) {
    Action x;
    const bool top = depth == 0;
    // Out of states where nothing can load or play, most often step back into
    // one. These states follow from the actions alone, so the draw stays a
    // function of the seed.
    if (top && !g_view.open && r.Chance(35)) {
        x.kind = Kind::OpenProject;
        x.project = RandomProject(r);
        return x;
    }
    if (top && !g_view.initialized && r.Chance(35)) {
        x.kind = Kind::Init;
        return x;
    }
    if (top && g_view.editing != 1 && r.Chance(30)) {
        x.kind = Kind::Editing;
        x.a = 1;
        return x;
    }
    if (top && r.Chance(6)) {  // a whole load, so that more plays find a run
        x.kind = Kind::Load;
        x.a = r.Chance(40);
        x.b = 1;
        return x;
    }
    const int roll = r.Below(1000);
    if (roll < 150) {
        x.kind = Kind::Command;
        x.a = r.Pick(kGroupA);
    } else if (roll < 270) {
        x.kind = Kind::Key;
        static const int keys[] = {VK_LEFT, VK_RIGHT, VK_LEFT, VK_RIGHT, VK_UP, VK_SPACE};
        x.a = r.Pick(keys);
        x.c = r.Chance(30);
        x.b = x.c ? r.Range(2, 40) : r.Range(1, 3);
    } else if (roll < 360) {
        return DrawPlay(r, depth, r.Chance(40));
    } else if (roll < 410) {
        x.kind = Kind::Stop;
        x.a = r.Chance(50);
    } else if (roll < 500) {
        x.kind = Kind::Load;
        x.a = r.Chance(40);
        if (top) {
            x.b = r.Chance(30) ? 0 : r.Chance(65) ? 1 : 2;
            x.c = r.Range(1, 20);
        }
    } else if (roll < 515) {
        x.kind = Kind::Release;
    } else if (roll < 590) {
        x.kind = Kind::Resize;
        x.a = r.Chance(10) ? 0 : r.Range(1, 900);
        x.b = r.Chance(25) ? r.Range(0, 60) : r.Range(60, 700);
    } else if (roll < 640) {
        x.kind = Kind::Repaint;
        x.a = r.Below(4);
    } else if (roll < 665) {
        x.kind = Kind::Settings;
        x.a = r.Below(3);
        static const int values[] = {0, 1, 2, 3, 4, 4, 5, 6, 8, 12, 16, 4096};
        x.b = r.Pick(values);
        const std::string digits = std::to_string(x.b);
        switch (r.Below(5)) {
        case 0: x.text = digits; break;
        case 1: x.text = "  " + digits; break;
        case 2: x.text = digits + "abc"; break;
        case 3: x.text = "+" + digits; break;
        default: x.text = x.b == 0 ? "" : digits; break;
        }
        if (depth < 2 && r.Chance(20)) DrawInner(r, depth, 1, x.inner, 0);
    } else if (roll < 685) {
        x.kind = Kind::Information;
        if (depth < 2 && r.Chance(15)) DrawInner(r, depth, 1, x.inner, 0);
    } else if (roll < 735) {
        const int count = g_view.frameCount;
        if (r.Chance(50)) {
            x.kind = Kind::Cursor;
            x.a = r.Chance(10) ? r.Range(-3, count + 5) : r.Range(0, count);
        } else {
            x.kind = Kind::Selection;
            x.c = r.Chance(75);
            x.a = r.Range(-2, count + 2);
            x.b = r.Chance(80) ? x.a + r.Range(0, 12) : r.Range(-2, count + 2);
        }
    } else if (roll < 755) {
        x.kind = Kind::Editing;
        static const int values[] = {0, 1, 1, 1, 1, 1, 2, -1};
        x.a = r.Pick(values);
    } else if (roll < 765) {
        x.kind = Kind::FrameCount;
        x.a = r.Range(0, 60);
    } else if (roll < 775) {
        x.kind = Kind::RenderCost;
        x.a = r.Chance(70) ? 0 : r.Range(1, 4);
    } else if (roll < 790) {
        x.kind = Kind::CloseProject;
    } else if (roll < 850) {
        x.kind = r.Chance(30) ? Kind::ReplaceProject : Kind::OpenProject;
        x.project = RandomProject(r);
    } else if (roll < 862) {
        x.kind = Kind::ExitInit;
    } else if (roll < 868) {
        x.kind = Kind::Exit;
    } else if (roll < 874) {
        x.kind = Kind::Vanish;
    } else if (roll < 878) {
        x.kind = Kind::InitAgain;
    } else if (roll < 900) {
        x.kind = Kind::Init;  // only acts when the plug-in has exited
    } else if (roll < 930) {
        x.kind = Kind::Button;
        x.a = r.Pick(kButtons);
        if (x.a == BTN_PLAY) return DrawPlay(r, depth, true);
    } else if (roll < 960) {
        x.kind = Kind::Command;
        x.a = r.Pick(kGroupB);
        if (x.a == CMD_PLAY) return DrawPlay(r, depth, false);
    } else if (top && roll < 985) {
        x.kind = Kind::PostBurst;
        DrawInner(r, depth, r.Range(1, 5), x.inner, 0);
    } else {
        x.kind = Kind::Pump;
        x.a = r.Range(0, 15);
    }
    return x;
}

// --- The run's state -------------------------------------------------------------------------

StandinHost* g_host = nullptr;
HWND g_driver = nullptr;
standin::Watchdog* g_watchdog = nullptr;
int g_step = 0;
int g_depth = 0;  // 1 while a top-level action runs; deeper inside it
std::deque<std::string> g_trail;

std::map<int, Action> g_posted;  // driver messages on their way
int g_nextPosted = 0;
std::vector<Action> g_duringPlay;  // waiting for their turn, in order of turn
int g_turns = 0;                   // play-loop turns since the top-level action began

// Dialogs: one unanswered at a time (see Execute).
int g_dialogsOpen = 0;          // a settings dialog is open: its OK may have changed the memory setting already
bool g_awaitingAnswer = false;  // a dialog was asked for and has not been answered yet
std::deque<Action> g_laterDialogs;
std::deque<Action> g_afterSettings;

// Figures for the summary.
int g_allTurns = 0;
int g_playsThatRan = 0;     // plays with at least one turn
int g_loadsWithFrames = 0;  // loads started with a run of frames to load
int g_verifiedRuns = 0;     // whole runs checked slot by slot against the host
std::map<std::string, int> g_playState;                  // what each play command found
std::map<std::string, std::pair<int, double>> g_timing;  // kind -> (count, ms)

void PostToDriver(const Action& x);

// Called by every answer, first thing: the next dialog may come.
void Answered() {
    g_awaitingAnswer = false;
    if (g_laterDialogs.empty()) return;
    PostToDriver(g_laterDialogs.front());
    g_laterDialogs.pop_front();
}

constexpr int kSafetyTurns = 80;

// The settings as the plug-in should hold them.
PreviewSettings g_model{};

const char* const kKeys[] = {setting_keys::kViewSize,   setting_keys::kPlayMode,       setting_keys::kPlaySelect,
                             setting_keys::kPlayLoop,   setting_keys::kPreviewQuality, setting_keys::kUseMemory};

int ModelValue(int index) {
    switch (index) {
    case 0: return g_model.viewSize;
    case 1: return g_model.playMode;
    case 2: return g_model.playSelect ? 1 : 0;
    case 3: return g_model.playLoop ? 1 : 0;
    case 4: return g_model.quality;
    default: return g_model.useMemory;
    }
}

std::string Where() {
    return "seed " + std::to_string(g_seed) + ", step " + std::to_string(g_step) + ", depth " + std::to_string(g_depth);
}

void Remember(const std::string& what) {
    g_trail.push_back("step " + std::to_string(g_step) + (g_depth > 1 ? " (inside, depth " + std::to_string(g_depth) + ")" : "") +
                      ": " + what);
    if (g_trail.size() > 40) g_trail.pop_front();
}

void PrintTrail() {
    std::printf("  storm seed %u failed at step %d; the last actions:\n", g_seed, g_step);
    for (const std::string& line : g_trail) std::printf("    %s\n", line.c_str());
    std::printf("  replay: storm_test.exe --seed %u --actions %d\n", g_seed, g_step);
    std::fflush(stdout);
}

LPTOP_LEVEL_EXCEPTION_FILTER g_harnessFilter = nullptr;

// A fault: the trail first, then the harness's own report and end.
LONG WINAPI OnFault(EXCEPTION_POINTERS* info) {
    PrintTrail();
    if (g_harnessFilter) return g_harnessFilter(info);
    TerminateProcess(GetCurrentProcess(), 4);
    return EXCEPTION_CONTINUE_SEARCH;
}

struct Bases {
    void* video = nullptr;
    void* audio = nullptr;
};
Bases CurrentBases() {
    Bases b;
    if (g_previewCache) {
        b.video = g_previewCache->video->block->base;
        b.audio = g_previewCache->audio->block->base;
    }
    return b;
}
void CheckGivenBack(const Bases& b, const char* after) {
    wine_test::Note note(std::string("memory after ") + after);
    if (b.video) CHECK(storm::RegionFree(b.video));
    if (b.audio) CHECK(storm::RegionFree(b.audio));
    if (g_previewCache) {
        CHECK(g_previewCache->video->block->base == nullptr);
        CHECK(g_previewCache->audio->block->base == nullptr);
    }
}

// Visible dialogs and message boxes of this thread.
int OpenDialogs() {
    int count = 0;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM n) -> BOOL {
            char name[16] = {};
            GetClassNameA(hwnd, name, sizeof name);
            if (std::strcmp(name, "#32770") == 0 && IsWindowVisible(hwnd)) ++*reinterpret_cast<int*>(n);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

bool Editing() { return g_host->Services()->IsEditing(g_host->Edit()) == 1; }

// Everything that must hold between any two messages.
void CheckInvariants() {
    CHECK_EQ(g_host->NonZeroHookResults(), 0);
    CHECK_EQ(g_host->UnexpectedDialogs(), 0);
    CHECK(IsWindow(g_host->Window()));
    CHECK_EQ(g_previewCache == nullptr, g_previewPlayer == nullptr);
    CHECK_EQ(g_settings.viewSize, g_model.viewSize);
    CHECK_EQ(g_settings.playMode, g_model.playMode);
    CHECK_EQ(g_settings.playSelect != 0, g_model.playSelect != 0);
    CHECK_EQ(g_settings.playLoop != 0, g_model.playLoop != 0);
    CHECK_EQ(g_settings.quality, g_model.quality);
    if (g_dialogsOpen == 0) CHECK_EQ(g_settings.useMemory, g_model.useMemory);
    const PreviewCache* cache = g_previewCache;
    if (!cache) return;
    storm::CheckStores(*cache);
    if (const PreviewPlayer* player = g_previewPlayer) {
        CHECK(player->window == g_host->Window());
        CHECK(player->cache == cache);
        CHECK(player->settings == &g_settings);
    }
}

// Nothing loads: no thread, or (when the load ended by itself just before a
// stop, which then stopped the playback instead) one that has ended or is
// about to, its completion still on its way.
void CheckQuiet(const char* after) {
    wine_test::Note note(std::string("after ") + after);
    if (g_previewCache) {
        CHECK(!g_previewCache->loading.load());
        if (void* thread = g_previewCache->loaderThread)
            CHECK_EQ(WaitForSingleObject(static_cast<HANDLE>(thread), INFINITE), WAIT_OBJECT_0);
    }
    if (g_previewPlayer) CHECK_EQ(g_previewPlayer->playing, 0);
}

// The last save must be the six keys with the model's values, and the store must hold them.
void CheckLastSave(const char* after) {
    wine_test::Note note(std::string("settings saved at ") + after);
    const auto saves = g_host->SettingSaves();
    CHECK(saves.size() >= 6);
    if (saves.size() < 6) return;
    for (int i = 0; i < 6; ++i) {
        const standin::SettingWrite& w = saves[saves.size() - 6 + static_cast<size_t>(i)];
        wine_test::Note key(kKeys[i]);
        CHECK_EQ(w.key, std::string(kKeys[i]));
        CHECK_EQ(w.value, ModelValue(i));
        CHECK_EQ(g_host->Setting(kKeys[i]).value_or(-12345), w.value);
    }
}

// What LoadSettings should make of the store.
void ModelFromStore() {
    auto stored = [](const char* key, int fallback) { return g_host->Setting(key).value_or(fallback); };
    g_model.viewSize = stored(setting_keys::kViewSize, 7);
    g_model.playMode = stored(setting_keys::kPlayMode, 0);
    g_model.playSelect = stored(setting_keys::kPlaySelect, 0) != 0;
    g_model.playLoop = stored(setting_keys::kPlayLoop, 0) != 0;
    const int quality = stored(setting_keys::kPreviewQuality, 100);
    g_model.quality = quality < 0 ? 0 : quality > 100 ? 100 : quality;
    g_model.useMemory = stored(setting_keys::kUseMemory, 4);
}

void SendInitChecked() {
    g_host->SendInit();
    ModelFromStore();
    CHECK(g_previewCache != nullptr);
    if (!g_previewCache) return;
    CHECK_EQ(g_previewCache->memoryLimit, static_cast<uint32_t>(g_model.useMemory) << 20);
    CHECK_EQ(g_previewCache->qualityScale, g_model.quality / 100.0);
    CHECK(!g_previewCache->playable);
}

void SendExitChecked() {
    const Bases before = CurrentBases();
    g_host->SendExit();
    CHECK(g_previewCache == nullptr);
    CHECK(g_previewPlayer == nullptr);
    CheckGivenBack(before, "exit");
    CheckLastSave("exit");
}

void PostToDriver(const Action& x) {
    const int id = g_nextPosted++;
    g_posted[id] = x;
    PostMessageA(g_driver, WM_APP, static_cast<WPARAM>(id), 0);
}

void Execute(const Action& x);

void ApplyGroupA(int id) {
    switch (id) {
    case CMD_PLAY_SELECTION: g_model.playSelect = !g_model.playSelect; break;
    case CMD_LOOP: g_model.playLoop = !g_model.playLoop; break;
    case 120: case 121: case 122: g_model.playMode = id - 120; break;
    case 130: g_model.quality = 100; break;
    case 131: g_model.quality = 50; break;
    case 132: g_model.quality = 25; break;
    default:
        if (id >= 200 && id <= 207) g_model.viewSize = id - 200;
        break;
    }
}

void RunCommand(int id, bool button) {
    const bool groupB = id == CMD_PLAY || id == CMD_STOP || id == CMD_LOAD || id == CMD_RELEASE || id >= BTN_PLAY;
    const bool acts = groupB && Editing() && g_previewCache;
    const bool wasLoading = g_previewCache && g_previewCache->loading.load();
    const Bases before = CurrentBases();
    if (button) {
        CHECK(g_host->ClickButton(id));
    } else {
        g_host->SendCommand(id);
    }
    ApplyGroupA(id);
    if (id >= 130 && id <= 132 && g_previewCache) CHECK_EQ(g_previewCache->qualityScale, g_model.quality / 100.0);
    if (!acts || !g_previewCache) return;
    if (id == CMD_STOP || id == BTN_STOP) {
        if (wasLoading) CheckQuiet("a stop of a load");  // joined, unless the load ended first
        else CHECK_EQ(g_previewPlayer->playing, 0);
    }
    if (id == CMD_RELEASE) {
        CheckQuiet("release");
        CHECK(g_previewCache->loaderThread == nullptr);
        CheckGivenBack(before, "release");
        CHECK(!g_previewCache->playable);
    }
}

void RunPlay(const Action& x) {
    // The actions meant for this playback wait for their turns; whatever the
    // playback does not reach runs right after it.
    std::vector<Action> pending = x.inner;
    std::stable_sort(pending.begin(), pending.end(), [](const Action& l, const Action& r) { return l.turn < r.turn; });
    g_duringPlay.insert(g_duringPlay.end(), pending.begin(), pending.end());
    const int turnsBefore = g_allTurns;
    ++g_playState[!g_previewCache                     ? "no plug-in"
                  : !Editing()                         ? "no project"
                  : g_previewCache->loading.load()     ? "during a load"
                  : !g_previewCache->playable          ? "nothing to play"
                                                       : "playable"];
    RunCommand(x.a ? BTN_PLAY : CMD_PLAY, x.a != 0);
    if (g_allTurns != turnsBefore) ++g_playsThatRan;
    if (g_depth == 1) {
        g_host->Pump();  // those posted but not yet run
        std::vector<Action> left;
        left.swap(g_duringPlay);
        for (const Action& y : left) Execute(y);
    }
}

void RunLoad(const Action& x) {
    const bool fresh = g_previewCache && !g_previewCache->loading.load() && Editing();
    const bool playableBefore = g_previewCache && g_previewCache->playable;
    RunCommand(x.a ? BTN_READ : CMD_LOAD, x.a != 0);
    if (g_previewCache && g_previewCache->loading.load() && g_previewCache->frameCount > 0) ++g_loadsWithFrames;
    if (x.b == 0 || !g_previewCache) return;
    const int target = x.c;
    auto reached = [&] {
        const PreviewCache* c = g_previewCache;
        if (!c || !c->loading.load()) return true;
        return x.b == 2 && c->loadedCount.load() >= static_cast<uint32_t>(target);
    };
    CHECK(g_host->PumpUntil(reached, standin::kDefaultWaitMs, "the load to reach its point"));
    // A load started here and waited for at the top, with nothing else
    // happening meanwhile, brings its whole run, every slot the host's frame.
    if (fresh && x.b == 1 && g_depth == 1 && g_previewCache) {
        CHECK(g_host->PumpUntil(
            [] { return !g_previewCache->loaderThread; }, standin::kDefaultWaitMs, "the load's completion"));
        const PreviewCache& cache = *g_previewCache;
        CHECK_EQ(cache.loadedCount.load(), cache.frameCount);
        CHECK_EQ(cache.playable != 0, cache.frameCount > 0 || playableBefore);
        CHECK_EQ(storm::RunMismatch(cache, g_host->GetProject()), std::string());
        ++g_verifiedRuns;
    }
}

void RunSettings(const Action& x) {
    const int before = g_settings.useMemory;
    const uint32_t limitBefore = g_previewCache ? g_previewCache->memoryLimit : 0;
    const size_t dialogsBefore = g_host->Dialogs().size();
    const std::vector<Action> inner = x.inner;
    const int choice = x.a;
    const std::string text = x.text;
    std::string shown;
    g_awaitingAnswer = true;
    g_host->OnDialog([&, inner, choice, text](standin::Dialog& d) {
        Answered();
        shown = d.ItemText(IDC_MEMORY_EDIT);
        for (const Action& y : inner) PostToDriver(y);
        if (choice == 1) {
            d.SetItemText(IDC_MEMORY_EDIT, text);
            d.Press(IDOK);
        } else if (choice == 0) {
            d.Press(IDCANCEL);
        } else {
            PostMessageA(d.Handle(), WM_CLOSE, 0, 0);
        }
    });
    ++g_dialogsOpen;  // the memory setting changes at OK, inside the dialog; the model after it
    g_host->SendCommand(CMD_SETTINGS);
    --g_dialogsOpen;
    CHECK(g_host->Dialogs().size() > dialogsBefore);
    CHECK_EQ(g_host->PendingDialogActions(), 0);
    CHECK_EQ(shown, std::to_string(before));
    if (choice == 1) {
        g_model.useMemory = x.b;
        if (g_previewCache && x.inner.empty()) {
            if (x.b != before && g_host->Services()->IsEditing(g_host->Edit()) != 0)
                CHECK_EQ(g_previewCache->memoryLimit, static_cast<uint32_t>(x.b) << 20);
            else
                CHECK_EQ(g_previewCache->memoryLimit, limitBefore);
        }
    }
    // The settings dialogs that waited for this one.
    for (; !g_afterSettings.empty(); g_afterSettings.pop_front()) PostToDriver(g_afterSettings.front());
    if (g_depth == 1) g_host->Pump();  // at the top, before the next action
}

void RunInformation(const Action& x) {
    const std::vector<Action> inner = x.inner;
    bool seen = false;
    g_awaitingAnswer = true;
    g_host->OnDialog([&seen, inner](standin::Dialog& d) {
        Answered();
        seen = true;
        for (const Action& y : inner) PostToDriver(y);
        d.Press(IDOK);
    });
    g_host->SendCommand(CMD_INFORMATION);
    CHECK(seen);
    CHECK_EQ(g_host->PendingDialogActions(), 0);
}

void RunKey(const Action& x) {
    PreviewCache* cache = g_previewCache;
    PreviewPlayer* player = g_previewPlayer;
    // Predictable only with no loader thread at all, which could end the load meanwhile.
    const bool predictable = cache && player && !cache->loaderThread && g_depth == 1;
    int expected = player ? player->currentFrame : 0;
    if (predictable && !cache->loading.load() && cache->playable) {
        const int64_t first = cache->firstFrame;
        const int64_t end = first + cache->loadedCount.load();
        for (int i = 0; i < x.b; ++i) {
            const int64_t target = x.a == VK_LEFT ? expected - 1 : x.a == VK_RIGHT ? expected + 1 : -1;
            if (first >= 0 && target >= first && target < end && (x.a == VK_LEFT || x.a == VK_RIGHT))
                expected = static_cast<int>(target);
        }
    }
    for (int i = 0; i < x.b; ++i) {
        if (x.c) g_host->Send(WM_KEYDOWN, static_cast<WPARAM>(x.a), 0x40000001);
        else g_host->SendKey(x.a);
    }
    if (predictable && g_previewPlayer == player) CHECK_EQ(player->currentFrame, expected);
}

void Execute(const Action& x) {
    // One unanswered dialog at a time, so that the host's answers, given in
    // the order dialogs appear, reach the dialogs they were meant for. A
    // dialog asked for while another waits for its answer is posted once that
    // answer is given (posted, not re-posted at once: a queue never empty
    // would hold back the timer that answers).
    if ((x.kind == Kind::Settings || x.kind == Kind::Information) && g_awaitingAnswer) {
        g_laterDialogs.push_back(x);
        return;
    }
    // And one settings dialog at a time: its OK sets the memory setting when
    // the dialog handles it, which the model can only follow in that order.
    if (x.kind == Kind::Settings && g_dialogsOpen) {
        g_afterSettings.push_back(x);
        return;
    }
    ++g_depth;
    wine_test::Note note(Where() + ": " + Describe(x));
    Remember(Describe(x));
    if (g_depth == 1) {
        g_turns = 0;
        if (g_watchdog) g_watchdog->SetWhat("storm seed " + std::to_string(g_seed) + " step " + std::to_string(g_step) +
                                            ": " + Describe(x));
    }
    switch (x.kind) {
    case Kind::Command:
        if (x.a == CMD_PLAY) {
            Action play = x;
            play.kind = Kind::Play;
            RunPlay(play);
        } else {
            RunCommand(x.a, false);
        }
        break;
    case Kind::Button:
        if (x.a == BTN_PLAY) {
            Action play = x;
            play.kind = Kind::Play;
            play.a = 1;
            RunPlay(play);
        } else {
            RunCommand(x.a, true);
        }
        break;
    case Kind::Key: RunKey(x); break;
    case Kind::Resize:
        SetWindowPos(g_host->Window(), nullptr, 0, 0, x.a, x.b, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    case Kind::Repaint:
        if (x.a == 0) {
            InvalidateRect(g_host->Window(), nullptr, TRUE);
            UpdateWindow(g_host->Window());
        } else if (x.a == 1) {
            g_host->Send(WM_PAINT);
        } else if (x.a == 2) {
            g_host->SendWindowChanged();
        } else {
            g_host->Show(false);
            g_host->Show(true);
        }
        break;
    case Kind::Settings: RunSettings(x); break;
    case Kind::Information: RunInformation(x); break;
    case Kind::Play: RunPlay(x); break;
    case Kind::Load: RunLoad(x); break;
    case Kind::Stop: RunCommand(x.a ? BTN_STOP : CMD_STOP, x.a != 0); break;
    case Kind::Release: RunCommand(CMD_RELEASE, false); break;
    case Kind::CloseProject:
    case Kind::ReplaceProject: {
        const Bases before = CurrentBases();
        g_host->CloseProject();
        if (g_previewCache) {
            CheckQuiet("file close");
            CHECK(g_previewCache->loaderThread == nullptr);
            CheckGivenBack(before, "file close");
            CHECK(!g_previewCache->playable);
        }
        CheckLastSave("file close");
        if (x.kind == Kind::ReplaceProject) g_host->OpenProject(x.project);
        break;
    }
    case Kind::OpenProject:
        // The editor opens a project only when none is open.
        if (!g_host->GetProject().open) g_host->OpenProject(x.project);
        break;
    case Kind::Cursor: g_host->SetCursor(x.a); break;
    case Kind::Selection:
        if (x.c) g_host->SetSelection(x.a, x.b);
        else g_host->ClearSelection();
        break;
    case Kind::Editing: g_host->UpdateProject([&](Project& p) { p.editingValue = x.a; }); break;
    case Kind::FrameCount: g_host->UpdateProject([&](Project& p) { p.frameCount = x.a; }); break;
    case Kind::RenderCost: g_host->UpdateProject([&](Project& p) { p.renderCostMs = x.a; }); break;
    case Kind::Exit:
        if (g_previewCache) SendExitChecked();
        break;
    case Kind::InitAgain:
        if (g_previewCache) {
            const Bases before = CurrentBases();
            SendInitChecked();
            CheckGivenBack(before, "a second init");
        }
        break;
    case Kind::Vanish:
        // A running load notices at its next frame; until it has, no project
        // is opened in its place (no host swaps a project under its own renderer).
        g_host->UpdateProject([](Project& p) { p.open = false; });
        CHECK(g_host->PumpUntil([] { return !g_previewCache || !g_previewCache->loading.load(); },
                                standin::kDefaultWaitMs, "the load to notice"));
        break;
    case Kind::Init:
        if (!g_previewCache) SendInitChecked();
        break;
    case Kind::ExitInit:
        if (g_previewCache) SendExitChecked();
        SendInitChecked();
        break;
    case Kind::PostBurst:
        for (const Action& y : x.inner) PostToDriver(y);
        g_host->Pump();
        break;
    case Kind::Pump: g_host->PumpFor(static_cast<unsigned>(x.a)); break;
    case Kind::SafetyStop:
        if (g_settings.playLoop) RunCommand(CMD_LOOP, false);
        RunCommand(CMD_STOP, false);
        break;
    }
    CheckInvariants();
    if (g_depth == 1) {
        // Between two top-level actions nothing plays, and no dialog is left open.
        if (g_previewPlayer) CHECK_EQ(g_previewPlayer->playing, 0);
        CHECK_EQ(OpenDialogs(), 0);
    }
    --g_depth;
}

LRESULT CALLBACK DriverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        auto it = g_posted.find(static_cast<int>(wParam));
        if (it != g_posted.end()) {
            const Action x = it->second;
            g_posted.erase(it);
            Execute(x);
        }
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND CreateDriver() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DriverProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TavelinStormDriver";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

// Each turn of any playback: post what is due; past the safety turn, end it.
void OnTurn(const PlaybackTurn&) {
    ++g_turns;
    ++g_allTurns;
    while (!g_duringPlay.empty() && g_duringPlay.front().turn <= g_turns) {
        PostToDriver(g_duringPlay.front());
        g_duringPlay.erase(g_duringPlay.begin());
    }
    if (g_turns >= kSafetyTurns && g_turns % 20 == 0) {
        Action stop;
        stop.kind = Kind::SafetyStop;
        PostToDriver(stop);
    }
}

double NowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

const char* KindName(Kind kind) {
    static const char* const names[] = {"command",    "button",     "key",          "resize",     "repaint",
                                        "settings",   "information", "play",        "load",       "stop",
                                        "release",    "close",      "open",         "replace",    "cursor",
                                        "selection",  "editing",    "frame count",  "render cost", "exit",
                                        "init",       "init again", "vanish",       "exit+init",   "post burst",
                                        "pump",       "safety stop"};
    static_assert(sizeof names / sizeof *names == static_cast<size_t>(Kind::SafetyStop) + 1, "a name for each kind");
    return names[static_cast<int>(kind)];
}

int CountChildren(HWND parent) {
    int n = 0;
    EnumChildWindows(
        parent, [](HWND, LPARAM count) -> BOOL { ++*reinterpret_cast<int*>(count); return TRUE; },
        reinterpret_cast<LPARAM>(&n));
    return n;
}

}  // namespace

WINE_TEST(Storm) {
    std::printf("  storm seed %u, %d actions\n", g_seed, g_actionCount);
    std::fflush(stdout);
    Rng rng{g_seed};
    Rng projectRng{g_seed ^ 0x5EEDu};
    StandinHost host(RandomProject(projectRng));
    g_host = &host;
    host.Attach(GetFilterTableRecord());
    REQUIRE(host.CreatePluginWindow());
    g_driver = CreateDriver();
    REQUIRE(g_driver != nullptr);
    unsigned seconds = 260;
    if (const char* env = std::getenv("WINE_TEST_WATCHDOG_SECONDS")) {
        const long value = std::strtol(env, nullptr, 10);
        if (value > 20) seconds = static_cast<unsigned>(value - 10);
    }
    standin::Watchdog watchdog(seconds, "storm seed " + std::to_string(g_seed));
    g_watchdog = &watchdog;
    g_playbackObserver = OnTurn;
    g_harnessFilter = SetUnhandledExceptionFilter(OnFault);

    const double start = NowMs();
    ++g_depth;
    SendInitChecked();
    --g_depth;
    int failedBefore = 0;
    for (g_step = 1; g_step <= g_actionCount; ++g_step) {
        const Project project = host.GetProject();
        g_view = View{project.open, project.editingValue, project.frameCount, g_previewCache != nullptr};
        const Action x = Draw(rng, 0);
        const double t0 = NowMs();
        Execute(x);
        auto& timing = g_timing[KindName(x.kind)];
        ++timing.first;
        timing.second += NowMs() - t0;
        const int failed = wine_test::Current().failedChecks;
        if (failed != failedBefore) {
            PrintTrail();
            break;
        }
        failedBefore = failed;
    }
    const double stormMs = NowMs() - start;

    // The end: let any load finish, exit, and look at what is left.
    ++g_depth;
    {
        wine_test::Note note(Where() + ": the end");
        host.UpdateProject([](Project& p) { p.renderCostMs = 0; });
        CHECK(host.PumpUntil([] { return !g_previewCache || (!g_previewCache->loading && !g_previewCache->loaderThread); },
                             standin::kDefaultWaitMs, "the last load to end"));
        // An exited plug-in changed its settings since its last save: init it
        // again (which reads the store back), so that the last exit saves.
        if (!g_previewCache) SendInitChecked();
        SendExitChecked();
        // A new init reads back exactly what was saved, and saves it unchanged.
        SendInitChecked();
        CheckInvariants();
        SendExitChecked();
        host.Pump();
        CheckInvariants();
    }
    --g_depth;
    g_playbackObserver = nullptr;
    SetUnhandledExceptionFilter(g_harnessFilter);
    g_watchdog = nullptr;

    std::printf("  %d actions in %.1f s, %d play-loop turns, %d child windows at the end\n", g_step - 1,
                stormMs / 1000.0, g_allTurns, CountChildren(host.Window()));
    std::printf("  %d plays ran, %d loads started with frames to load, %d whole runs checked slot by slot\n",
                g_playsThatRan, g_loadsWithFrames, g_verifiedRuns);
    std::printf("  play commands found:");
    for (const auto& [state, count] : g_playState) std::printf(" %s %d;", state.c_str(), count);
    std::printf("\n");
    std::printf("  %-22s %7s %10s %9s\n", "action", "count", "total ms", "mean ms");
    for (const auto& [name, t] : g_timing)
        std::printf("  %-22s %7d %10.1f %9.2f\n", name.c_str(), t.first, t.second, t.second / t.first);
    std::fflush(stdout);
    DestroyWindow(g_driver);
    g_driver = nullptr;
    g_host = nullptr;
}

int main(int argc, char** argv) {
    wine_test::UnmanagedWindows();
    if (const char* env = std::getenv("TAVELIN_STORM_SEED")) g_seed = static_cast<uint32_t>(std::strtoul(env, nullptr, 0));
    if (const char* env = std::getenv("TAVELIN_STORM_ACTIONS")) g_actionCount = std::atoi(env);
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            const std::string prefix = std::string(name) + "=";
            if (arg.compare(0, prefix.size(), prefix) == 0) return argv[i] + prefix.size();
            if (arg == name && i + 1 < argc) return argv[++i];
            return nullptr;
        };
        if (const char* v = value("--seed")) g_seed = static_cast<uint32_t>(std::strtoul(v, nullptr, 0));
        else if (const char* v2 = value("--actions")) g_actionCount = std::atoi(v2);
        else rest.push_back(argv[i]);
    }
    return wine_test::RunAll(static_cast<int>(rest.size()), rest.data());
}

