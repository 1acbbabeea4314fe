// Real-time playback in a real window: how well the player keeps to its
// deadlines. Plays a 300-frame run at 60 fps cached at 640 x 360 and at 30 fps
// at 1280 x 720, in a 960 x 572 client at "WindowSize", and loops the 60 fps
// run for ten passes. Prints figures beside the goals; never fails on speed.
//
// Lateness of a drawn frame: from the moment it should appear (its turn's
// start, i.e. the previous deadline) to the clock reading taken just before
// it is drawn. The wait before it counts from after the previous drawing, so
// lateness is about that drawing's time (blit) plus how far the wait itself
// ran past its length (overshoot: Sleep(1) granularity and pumped messages).
#include "cache/preview_cache.h"
#include "host/standin_host.h"
#include "playback/playback_observer.h"
#include "playback/player.h"
#include "playback/view_geometry.h"
#include "plugin/resource_ids.h"
#include "plugin/settings.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Scenario {
    const char* name;
    int fps;
    int hostWidth, hostHeight;  // the cache adds 4 to each side: 640 x 360, 1280 x 720
    int samplesPerFrame;        // 48 kHz
    int memoryMiB;
};

constexpr int kFrames = 300;
constexpr int kClientWidth = 960;
constexpr int kClientHeight = 572;

std::vector<PlaybackTurn> g_turns;
int g_passesWanted = 0;
uint32_t g_lastPassStart = 0;
int g_passes = 0;

void Record(const PlaybackTurn& turn) {
    if (g_turns.empty() || turn.passStart != g_lastPassStart) {
        ++g_passes;
        g_lastPassStart = turn.passStart;
    }
    g_turns.push_back(turn);
    // The last turn of the wanted pass: stop, so playback ends after its wait.
    if (g_passesWanted > 0 && g_passes == g_passesWanted &&
        turn.frame == g_previewCache->firstFrame + static_cast<int32_t>(g_previewCache->loadedCount.load()))
        StopPlayback();
}

double Percentile(std::vector<uint32_t> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(p * (values.size() - 1) + 0.5);
    return values[index];
}

bool SetClientSize(standin::StandinHost& host, int width, int height) {
    RECT outer{}, inner{};
    GetWindowRect(host.Window(), &outer);
    GetClientRect(host.Window(), &inner);
    const int dx = (outer.right - outer.left) - inner.right;
    const int dy = (outer.bottom - outer.top) - inner.bottom;
    SetWindowPos(host.Window(), nullptr, 0, 0, width + dx, height + dy, SWP_NOMOVE | SWP_NOZORDER);
    host.PumpFor(100);
    const SIZE size = host.ClientSize();
    return size.cx == width && size.cy == height;
}

struct PassFigures {
    int drawn = 0, dropped = 0, empty = 0;
    std::vector<uint32_t> lateness, blit;
    std::vector<uint32_t> overshoot;  // the wait's own lateness: what the timer and the pump add
};

PassFigures Summarise(const std::vector<PlaybackTurn>& turns) {
    PassFigures f;
    const PlaybackTurn* previous = nullptr;
    for (const PlaybackTurn& t : turns) {
        // The previous turn waited its time left, counted from after its drawing.
        if (previous && !previous->late && t.passStart == previous->passStart)
            f.overshoot.push_back(t.began - (previous->drawn + (previous->deadline - previous->began)));
        previous = &t;
        if (t.late) {
            ++f.dropped;
        } else if (t.drew) {
            ++f.drawn;
            f.lateness.push_back(t.began - t.target);
            f.blit.push_back(t.drawn - t.began);
        } else {
            ++f.empty;  // the last turn of a pass draws nothing
        }
    }
    return f;
}

