// The plug-in at work in the stand-in host: commands, keys, menu marks,
// settings, the dialog, the information box, view sizes, selections, and
// release, file close and exit while a load or a playback runs.
#include "cache/loader.h"
#include "cache/preview_cache.h"
#include "host/standin_host.h"
#include "playback/player.h"
#include "plugin/filter_table.h"
#include "plugin/resource_ids.h"
#include "plugin/settings.h"
#include "tests/wine/storm_support.h"
#include "tests/wine/wine_test.h"

#include <windows.h>

#include <string>

using standin::Project;
using standin::StandinHost;

namespace {

// A short project that loads in a moment: 80 x 60 at quality 100 is cached at
// 84 x 64, so the default 4 MiB hold 260 pictures.
Project SmallProject() {
    Project p;
    p.frameCount = 40;
    p.width = 80;
    p.height = 60;
    return p;
}

// The same, slow to render, so that a load is still running when a test acts.
Project SlowProject() {
    Project p = SmallProject();
    p.frameCount = 200;
    p.renderCostMs = 15;
    return p;
}

bool LoadFinished() { return g_previewCache && !g_previewCache->loading && !g_previewCache->loaderThread; }

bool LoadRun(StandinHost& host) {
    host.SendCommand(CMD_LOAD);
    return host.PumpUntil(LoadFinished, standin::kDefaultWaitMs, "the load to end") &&
           host.PumpUntilMessage(WM_LOAD_DONE);
}

bool Checked(HMENU menu, int id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0; }

// The marked item of a radio group, or 0 when none is.
int RadioMark(HMENU menu, int first, int last) {
    int marked = 0;
    for (int id = first; id <= last; ++id)
        if (Checked(menu, id)) marked = marked ? -1 : id;
    return marked;
}

// UTF-8 source text in the ANSI code page the plug-in's resources come out in.
std::string Ansi(const char* utf8) {
    wchar_t wide[512];
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 512);
    char out[1024];
    WideCharToMultiByte(CP_ACP, 0, wide, n, out, sizeof out, nullptr, nullptr);
    return out;
}

std::string InformationText(const char* video, const char* audio, int frames) {
    return Ansi((std::string("映像メモリ\t") + video + " MB\n音声メモリ\t" + audio + " MB\nプレビュー\t" +
                 std::to_string(frames) + " フレーム")
                    .c_str());
}

std::string ShowInformationBox(StandinHost& host) {
    std::string text;
    host.OnDialog([&](standin::Dialog& d) {
        text = d.Text();
        d.Press(IDOK);
    });
    host.SendCommand(CMD_INFORMATION);
    return text;
}

}  // namespace

WINE_TEST(EveryMessageReturnsZeroAndNothingHappensBeforeInit) {
    StandinHost host(SmallProject());
    host.Attach(GetFilterTableRecord());
    REQUIRE(host.CreatePluginWindow());
    // Before init: no cache, no player; commands, keys, paint and the loader's
    // messages do nothing.
    for (int id : {CMD_PLAY, CMD_STOP, CMD_LOAD, CMD_RELEASE, CMD_LOOP, 131, 121, 205}) host.SendCommand(id);
    host.SendKey(VK_RIGHT);
    host.Send(WM_LOAD_PROGRESS, 3, 0);
    host.Send(WM_LOAD_DONE, 0, 0);
    host.SendWindowChanged();
    host.Pump();
    CHECK(g_previewCache == nullptr);
    CHECK(g_previewPlayer == nullptr);
    host.SendInit();
    CHECK(LoadRun(host));
    host.SendCommand(CMD_PLAY);
    host.SendExit();
    host.Send(WM_LOAD_DONE, 0, 0);  // after exit too
    host.Pump();
    CHECK_EQ(host.NonZeroHookResults(), 0);
}

