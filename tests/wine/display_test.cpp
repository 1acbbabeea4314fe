// The display in a real window: pictures, bar, clearing, title and a real
// playback, read back from the screen. The plug-in's code is linked in and
// driven through the stand-in host.
#include "tests/wine/wine_test.h"

#include "cache/preview_cache.h"
#include "host/standin_host.h"
#include "playback/display.h"
#include "playback/playback_observer.h"
#include "playback/player.h"
#include "playback/view_geometry.h"
#include "plugin/resource_ids.h"
#include "plugin/settings.h"

#include <windows.h>
#include <mmsystem.h>

#include <string>
#include <vector>

namespace {

using standin::Bgr;

constexpr int kFirst = 20;
constexpr int kRun = 10;
constexpr int kProjectFrames = 30;

standin::Project ShortProject() {
    standin::Project project;
    project.frameCount = kProjectFrames;  // from the cursor at 20, a run of 10 frames
    project.cursor = kFirst;
    project.width = 320;
    project.height = 240;
    return project;
}

Bgr Face() {
    const COLORREF c = GetSysColor(COLOR_BTNFACE);
    return Bgr{GetBValue(c), GetGValue(c), GetRValue(c)};
}

// Starts the host and loads the run; false if anything is missing.
bool StartLoaded(standin::StandinHost& host) {
    host.Attach(GetFilterTableRecord());
    if (!host.Start()) return false;
    host.SendCommand(CMD_VIEW_FIRST + 4);  // "640x480": a 640 x 512 client
    host.Pump();
    host.SendCommand(CMD_LOAD);
    if (!host.PumpUntil([] { return g_previewCache && !g_previewCache->loading && g_previewCache->playable; },
                        standin::kDefaultWaitMs, "the load"))
        return false;
    host.PumpFor(50);  // let the repaints after the resize and the load settle
    return g_previewCache->firstFrame == kFirst && g_previewCache->loadedCount == static_cast<uint32_t>(kRun);
}

WINE_TEST(ResizeAsksForTheViewsClientSize) {
    standin::StandinHost host(ShortProject());
    REQUIRE(StartLoaded(host));
    const SIZE client = host.ClientSize();
    CHECK_EQ(client.cx, 640L);
    CHECK_EQ(client.cy, 512L);
    // Fitting leaves the window as it is.
    host.SendCommand(CMD_VIEW_FIRST + kViewFit);
    host.Pump();
    CHECK_EQ(host.ClientSize().cx, 640L);
    CHECK_EQ(host.ClientSize().cy, 512L);
}

WINE_TEST(FramePixelsLandInTheViewRect) {
    standin::StandinHost host(ShortProject());
    REQUIRE(StartLoaded(host));
    PreviewPlayer* player = g_previewPlayer;
    const VideoMemory& video = *g_previewCache->video;
    const int frame = kFirst + 3;
    const Bgr face = Face();

    for (int view : {2, 1, 4, 6, kViewFit, 8}) {
        wine_test::Note note("view " + std::to_string(view));
        g_settings.viewSize = view;  // without a resize: the 640 x 512 client stays
        ClearView(*player);
        REQUIRE(ShowFrame(frame, player, host.Table(), host.Edit()));
        const ViewRect r = ComputeViewRect(*player);
        if (view == 2) {
            // At 100% the blit copies 1:1: every sampled pixel is the cached one
            // (rows stored bottom-up, so screen row y is stored row height - 1 - y).
            CHECK_EQ(r.width, video.width);
            CHECK_EQ(r.height, video.height);
            const unsigned char* image = video.FrameAt(frame - kFirst);
            for (int y = 0; y < r.height; y += 23)
                for (int x = 0; x < r.width; x += 29) {
                    const unsigned char* p = image + ((video.height - 1 - y) * video.width + x) * 3;
                    wine_test::Note at("x " + std::to_string(x) + " y " + std::to_string(y));
                    CHECK_EQ(host.ClientPixel(r.left + x, r.top + y), (Bgr{p[0], p[1], p[2]}));
                }
        }
        // Every pixel of a coded frame carries the frame in red: the rect's
        // inner corners are picture, the pixels just outside are not.
        const int right = r.left + r.width - 1;
        const int bottom = r.top + r.height - 1;
        const int visibleLeft = r.left < 0 ? 0 : r.left;
        const int visibleTop = r.top < 0 ? 0 : r.top;
        const int lastColumn = host.ClientSize().cx - 1;
        const int lastVideoRow = host.ClientSize().cy - kBandHeight - 1;
        const int visibleRight = right > lastColumn ? lastColumn : right;
        const int visibleBottom = bottom > lastVideoRow ? lastVideoRow : bottom;
        for (POINT p : {POINT{visibleLeft, visibleTop}, POINT{visibleRight, visibleTop}, POINT{visibleLeft, visibleBottom},
                        POINT{visibleRight, visibleBottom}}) {
            wine_test::Note at("inside at " + std::to_string(p.x) + "," + std::to_string(p.y));
            CHECK_EQ(static_cast<int>(host.ClientPixel(p.x, p.y).r), frame);
        }
        if (r.left > 0) CHECK_EQ(host.ClientPixel(r.left - 1, visibleTop), face);
        if (r.top > 0) CHECK_EQ(host.ClientPixel(visibleLeft, r.top - 1), face);
        if (right < lastColumn) CHECK_EQ(host.ClientPixel(right + 1, visibleBottom), face);
        if (bottom < lastVideoRow) CHECK_EQ(host.ClientPixel(visibleRight, bottom + 1), face);
    }
}

WINE_TEST(BarShowsTheCachedRangeAndTheFrame) {
    standin::StandinHost host(ShortProject());
    REQUIRE(StartLoaded(host));
    PreviewPlayer* player = g_previewPlayer;
    const SIZE client = host.ClientSize();
    const Bgr face = Face();
    const Bgr green{0, 255, 0};
    const Bgr red{0, 0, 255};

    for (int frame : {kFirst, kFirst + 7, kFirst + kRun - 1, 2}) {
        wine_test::Note note("frame " + std::to_string(frame));
        DrawPositionBar(*player, frame, kProjectFrames);
        const BarColumns c = ComputeBarColumns(kFirst, kRun, frame, kProjectFrames, client.cx);
        int mismatches = 0;
        for (int row = client.cy - 2; row < client.cy; ++row)
            for (int x = 0; x < client.cx; ++x) {
                const Bgr want = x == c.xp ? red : (x >= c.x1 && x <= c.x2 - 2) ? green : face;
                const Bgr got = host.ClientPixel(x, row);
                if (got != want && ++mismatches <= 5) {
                    wine_test::Note at("column " + std::to_string(x) + " row " + std::to_string(row));
                    CHECK_EQ(got, want);
                }
            }
        CHECK_EQ(mismatches, 0);
    }
}

WINE_TEST(ClearViewLeavesTheButtonRows) {
    standin::StandinHost host(ShortProject());
    REQUIRE(StartLoaded(host));
    PreviewPlayer* player = g_previewPlayer;
    const SIZE client = host.ClientSize();
    const int h = client.cy;
    REQUIRE(ShowFrame(kFirst, player, host.Table(), host.Edit()));
    DrawPositionBar(*player, kFirst, kProjectFrames);

    // Mark the band's button rows left of the buttons, then clear.
    const Bgr mark{255, 0, 255};
    HDC dc = GetDC(host.Window());
    HBRUSH brush = CreateSolidBrush(RGB(mark.r, mark.g, mark.b));
    RECT band{0, h - 32, 200, h - 2};
    FillRect(dc, &band, brush);
    DeleteObject(brush);
    ReleaseDC(host.Window(), dc);

    ClearView(*player);
    const Bgr face = Face();
    struct Probe {
        int x, y;
        bool cleared;
    };
    const Probe probes[] = {
        {0, 0, true},          {client.cx - 1, 0, true},   {320, h / 2, true},     {0, h - 33, true},
        {client.cx - 1, h - 33, true}, {0, h - 32, false}, {100, h - 20, false}, {199, h - 3, false},
        {0, h - 2, true},      {client.cx - 1, h - 1, true}, {kFirst, h - 1, true},
    };
    for (const Probe& p : probes) {
        wine_test::Note at("at " + std::to_string(p.x) + "," + std::to_string(p.y));
        CHECK_EQ(host.ClientPixel(p.x, p.y), p.cleared ? face : mark);
    }
}

WINE_TEST(TitleDuringAndAfterALoad) {
    standin::Project project = ShortProject();
    project.renderCostMs = 30;  // slow enough to see the load's progress
    standin::StandinHost host(project);
    host.Attach(GetFilterTableRecord());
    REQUIRE(host.Start());
    host.SendCommand(CMD_LOAD);
    // "Tavelin [00:00:00.70] [22/30] [2/10]": frame, count, then the progress.
    CHECK(host.PumpUntil([&] { return host.Title().find("] [", host.Title().find("] [") + 1) != std::string::npos; },
                         standin::kDefaultWaitMs, "a title with the load's progress"));
    const std::string during = host.Title();
    CHECK_NE(during.find("/10]"), std::string::npos);
    CHECK(host.PumpUntil([] { return g_previewCache && !g_previewCache->loading && g_previewCache->playable; },
                         standin::kDefaultWaitMs, "the load"));
    host.PumpUntilMessage(0x400);  // the completion shows the first frame
    host.Pump();
    CHECK_EQ(host.Title(), std::string("Tavelin [00:00:00.66] [21/30]"));
}

std::vector<PlaybackTurn>* g_turns = nullptr;
void RecordTurn(const PlaybackTurn& turn) { g_turns->push_back(turn); }

WINE_TEST(PlaybackEndsShowingTheFirstFrame) {
    standin::StandinHost host(ShortProject());
    REQUIRE(StartLoaded(host));
    std::vector<PlaybackTurn> turns;
    g_turns = &turns;
    g_playbackObserver = RecordTurn;
    const DWORD before = timeGetTime();
    host.SendCommand(CMD_PLAY);  // returns when playback has ended
    const DWORD length = timeGetTime() - before;
    g_playbackObserver = nullptr;
    g_turns = nullptr;

    PreviewPlayer* player = g_previewPlayer;
    CHECK_EQ(static_cast<int>(player->playing), 0);
    CHECK_EQ(player->currentFrame, kFirst);
    CHECK_EQ(host.Title(), std::string("Tavelin [00:00:00.66] [21/30]"));
    const ViewRect r = ComputeViewRect(*player);
    CHECK_EQ(static_cast<int>(host.ClientPixel(r.left + r.width / 2, r.top + r.height / 2).r), kFirst);

    // One turn per frame after the first; the last draws nothing and waits out its period.
    REQUIRE(turns.size() == static_cast<size_t>(kRun));
    int drawn = 0;
    for (size_t i = 0; i < turns.size(); ++i) {
        wine_test::Note note("turn " + std::to_string(i));
        CHECK_EQ(turns[i].frame, kFirst + 1 + static_cast<int>(i));
        if (turns[i].drew) ++drawn;
    }
    CHECK(!turns.back().drew);
    CHECK(drawn >= 1);
    // A pass lasts the run's ten periods at least (333 ms at 30 fps).
    CHECK(length >= 333);
    std::printf("  playback: %d of %d frames drawn, %lu ms for %d periods of 33.3 ms\n", drawn, kRun - 1,
                static_cast<unsigned long>(length), kRun);
}

}  // namespace
