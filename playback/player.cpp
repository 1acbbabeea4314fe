#include "playback/player.h"

#include "playback/display.h"
#include "playback/platform.h"
#include "playback/playback_observer.h"
#include "playback/schedule.h"
#include "playback/title.h"
#include "plugin/host_services.h"

#include <cmath>

PreviewPlayer* g_previewPlayer = nullptr;
PlaybackObserver g_playbackObserver = nullptr;

bool IsPacedRate(double framesPerSecond) { return std::isfinite(framesPerSecond) && framesPerSecond > 0.0; }

uint32_t DeadlineOffset(uint32_t periods, double framesPerSecond) {
    const double offset = static_cast<double>(periods) * 1000.0 / framesPerSecond;
    if (!(offset < 9223372036854775808.0)) return static_cast<uint32_t>(INT64_MAX);
    if (offset <= -9223372036854775808.0) return 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(offset)));
}

namespace {

// The slot's pixels when the frame lies in the cache's current run, else null.
const unsigned char* CachedPixels(const PreviewCache& cache, int32_t frame) {
    const uint32_t first = static_cast<uint32_t>(cache.firstFrame);
    const uint32_t n = cache.loadedCount.load();
    const uint32_t f = static_cast<uint32_t>(frame);
    if (f < first || f >= first + n || !cache.video) return nullptr;
    return cache.video->FrameAt(f - first);
}

// Frame, bar, current frame, title: the order every shown frame follows.
void Present(PreviewPlayer* player, FilterTable* table, EditHandle edit, int32_t frame, const unsigned char* pixels) {
    const int32_t frameCount = Host(table).GetFrameCount(edit);
    DrawFrame(*player, pixels);
    DrawPositionBar(*player, frame, frameCount);
    player->currentFrame = frame;
    UpdateTitle(table, edit, *player, frame);
}

void StartPass(PreviewPlayer* player, bool showVideo, bool playAudio) {
    if (showVideo) ClearView(*player);
    if (playAudio) PlayWaveImage(player->cache->BuildWaveImage());  // replaces any sound still playing
}

}  // namespace

void WaitPumpingMessages(uint32_t milliseconds) {
    const uint32_t start = ClockNow();
    if (milliseconds == 0) return;
    for (;;) {
        if (!PumpOneMessage()) SleepOneTick();
        // Elapsed time modulo 2^32 is right across the clock's wrap.
        if (ClockNow() - start >= milliseconds) return;
    }
}

void StopPlayback() {
    if (g_previewPlayer) g_previewPlayer->playing = 0;
    PlayWaveImage(nullptr);
}

bool ShowFrame(int32_t frame, PreviewPlayer* player, FilterTable* table, EditHandle edit) {
    if (!player || !player->cache) return false;
    const unsigned char* pixels = CachedPixels(*player->cache, frame);
    if (!pixels) return false;
    Present(player, table, edit, frame, pixels);
    return true;
}

bool ShowCurrentFrame(FilterTable* table, EditHandle edit) {
    PreviewPlayer* player = g_previewPlayer;
    if (!player) return false;
    return ShowFrame(player->currentFrame, player, table, edit);
}

// Every message is handled inside the waits, so anything may change there:
// a stop or a nested play clears the playing flag, a release empties the
// stores, and the exit message frees the player and the cache and sets
// g_previewPlayer to null. After every wait the loop therefore re-reads
// g_previewPlayer and, if it is no longer the player this call started with,
// returns at once without touching the old records. The stores themselves
// are read afresh each turn (an emptied store yields no pixels and no sound
// image). Whoever frees the memory the sound player reads stops the sound
// first (StopPlayback).
bool RunPlayback(FilterTable* table, EditHandle edit) {
    uint32_t passStart = ClockNow();
    PreviewPlayer* const player = g_previewPlayer;
    if (!player || !player->cache) return false;
    const PreviewCache& cache = *player->cache;
    const int32_t first = cache.firstFrame;
    const int32_t end = static_cast<int32_t>(static_cast<uint32_t>(first) + cache.loadedCount.load());
    if (cache.loading.load() || !cache.playable) return false;

    player->playing = 1;
    SourceInfo info{};
    Host(table).GetSourceInfo(edit, &info);
    player->rate = FramesPerSecond(info.videoRate, info.videoScale);
    // Without a usable rate (0, negative, not finite) there are no deadlines:
    // each turn draws and then pumps the queue for 1 ms, so the window stays
    // responsive and a stop is seen at the next turn.
    const bool paced = IsPacedRate(player->rate);

    const int32_t mode = player->settings->playMode;
    const bool showVideo = mode == 0 || mode == 1;
    const bool playAudio = mode == 0 || mode == 2;

    int32_t counter = first;
    // A pass whose every turn was late never pumped the queue; at an absurd
    // rate a looping playback would then never see a stop.
    bool pumpedThisPass = true;
    while (player->playing) {
        if (counter >= end) {
            if (!player->settings->playLoop) break;
            if (!pumpedThisPass) {
                WaitPumpingMessages(1);
                if (g_previewPlayer != player) return true;
                if (!player->playing) break;
            }
            passStart = ClockNow();
            counter = first;
            pumpedThisPass = false;
            StartPass(player, showVideo, playAudio);
        } else if (counter == first) {
            pumpedThisPass = false;
            StartPass(player, showVideo, playAudio);
        }
        counter = static_cast<int32_t>(static_cast<uint32_t>(counter) + 1u);

        const uint32_t periods = static_cast<uint32_t>(counter) - static_cast<uint32_t>(first);
        const uint32_t deadline = paced ? passStart + DeadlineOffset(periods, player->rate) : 0;
        const uint32_t now = ClockNow();
        const int32_t left = paced ? TimeLeft(deadline, now) : 1;
        const bool late = left <= 0;

        bool drew = false;
        if (!late) {
            const int32_t modeNow = player->settings->playMode;
            if (modeNow == 0 || modeNow == 1) {
                if (const unsigned char* pixels = CachedPixels(*player->cache, counter)) {
                    Present(player, table, edit, counter, pixels);
                    drew = true;
                }
            }
        }
        if (g_playbackObserver) {
            PlaybackTurn turn{};
            turn.frame = counter;
            turn.passStart = passStart;
            turn.target = paced ? passStart + DeadlineOffset(periods - 1, player->rate) : now;
            turn.deadline = paced ? deadline : now + 1;
            turn.began = now;
            turn.drawn = ClockNow();
            turn.late = late;
            turn.drew = drew;
            turn.paced = paced;
            g_playbackObserver(turn);
        }
        if (late) continue;  // dropped: no drawing, no wait

        // The time left was read before the drawing and the wait counts from
        // its own start, so it ends about one drawing time after the deadline.
        WaitPumpingMessages(static_cast<uint32_t>(left));
        if (g_previewPlayer != player) return true;
        pumpedThisPass = true;
    }

    player->playing = 0;
    PlayWaveImage(nullptr);
    ShowFrame(first, player, table, edit);
    return true;
}