WINE_TEST(MenuMarksFollowTheSettingsAndTheCommands) {
    {
        StandinHost host(SmallProject());
        host.Attach(GetFilterTableRecord());
        REQUIRE(host.Start());
        HMENU menu = GetMenu(host.Window());
        REQUIRE(menu != nullptr);
        CHECK_EQ(RadioMark(menu, 200, 207), 207);
        CHECK_EQ(RadioMark(menu, 120, 122), 120);
        CHECK_EQ(RadioMark(menu, 130, 132), 130);
        CHECK(!Checked(menu, CMD_PLAY_SELECTION));
        CHECK(!Checked(menu, CMD_LOOP));

        host.SendCommand(CMD_LOOP);
        CHECK(Checked(menu, CMD_LOOP));
        CHECK_EQ(g_settings.playLoop, 1);
        host.SendCommand(CMD_LOOP);
        CHECK(!Checked(menu, CMD_LOOP));
        host.SendCommand(CMD_PLAY_SELECTION);
        CHECK(Checked(menu, CMD_PLAY_SELECTION));
        host.SendCommand(122);
        CHECK_EQ(RadioMark(menu, 120, 122), 122);
        CHECK_EQ(g_settings.playMode, 2);
        host.SendCommand(132);
        CHECK_EQ(RadioMark(menu, 130, 132), 132);
        CHECK_EQ(g_settings.quality, 25);
        CHECK_EQ(g_previewCache->qualityScale, 0.25);
        host.SendCommand(201);
        CHECK_EQ(RadioMark(menu, 200, 207), 201);
        // Settings commands work with no project open; they reach the store only at close or exit.
        host.CloseProject();
        host.ClearSettingLog();
        host.SendCommand(131);
        CHECK_EQ(RadioMark(menu, 130, 132), 131);
        CHECK(host.SettingSaves().empty());
    }
    StandinHost host(SmallProject());
    host.Attach(GetFilterTableRecord());
    host.SetSetting("PreviewQuality", 30);
    host.SetSetting("ViewSize", 3);
    host.SetSetting("PlayMode", 1);
    host.SetSetting("PlayLoop", 5);
    REQUIRE(host.Start());
    HMENU menu = GetMenu(host.Window());
    CHECK_EQ(RadioMark(menu, 130, 132), 0);
    CHECK_EQ(RadioMark(menu, 200, 207), 203);
    CHECK_EQ(RadioMark(menu, 120, 122), 121);
    CHECK(Checked(menu, CMD_LOOP));
}

WINE_TEST(SettingsLoadDefaultsAndSaveOnlyAtCloseAndExit) {
    StandinHost host(SmallProject());
    host.Attach(GetFilterTableRecord());
    host.SetSetting("PlaySelect", 2);
    REQUIRE(host.Start());
    CHECK_EQ(g_settings.viewSize, 7);
    CHECK_EQ(g_settings.playMode, 0);
    CHECK_EQ(g_settings.playSelect, 1);
    CHECK_EQ(g_settings.playLoop, 0);
    CHECK_EQ(g_settings.quality, 100);
    CHECK_EQ(g_settings.useMemory, 4);
    CHECK_EQ(g_previewCache->memoryLimit, 4u << 20);
    CHECK(LoadRun(host));
    host.SendCommand(CMD_PLAY);
    host.SendCommand(CMD_LOOP);
    CHECK(host.SettingSaves().empty());
    host.CloseProject();
    CHECK_EQ(host.SettingSaves().size(), 6u);
    CHECK_EQ(host.Setting("PlaySelect").value_or(-1), 1);
    CHECK_EQ(host.Setting("PlayLoop").value_or(-1), 1);
    host.ClearSettingLog();
    host.SendExit();
    CHECK_EQ(host.SettingSaves().size(), 6u);
}

