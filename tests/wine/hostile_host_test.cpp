// A hostile host: a table of answers the plug-in must survive with the sound
// behaviour. Each row changes the host's project, its stored settings or what
// happens during a load or a playback; every row then goes through the same
// script: load, every slot checked against the host's frames, play (one pass,
// then a looping one that a stop ends), step, draw at every view size and in a
// window of no height, the information box and the settings dialog, release,
// exit. Guard pages sit behind every block and the temporary picture, so a
// write outside them ends the program.
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

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

using standin::Project;
using standin::StandinHost;

namespace {

// 12 frames of 80 x 60 at 60 fps: a pass lasts 0.2 s. Cached at 84 x 64.
Project BaseProject() {
    Project p;
    p.frameCount = 12;
    p.width = 80;
    p.height = 60;
    p.videoRate = 60;
    p.videoScale = 1;
    p.channels = 2;
    p.samplesPerFrame = 735;
    return p;
}

enum class During {
    Nothing,
    EditingDropsInLoad,    // IsEditing answers 0 from frame 4's render on
    ProjectClosesInLoad,   // the project closes, without a message, at frame 4's render
    EditingDropsInPlay,    // IsEditing answers 0 from the playback's third turn on
};

struct Row {
    const char* name;
    std::function<void(Project&)> project;
    std::map<std::string, int> settings;  // stored before the plug-in starts
    During during;
    int loaded;  // frames the load must bring; -1: whatever the system gives
    int width;   // cached picture size; 0: not checked
    int height;
};

void NoChange(Project&) {}

// --- The script ------------------------------------------------------------------------------

// The play loop's observer: counts the turns of the running playback and
// posts, at the turns set for it, the stop and the loop toggle.
int g_turns = 0;
int g_stopTurn = 0;
int g_loopOffTurn = 0;
bool g_dropInPlay = false;
StandinHost* g_host = nullptr;

void OnTurn(const PlaybackTurn&) {
    ++g_turns;
    if (g_dropInPlay && g_turns == 3) g_host->UpdateProject([](Project& p) { p.editingValue = 0; });
    if (g_turns == g_stopTurn) g_host->PostCommand(CMD_STOP);
    if (g_turns == g_loopOffTurn) g_host->PostCommand(CMD_LOOP);
}

bool LoadFinished() { return g_previewCache && !g_previewCache->loading && !g_previewCache->loaderThread; }

void CheckAll(StandinHost& host) {
    CHECK_EQ(host.NonZeroHookResults(), 0);
    CHECK_EQ(host.UnexpectedDialogs(), 0);
    CHECK(g_previewCache != nullptr);
    CHECK(g_previewPlayer != nullptr);
    if (g_previewCache) storm::CheckStores(*g_previewCache);
    if (g_previewPlayer) CHECK_EQ(g_previewPlayer->playing, 0);
}

// One pass with the loop off, which ends by itself. Then a looping playback
// that the stop ends. Where IsEditing drops to 0 during it, the guard keeps the
// stop from acting (it comes after the drop), and the loop toggle ends the pass.
void Play(StandinHost& host, bool dropInPlay) {
    const bool loopWas = g_settings.playLoop != 0;
    auto editing = [&] { return host.Services()->IsEditing(host.Edit()) == 1; };
    if (loopWas) host.SendCommand(CMD_LOOP);
    g_turns = 0;
    g_stopTurn = g_loopOffTurn = -1;
    g_dropInPlay = dropInPlay;
    const bool runs = editing() && g_previewCache->playable != 0;
    host.SendCommand(CMD_PLAY);
    CHECK_EQ(g_previewPlayer->playing, 0);
    CHECK_EQ(g_turns > 0, runs);

    if (dropInPlay) host.UpdateProject([](Project& p) { p.editingValue = 1; });
    host.SendCommand(CMD_LOOP);
    g_turns = 0;
    g_stopTurn = dropInPlay ? 4 : 1;
    g_loopOffTurn = dropInPlay ? 6 : 1000;  // far off: reached only if the stop failed
    host.SendCommand(CMD_PLAY);
    host.Pump();
    CHECK_EQ(g_previewPlayer->playing, 0);
    CHECK(g_turns < 1000);
    g_stopTurn = g_loopOffTurn = -1;
    g_dropInPlay = false;
    if ((g_settings.playLoop != 0) != loopWas) host.SendCommand(CMD_LOOP);
}

void Step(StandinHost& host) {
    const PreviewCache& cache = *g_previewCache;
    const int first = cache.firstFrame;
    const int loaded = static_cast<int>(cache.loadedCount.load());
    const bool playable = cache.playable != 0;
    const int start = g_previewPlayer->currentFrame;
    for (int i = 0; i < loaded + 2; ++i) host.SendKey(VK_RIGHT);
    if (playable && loaded > 0) {
        CHECK_EQ(g_previewPlayer->currentFrame, first + loaded - 1);
        for (int i = 0; i < loaded + 2; ++i) host.Send(WM_KEYDOWN, VK_LEFT, 0x40000001);
        CHECK_EQ(g_previewPlayer->currentFrame, first);
    } else {
        CHECK_EQ(g_previewPlayer->currentFrame, start);
    }
}

void Draw(StandinHost& host) {
    HWND window = host.Window();
    for (int id = CMD_VIEW_FIRST; id <= CMD_VIEW_LAST; ++id) {
        host.SendCommand(id);
        InvalidateRect(window, nullptr, TRUE);
        UpdateWindow(window);
    }
    RECT outer;
    GetWindowRect(window, &outer);
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, 0, SWP_NOMOVE | SWP_NOZORDER);  // no client height
    host.Send(WM_PAINT);
    host.SendWindowChanged();
    SetWindowPos(window, nullptr, 0, 0, 700, 500, SWP_NOMOVE | SWP_NOZORDER);
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    host.Pump();
}