bool Run(const Scenario& s, bool loopToo) {
    standin::Project project;
    project.frameCount = kFrames;
    project.width = s.hostWidth;
    project.height = s.hostHeight;
    project.videoRate = s.fps;
    project.videoScale = 1;
    project.samplesPerFrame = s.samplesPerFrame;
    project.pattern = standin::Pattern::Demo;
    standin::StandinHost host(project);
    host.SetSetting(setting_keys::kUseMemory, s.memoryMiB);
    host.SetSetting(setting_keys::kViewSize, kViewFit);
    host.SetSetting(setting_keys::kPlayMode, 0);
    host.SetSetting(setting_keys::kPlayLoop, 0);
    host.Attach(GetFilterTableRecord());
    if (!host.Start()) {
        std::printf("%s: the host did not start: %s\n", s.name, host.Error().c_str());
        return false;
    }
    if (!SetClientSize(host, kClientWidth, kClientHeight)) {
        std::printf("%s: client is %ldx%ld, not %dx%d\n", s.name, host.ClientSize().cx, host.ClientSize().cy,
                    kClientWidth, kClientHeight);
        return false;
    }
    host.SendCommand(CMD_LOAD);
    if (!host.PumpUntil([] { return g_previewCache && !g_previewCache->loading && g_previewCache->playable; },
                        300000, "the load")) {
        return false;
    }
    host.PumpFor(100);
    const VideoMemory& video = *g_previewCache->video;
    if (g_previewCache->loadedCount != static_cast<uint32_t>(kFrames)) {
        std::printf("%s: loaded %u frames, not %d\n", s.name, g_previewCache->loadedCount.load(), kFrames);
        return false;
    }
    const double period = 1000.0 / s.fps;
    std::printf("\n%s: %d frames at %d fps (period %.2f ms), cached %dx%d, client %dx%d at WindowSize\n", s.name,
                kFrames, s.fps, period, video.width, video.height, kClientWidth, kClientHeight);

    g_playbackObserver = Record;
    g_turns.clear();
    g_passes = 0;
    g_passesWanted = 0;
    host.SendCommand(CMD_PLAY);
    const uint32_t end = timeGetTime();
    PassFigures f = Summarise(g_turns);
    const uint32_t length = end - g_turns.front().passStart;
    std::printf("  drawn %d, dropped %d (goal: none dropped); turns %zu\n", f.drawn, f.dropped, g_turns.size());
    std::printf("  lateness ms: median %.0f  p95 %.0f  max %.0f   (goal: p95 under 2 ms)\n",
                Percentile(f.lateness, 0.5), Percentile(f.lateness, 0.95), Percentile(f.lateness, 1.0));
    std::printf("  of which blit+bar+title ms: median %.0f  p95 %.0f  max %.0f\n", Percentile(f.blit, 0.5),
                Percentile(f.blit, 0.95), Percentile(f.blit, 1.0));
    std::printf("  and the wait's overshoot ms: median %.0f  p95 %.0f  max %.0f\n", Percentile(f.overshoot, 0.5),
                Percentile(f.overshoot, 0.95), Percentile(f.overshoot, 1.0));
    std::printf("  pass %u ms against %.1f ms for %d periods: %+.1f ms (goal: within %.1f ms; includes the closing "
                "frame)\n",
                length, kFrames * period, kFrames, length - kFrames * period, period);

    if (loopToo) {
        g_turns.clear();
        g_passes = 0;
        g_passesWanted = 10;
        g_settings.playLoop = 1;
        host.SendCommand(CMD_PLAY);
        const uint32_t loopEnd = timeGetTime();
        g_settings.playLoop = 0;
        f = Summarise(g_turns);
        std::string where;
        for (const PlaybackTurn& t : g_turns)
            if (t.late) where += " " + std::to_string(t.frame - g_previewCache->firstFrame - 1);
        if (!where.empty()) std::printf("  dropped at turns:%s\n", where.c_str());
        const uint32_t total = loopEnd - g_turns.front().passStart;
        const double rate = 10.0 * kFrames * 1000.0 / total;
        std::printf("  looped %d passes: %u ms, %.3f fps against %d (%+.3f%%; goal within 0.1%%)\n", g_passes, total,
                    rate, s.fps, (rate - s.fps) * 100.0 / s.fps);
        std::printf("  over the passes: drawn %d, dropped %d; lateness median %.0f p95 %.0f max %.0f ms\n", f.drawn,
                    f.dropped, Percentile(f.lateness, 0.5), Percentile(f.lateness, 0.95),
                    Percentile(f.lateness, 1.0));
    }
    g_playbackObserver = nullptr;
    return true;
}

}  // namespace

int main() {
    const Scenario scenarios[] = {
        {"60 fps, 640x360", 60, 636, 356, 800, 256},
        {"30 fps, 1280x720", 30, 1276, 716, 1600, 1024},
    };
    bool ok = Run(scenarios[0], true);
    ok = Run(scenarios[1], false) && ok;
    return ok ? 0 : 1;
}