WINE_TEST(TheGuardKeepsPlayStopLoadAndReleaseFromAClosedProject) {
    StandinHost host(SmallProject());
    host.Attach(GetFilterTableRecord());
    REQUIRE(host.Start());
    CHECK(LoadRun(host));
    host.UpdateProject([](Project& p) { p.editingValue = 2; });  // open, but not exactly 1
    const void* base = g_previewCache->video->block->base;
    for (int id : {CMD_RELEASE, CMD_LOAD, BTN_READ, CMD_PLAY, BTN_PLAY, CMD_STOP}) host.SendCommand(id);
    host.Pump();
    CHECK(g_previewCache->video->block->base == base);
    CHECK(!g_previewCache->loading);
    CHECK(g_previewCache->playable);
    host.SendCommand(CMD_LOOP);  // group A still works
    CHECK_EQ(g_settings.playLoop, 1);
}

WINE_TEST(ArrowKeysStepWithinTheRunOnly) {
    StandinHost host(SlowProject());
    host.Attach(GetFilterTableRecord());
    host.SetCursor(5);
    REQUIRE(host.Start());
    host.SendKey(VK_RIGHT);  // before any load
    CHECK_EQ(g_previewPlayer->currentFrame, 0);

    host.SendCommand(CMD_LOAD);
    CHECK(host.PumpUntil([] { return g_previewCache->loadedCount >= 3; }, standin::kDefaultWaitMs, "3 frames"));
    const int during = g_previewPlayer->currentFrame;
    host.SendKey(VK_RIGHT);  // during a load
    host.SendKey(VK_LEFT);
    CHECK_EQ(g_previewPlayer->currentFrame, during);
    host.SendCommand(CMD_STOP);  // stops the load
    CHECK(!g_previewCache->loading);
    CHECK(g_previewCache->playable);
    host.PumpUntilMessage(WM_LOAD_DONE);
    const int first = g_previewCache->firstFrame;
    const int last = first + static_cast<int>(g_previewCache->loadedCount) - 1;
    CHECK_EQ(first, 5);
    CHECK_EQ(g_previewPlayer->currentFrame, first);
    host.SendKey(VK_LEFT);  // at the first frame
    CHECK_EQ(g_previewPlayer->currentFrame, first);
    for (int i = 0; i < 1000; ++i) host.Send(WM_KEYDOWN, VK_RIGHT, 0x40000001);  // auto-repeat steps too
    CHECK_EQ(g_previewPlayer->currentFrame, last);
    host.SendKey(VK_LEFT);
    CHECK_EQ(g_previewPlayer->currentFrame, last - 1);
    host.SendKey(VK_UP);
    CHECK_EQ(g_previewPlayer->currentFrame, last - 1);
}

WINE_TEST(PlayDuringALoadStopsItThenPlaysWhatWasLoaded) {
    StandinHost host(SlowProject());
    host.Attach(GetFilterTableRecord());
    REQUIRE(host.Start());
    host.SendCommand(CMD_LOAD);
    CHECK(host.PumpUntil([] { return g_previewCache->loadedCount >= 4; }, standin::kDefaultWaitMs, "4 frames"));
    host.SendCommand(CMD_LOAD);  // a load during a load is ignored
    CHECK(g_previewCache->loading);
    host.ResetCounts();
    host.SendCommand(CMD_PLAY);  // returns when playback has ended
    CHECK(!g_previewCache->loading);
    CHECK(g_previewCache->loaderThread == nullptr);
    CHECK(g_previewCache->playable);
    CHECK(g_previewCache->loadedCount >= 4u);
    CHECK(g_previewCache->loadedCount < 200u);
    CHECK_EQ(g_previewPlayer->playing, 0);
    CHECK_EQ(g_previewPlayer->currentFrame, g_previewCache->firstFrame);
}