void Dialogs(StandinHost& host) {
    std::string information;
    host.OnDialog([&](standin::Dialog& d) {
        information = d.Text();
        d.Press(IDOK);
    });
    host.SendCommand(CMD_INFORMATION);
    CHECK(!information.empty());
    std::string shown;
    host.OnDialog([&](standin::Dialog& d) {
        shown = d.ItemText(IDC_MEMORY_EDIT);
        d.Press(IDCANCEL);
    });
    host.SendCommand(CMD_SETTINGS);
    CHECK_EQ(shown, std::to_string(g_settings.useMemory));
    CHECK_EQ(host.PendingDialogActions(), 0);
}

// What LoadSettings makes of a stored value, as the exit saves it back. The
// view size is what the script's last view-size command (207) set.
int SavedBack(const std::string& key, int stored) {
    if (key == setting_keys::kViewSize) return 7;
    if (key == setting_keys::kPreviewQuality) return std::clamp(stored, 0, 100);
    if (key == setting_keys::kPlaySelect || key == setting_keys::kPlayLoop) return stored != 0;
    return stored;
}

void RunRow(const Row& row) {
    Project project = BaseProject();
    row.project(project);
    StandinHost host(project);
    g_host = &host;
    host.Attach(GetFilterTableRecord());
    for (const auto& [key, value] : row.settings) host.SetSetting(key, value);
    if (row.during == During::EditingDropsInLoad || row.during == During::ProjectClosesInLoad) {
        const During during = row.during;
        host.SetRenderHook([&host, during](int frame) {
            if (frame != 4) return;
            host.UpdateProject([during](Project& p) {
                if (during == During::EditingDropsInLoad) p.editingValue = 0;
                else p.open = false;
            });
        });
    }
    REQUIRE(host.Start());
    CheckAll(host);
    Draw(host);  // before any load: the view sizes ask the host for its frame's size
    CheckAll(host);

    // Load.
    host.SendCommand(CMD_LOAD);
    CHECK(host.PumpUntil(LoadFinished, standin::kDefaultWaitMs, "the load to end"));
    CHECK(host.PumpUntilMessage(WM_LOAD_DONE));
    host.Pump();
    REQUIRE(g_previewCache != nullptr);
    const PreviewCache& cache = *g_previewCache;
    std::printf("    %u frames loaded at %d x %d\n", cache.loadedCount.load(), cache.video->width, cache.video->height);
    if (row.loaded >= 0) CHECK_EQ(cache.loadedCount.load(), static_cast<uint32_t>(row.loaded));
    CHECK_EQ(cache.playable != 0, cache.loadedCount.load() > 0);
    if (row.width) {
        CHECK_EQ(cache.video->width, row.width);
        CHECK_EQ(cache.video->height, row.height);
    }
    // Every slot the load reported, against the host's frame.
    CHECK_EQ(storm::RunMismatch(cache, host.GetProject(), row.during == During::ProjectClosesInLoad), std::string());
    CheckAll(host);

    Play(host, row.during == During::EditingDropsInPlay);
    CheckAll(host);
    Step(host);
    Draw(host);
    CheckAll(host);
    Dialogs(host);
    CheckAll(host);

    // Back to a project that answers, then release and exit.
    host.UpdateProject([](Project& p) {
        p.open = true;
        p.editingValue = 1;
    });
    void* const video = cache.video->block->base;
    void* const audio = cache.audio->block->base;
    host.SendCommand(CMD_RELEASE);
    if (video) CHECK(storm::RegionFree(video));
    if (audio) CHECK(storm::RegionFree(audio));
    CHECK(!cache.playable);
    CheckAll(host);
    host.SendExit();
    CHECK(g_previewCache == nullptr);
    CHECK(g_previewPlayer == nullptr);
    // Nothing lost: the store gets back what it held, as the plug-in reads it.
    for (const auto& [key, value] : row.settings) {
        wine_test::Note note("setting " + key);
        CHECK_EQ(host.Setting(key).value_or(-12345), SavedBack(key, value));
    }
    CHECK_EQ(host.NonZeroHookResults(), 0);
    g_host = nullptr;
}

const std::map<std::string, int> kNoSettings;

std::vector<Row> Rows() {
    using S = std::map<std::string, int>;
    const During none = During::Nothing;
    return {
        // Picture sizes.
        {"frame 0 is 0 x 0", [](Project& p) { p.sizeOverride[0] = {0, 0}; }, kNoSettings, none, 12, 4, 4},
        {"every frame is 0 x 0", [](Project& p) { p.width = p.height = 0; }, kNoSettings, none, 12, 4, 4},
        {"a frame in the run is 0 x 0", [](Project& p) { p.sizeOverride[5] = {0, 0}; }, kNoSettings, none, 12, 84, 64},
        {"frame 0 has a negative width", [](Project& p) { p.sizeOverride[0] = {-80, 60}; }, kNoSettings, none, 0, 0, 0},
        {"frame 0 has a negative height", [](Project& p) { p.sizeOverride[0] = {80, -1}; }, kNoSettings, none, 0, 0, 0},
        {"a frame in the run has a negative size", [](Project& p) { p.sizeOverride[4] = {-1, -1}; }, kNoSettings, none,
         12, 84, 64},
        {"every frame is 1 x 1", [](Project& p) { p.width = p.height = 1; }, kNoSettings, none, 12, 4, 4},
        {"a frame larger than the first", [](Project& p) { p.sizeOverride[6] = {200, 150}; }, kNoSettings, none, 12,
         84, 64},
        {"a frame of exactly the cached size goes straight into its slot",
         [](Project& p) { p.sizeOverride[5] = {84, 64}; }, kNoSettings, none, 12, 84, 64},
        {"a frame of the cached width but another height", [](Project& p) { p.sizeOverride[5] = {84, 10}; },
         kNoSettings, none, 12, 84, 64},
        {"quality 99: every frame straight into its slot",
         [](Project& p) {
             p.width = 320;
             p.height = 240;
             p.frameCount = 4;
             p.sizeOverride[2] = {400, 300};
         },
         S{{"PreviewQuality", 99}}, none, 4, 320, 240},
        {"a frame wider and lower than the first", [](Project& p) { p.sizeOverride[7] = {1000, 3}; }, kNoSettings, none,
         12, 84, 64},
        {"the run's first frame is smaller than the rest",
         [](Project& p) {
             p.cursor = 2;
             p.sizeOverride[2] = {8, 6};
         },
         kNoSettings, none, 10, 84, 64},
        {"the run's first frame is 0 x 0, the rest are not",
         [](Project& p) {
             p.cursor = 3;
             p.sizeOverride[3] = {0, 0};
         },
         kNoSettings, none, 9, 84, 64},
        // Samples and channels.
        {"more samples than frame 0", [](Project& p) { p.samplesOverride[3] = 3000; }, kNoSettings, none, 12, 84, 64},
        {"fewer samples than frame 0", [](Project& p) { p.samplesOverride[3] = 100; }, kNoSettings, none, 12, 84, 64},
        {"a frame reports a negative sample count", [](Project& p) { p.samplesOverride[3] = -5; }, kNoSettings, none,
         12, 84, 64},
        {"frame 0 has fewer samples than the rest", [](Project& p) { p.samplesOverride[0] = 100; }, kNoSettings, none,
         12, 84, 64},
        {"the last frame has many more samples", [](Project& p) { p.samplesOverride[11] = 100000; }, kNoSettings,
         none, 12, 84, 64},
        // 1 MiB holds 4 pictures of 324 x 244: the run fills both blocks to their
        // last whole slot, so more samples in the last frame would pass the block's end.
        {"the last frame of full blocks has more samples",
         [](Project& p) {
             p.width = 320;
             p.height = 240;
             p.frameCount = 4;
             p.samplesOverride[3] = 800;
         },
         S{{"UseMemory", 1}}, none, 4, 324, 244},
        // A run needs sound to be sized: without it nothing loads.
        {"frame 0 has no samples", [](Project& p) { p.samplesOverride[0] = 0; }, kNoSettings, none, 0, 84, 64},
        {"no audio channels", [](Project& p) { p.channels = 0; }, kNoSettings, none, 0, 84, 64},
        {"8 audio channels", [](Project& p) { p.channels = 8; }, kNoSettings, none, 12, 84, 64},
        // Rates.
        {"a video rate of 0", [](Project& p) { p.videoRate = 0; }, kNoSettings, none, 12, 84, 64},
        {"a video scale of 0", [](Project& p) { p.videoScale = 0; }, kNoSettings, none, 12, 84, 64},
        {"a video rate and scale of 0",
         [](Project& p) {
             p.videoRate = 0;
             p.videoScale = 0;
         },
         kNoSettings, none, 12, 84, 64},
        {"a negative video rate", [](Project& p) { p.videoRate = -60; }, kNoSettings, none, 12, 84, 64},
        {"a negative video scale", [](Project& p) { p.videoScale = -1; }, kNoSettings, none, 12, 84, 64},
        // Frame counts, cursor and selection.
        {"an open project with no frames", [](Project& p) { p.frameCount = 0; }, kNoSettings, none, 0, 0, 0},
        {"a cursor beyond the last frame", [](Project& p) { p.cursor = 40; }, kNoSettings, none, 0, 84, 64},
        {"a cursor on the last frame", [](Project& p) { p.cursor = 11; }, kNoSettings, none, 1, 84, 64},
        {"a negative cursor", [](Project& p) { p.cursor = -3; }, kNoSettings, none, 0, 84, 64},
        {"a selection beyond the last frame",
         [](Project& p) {
             p.hasSelection = true;
             p.selectionStart = 20;
             p.selectionEnd = 30;
         },
         S{{"PlaySelect", 1}}, none, 0, 84, 64},
        {"a selection running past the last frame",
         [](Project& p) {
             p.hasSelection = true;
             p.selectionStart = 9;
             p.selectionEnd = 30;
         },
         S{{"PlaySelect", 1}}, none, 3, 84, 64},
        // The count end - start wraps to "no limit": from the start to the project's end.
        {"a selection whose end is before its start",
         [](Project& p) {
             p.hasSelection = true;
             p.selectionStart = 8;
             p.selectionEnd = 3;
         },
         S{{"PlaySelect", 1}}, none, 4, 84, 64},
        {"a selection starting before frame 0",
         [](Project& p) {
             p.hasSelection = true;
             p.selectionStart = -2;
             p.selectionEnd = 5;
         },
         S{{"PlaySelect", 1}}, none, 0, 84, 64},
        {"an empty selection",
         [](Project& p) {
             p.hasSelection = true;
             p.selectionStart = 5;
             p.selectionEnd = 5;
         },
         S{{"PlaySelect", 1}}, none, 0, 84, 64},
        // Stored settings out of range.
        {"view size -1", NoChange, S{{"ViewSize", -1}}, none, 12, 84, 64},
        {"view size 99", NoChange, S{{"ViewSize", 99}}, none, 12, 84, 64},
        {"play mode 7", NoChange, S{{"PlayMode", 7}}, none, 12, 84, 64},
        {"play mode -1", NoChange, S{{"PlayMode", -1}}, none, 12, 84, 64},
        {"quality -5", NoChange, S{{"PreviewQuality", -5}}, none, 12, 4, 4},
        {"quality 1000", NoChange, S{{"PreviewQuality", 1000}}, none, 12, 84, 64},
        {"memory 0", NoChange, S{{"UseMemory", 0}}, none, 0, 84, 64},
        // 0xFFF00000 bytes: the system may give them (this is a 64-bit test) or not.
        {"memory -1", NoChange, S{{"UseMemory", -1}}, none, -1, 84, 64},
        {"memory 4096", NoChange, S{{"UseMemory", 4096}}, none, 0, 84, 64},
        {"every setting out of range at once", NoChange,
         S{{"ViewSize", 99}, {"PlayMode", 7}, {"PlaySelect", -4}, {"PlayLoop", 300}, {"PreviewQuality", 1000},
           {"UseMemory", 4096}},
         none, 0, 84, 64},
        // The project goes away under a load or a playback.
        {"IsEditing drops to 0 during a load", NoChange, kNoSettings, During::EditingDropsInLoad, 5, 84, 64},
        {"the project closes without a message during a load", NoChange, kNoSettings, During::ProjectClosesInLoad, 5,
         84, 64},
        {"IsEditing drops to 0 during a playback", NoChange, kNoSettings, During::EditingDropsInPlay, 12, 84, 64},
    };
}

}  // namespace

WINE_TEST(EveryHostileAnswerIsSurvived) {
    g_playbackObserver = OnTurn;
    for (const Row& row : Rows()) {
        wine_test::Note note(row.name);
        std::printf("  %s\n", row.name);
        std::fflush(stdout);
        try {
            RunRow(row);
        } catch (const wine_test::RequireFailed&) {
        }
    }
    g_playbackObserver = nullptr;
}

int main(int argc, char** argv) {
    wine_test::UnmanagedWindows();
    return wine_test::RunAll(argc, argv);
}