WINE_TEST(StopEndsAPlaybackFromInsideItsWait) {
    StandinHost host(SmallProject());
    host.Attach(GetFilterTableRecord());
    REQUIRE(host.Start());
    CHECK(LoadRun(host));
    host.SendCommand(CMD_LOOP);  // would play forever
    host.PostCommand(BTN_STOP);
    host.SendCommand(CMD_PLAY);
    CHECK_EQ(g_previewPlayer->playing, 0);
    CHECK_EQ(g_previewPlayer->currentFrame, g_previewCache->firstFrame);
    // Load stops a playback too, then starts.
    host.PostCommand(CMD_LOAD);
    host.SendCommand(CMD_PLAY);
    CHECK(host.PumpUntil(LoadFinished, standin::kDefaultWaitMs, "the load to end"));
}

WINE_TEST(TheSettingsDialog) {
    StandinHost host(SmallProject());
    host.Attach(GetFilterTableRecord());
    REQUIRE(host.Start());
    std::string shown;
    host.OnDialog([&](standin::Dialog& d) {
        shown = d.ItemText(IDC_MEMORY_EDIT);
        d.Press(IDCANCEL);
    });
    host.SendCommand(CMD_SETTINGS);
    CHECK_EQ(shown, std::string("4"));
    CHECK_EQ(g_settings.useMemory, 4);

    struct Case { const char* typed; int value; } cases[] = {{"", 0}, {"  12abc", 12}, {"64", 64}};
    for (const Case& c : cases) {
        wine_test::Note note(std::string("typed \"") + c.typed + "\"");
        host.OnDialog([&](standin::Dialog& d) {
            d.SetItemText(IDC_MEMORY_EDIT, c.typed);
            d.Press(IDOK);
        });
        host.SendCommand(CMD_SETTINGS);
        CHECK_EQ(g_settings.useMemory, c.value);
        CHECK_EQ(g_previewCache->memoryLimit, static_cast<uint32_t>(c.value) << 20);
    }
    // No project open: the setting changes, the cache's limit does not.
    host.CloseProject();
    host.OnDialog([&](standin::Dialog& d) {
        d.SetItemText(IDC_MEMORY_EDIT, "8");
        d.Press(IDOK);
    });
    host.SendCommand(CMD_SETTINGS);
    CHECK_EQ(g_settings.useMemory, 8);
    CHECK_EQ(g_previewCache->memoryLimit, 64u << 20);
    CHECK_EQ(host.UnexpectedDialogs(), 0);
}

WINE_TEST(TheInformationBox) {
    StandinHost host(SmallProject());
    host.Attach(GetFilterTableRecord());
    REQUIRE(host.Start());
    CHECK_EQ(ShowInformationBox(host), InformationText("0.00", "0.00", 0));
    const auto records = host.Dialogs();
    REQUIRE(!records.empty());
    CHECK_EQ(records.back().title, std::string("Tavelin"));

    CHECK(LoadRun(host));  // 4 MiB of pictures; 40 frames of 2 x 1470 samples
    const uint32_t audioSamples = g_previewCache->audio->block->size;
    char audio[32];
    snprintf(audio, sizeof audio, "%.2f", audioSamples * 2 / 1048576.0);
    CHECK_EQ(ShowInformationBox(host), InformationText("4.00", audio, 40));
    host.SendCommand(CMD_RELEASE);
    CHECK_EQ(ShowInformationBox(host), InformationText("0.00", "0.00", 40));

    g_previewCache->audio->Reserve(1000000);  // a block of 1000000 samples shows 1.91 MB
    CHECK_EQ(ShowInformationBox(host), InformationText("0.00", "1.91", 40));
}

WINE_TEST(ViewSizesResizeTheWindow) {
    // Large enough that no size asked for falls below the system's smallest window.
    Project project = SmallProject();
    project.width = 560;
    project.height = 420;
    project.frameCount = 10;
    StandinHost host(project);
    host.Attach(GetFilterTableRecord());
    REQUIRE(host.Start());
    struct Case { int id; int beforeW, beforeH; int afterW, afterH; } cases[] = {
        // before a load the host's frame size counts (560 x 420); after it the cached one (564 x 424)
        {200, 140, 105, 141, 106}, {201, 280, 210, 282, 212}, {202, 560, 420, 564, 424},
        {203, 1120, 840, 1128, 848}, {204, 640, 480, 640, 480}, {205, 320, 240, 320, 240},
        {206, 160, 120, 160, 120},
    };
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) CHECK(LoadRun(host));
        for (const Case& c : cases) {
            wine_test::Note note("command " + std::to_string(c.id) + (pass ? " after a load" : " before a load"));
            host.SendCommand(c.id);
            host.Pump();
            const SIZE size = host.ClientSize();
            CHECK_EQ(size.cx, pass ? c.afterW : c.beforeW);
            CHECK_EQ(size.cy, (pass ? c.afterH : c.beforeH) + 32);  // the video area and the band
        }
        // "WindowSize" leaves the window as it is.
        const SIZE before = host.ClientSize();
        host.SendCommand(207);
        host.Pump();
        CHECK_EQ(host.ClientSize().cx, before.cx);
        CHECK_EQ(host.ClientSize().cy, before.cy);
        CHECK_EQ(g_settings.viewSize, 7);
    }
}

WINE_TEST(ASelectionSetsTheRunWhenPlayingFromIt) {
    StandinHost host(SmallProject());
    host.Attach(GetFilterTableRecord());
    REQUIRE(host.Start());
    host.SetCursor(7);
    host.SetSelection(12, 20);
    CHECK(LoadRun(host));  // the flag is off: from the cursor, to the project's end
    CHECK_EQ(g_previewCache->firstFrame, 7);
    CHECK_EQ(g_previewCache->frameCount, 33u);
    host.SendCommand(CMD_PLAY_SELECTION);
    CHECK(LoadRun(host));
    CHECK_EQ(g_previewCache->firstFrame, 12);
    CHECK_EQ(g_previewCache->frameCount, 8u);
    CHECK_EQ(g_previewCache->loadedCount, 8u);
    host.ClearSelection();
    CHECK(LoadRun(host));  // the flag is on but there is no selection
    CHECK_EQ(g_previewCache->firstFrame, 7);
    CHECK_EQ(g_previewCache->frameCount, 33u);
}

WINE_TEST(ReleaseCloseAndExitDuringALoadGiveTheMemoryBack) {
    for (int way = 0; way < 3; ++way) {
        wine_test::Note note(way == 0 ? "release" : way == 1 ? "file close" : "exit");
        StandinHost host(SlowProject());
        host.Attach(GetFilterTableRecord());
        REQUIRE(host.Start());
        host.SendCommand(CMD_LOAD);
        CHECK(host.PumpUntil([] { return g_previewCache->loadedCount >= 2; }, standin::kDefaultWaitMs, "2 frames"));
        void* video = g_previewCache->video->block->base;
        void* audio = g_previewCache->audio->block->base;
        if (way == 0) host.SendCommand(CMD_RELEASE);
        if (way == 1) host.CloseProject();
        if (way == 2) host.SendExit();
        CHECK(storm::RegionFree(video));
        CHECK(storm::RegionFree(audio));
        if (way < 2) {
            CHECK(!g_previewCache->loading);
            CHECK(g_previewCache->loaderThread == nullptr);
            CHECK(!g_previewCache->playable);
            CHECK_EQ(g_previewCache->video->capacity, 0u);
        } else {
            CHECK(g_previewCache == nullptr);
        }
        host.PumpFor(100);  // the loader's last messages arrive and do no harm
    }
}

WINE_TEST(ReleaseCloseAndExitDuringAPlaybackStopItFirst) {
    for (int way = 0; way < 3; ++way) {
        wine_test::Note note(way == 0 ? "release" : way == 1 ? "file close" : "exit");
        StandinHost host(SmallProject());
        host.Attach(GetFilterTableRecord());
        REQUIRE(host.Start());
        CHECK(LoadRun(host));
        host.SendCommand(CMD_LOOP);  // only the message below can end it
        void* audio = g_previewCache->audio->block->base;
        if (way == 0) host.PostCommand(CMD_RELEASE);
        if (way == 1) host.Post(standin::kHostMsgFileClose);
        if (way == 2) host.Post(standin::kHostMsgExit);
        host.SendCommand(CMD_PLAY);  // the posted message arrives inside a wait
        CHECK(storm::RegionFree(audio));
        if (way < 2) {
            CHECK_EQ(g_previewPlayer->playing, 0);
            CHECK(!g_previewCache->playable);
        } else {
            CHECK(g_previewPlayer == nullptr);
            CHECK(g_previewCache == nullptr);
        }
        host.Pump();
    }
}

WINE_TEST(ExitInsideANestedPlaybackAndAFreshInitAfterIt) {
    StandinHost host(SmallProject());
    host.Attach(GetFilterTableRecord());
    REQUIRE(host.Start());
    CHECK(LoadRun(host));
    host.SendCommand(CMD_LOOP);
    host.PostCommand(CMD_PLAY);  // a second playback inside the first one's wait
    host.Post(standin::kHostMsgExit);  // then exit inside the inner one
    host.SendCommand(CMD_PLAY);
    CHECK(g_previewPlayer == nullptr);
    host.SendInit();
    REQUIRE(g_previewCache != nullptr);
    CHECK(LoadRun(host));
    CHECK(g_previewCache->playable);
}

// Black pixels of a button's icon inside its 24 x 24 square. (Wine's button
// sizes a one-bit icon from its missing colour bitmap and draws it off centre,
// so the test looks for the figure anywhere in the button, not at its middle.)
int IconPixels(const standin::Image& image, int left, int top) {
    int black = 0;
    for (int y = top; y < top + 24; ++y)
        for (int x = left; x < left + 24; ++x)
            if (image.At(x, y) == standin::Bgr{0, 0, 0}) ++black;
    return black;
}

WINE_TEST(TheButtonsStandInTheBandAndShowTheirIcons) {
    StandinHost host(SmallProject());
    host.Attach(GetFilterTableRecord());
    REQUIRE(host.Start());
    host.PumpFor(100);
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            host.SendCommand(204);  // a larger window: the buttons follow its bottom right corner
            host.PumpFor(200);
        }
        const SIZE client = host.ClientSize();
        const standin::Image image = host.CaptureClient();
        struct Case { int id; int left; } cases[] = {{BTN_READ, client.cx - 84}, {BTN_PLAY, client.cx - 56},
                                                     {BTN_STOP, client.cx - 28}};
        for (const Case& c : cases) {
            wine_test::Note note("button " + std::to_string(c.id) + (pass ? " after a resize" : ""));
            HWND button = GetDlgItem(host.Window(), c.id);
            REQUIRE(button != nullptr);
            RECT r;
            GetWindowRect(button, &r);
            MapWindowPoints(nullptr, host.Window(), reinterpret_cast<POINT*>(&r), 2);
            CHECK_EQ(r.left, c.left);
            CHECK_EQ(r.top, client.cy - 28);
            CHECK_EQ(r.right - r.left, 24);
            CHECK_EQ(r.bottom - r.top, 24);
            CHECK(SendMessageA(button, BM_GETIMAGE, IMAGE_ICON, 0) != 0);
            CHECK(IconPixels(image, r.left, r.top) > 0);
        }
    }
}

WINE_TEST(ASecondInitOnTheSameWindowKeepsOneSetOfButtons) {
    StandinHost host(SmallProject());
    host.Attach(GetFilterTableRecord());
    REQUIRE(host.Start());
    for (int i = 0; i < 3; ++i) {
        host.SendExit();
        host.SendInit();
    }
    host.SendInit();  // even without an exit between
    int children = 0;
    for (HWND child = GetWindow(host.Window(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) ++children;
    CHECK_EQ(children, 3);
    CHECK(GetMenu(host.Window()) != nullptr);
    CHECK(LoadRun(host));
}
