#include "playback/player.h"
#include "playback/schedule.h"

#include "tests/native/support/fake_display.h"
#include "tests/native/support/fake_host.h"
#include "tests/native/support/fake_platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace {

using fake_display::Kind;

TEST(Schedule, DeadlinesAndTimeLeft) {
    EXPECT_EQ(100u, DeadlineOffset(3, 30000.0 / 1001.0));  // 100.1 truncated
    EXPECT_EQ(5000u, DeadlineOffset(300, 60.0));
    EXPECT_EQ(0u, DeadlineOffset(5, 1e9));
    // The slowest rate a host can report: far beyond 64 bits of milliseconds, saturated, not undefined.
    EXPECT_EQ(0xFFFFFFFFu, DeadlineOffset(UINT32_MAX, 1.0 / INT32_MAX / 1e3));
    // Across the wrap a passed deadline is late, not 49 days ahead.
    EXPECT_EQ(21, TimeLeft(5u, 0xFFFFFFF0u));
    EXPECT_EQ(-21, TimeLeft(0xFFFFFFF0u, 5u));
    EXPECT_FALSE(IsPacedRate(0.0));
    EXPECT_FALSE(IsPacedRate(-1.0));
    EXPECT_FALSE(IsPacedRate(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(IsPacedRate(std::numeric_limits<double>::infinity()));
    EXPECT_TRUE(IsPacedRate(29.97));
}

// A player over a cache holding frames first .. first + count - 1 of a
// 100-frame project at 10 frames per second (a period of 100 ms).
class PlayerTest : public ::testing::Test {
protected:
    FakeHost host;
    PreviewSettings settings{7, 0, 0, 0, 100, 4};
    PreviewCache* cache = nullptr;
    PreviewPlayer* player = nullptr;
    uint32_t start = 0;

    void SetUp() override { Begin(0); }

    void TearDown() override {
        g_previewPlayer = nullptr;
        delete player;
        delete cache;
    }

    // Also restarts the fake clock at `clockStart`.
    void Begin(uint32_t clockStart) {
        start = clockStart;
        fake_platform::Reset(clockStart);
        fake_display::Reset();
        host.project.videoRate = 10;
        host.project.videoScale = 1;
        if (!cache) {
            cache = new PreviewCache();
            player = new PreviewPlayer{reinterpret_cast<void*>(0x1234), cache, &settings};
            g_previewPlayer = player;
        }
    }

    void Load(int32_t first, uint32_t count, uint32_t slotsWithPixels = UINT32_MAX) {
        VideoMemory& video = *cache->video;
        video.width = 8;
        video.height = 4;
        video.frameSize = 8 * 4 * 3;
        ASSERT_TRUE(video.Reserve(count * video.frameSize));
        video.capacity = count < slotsWithPixels ? count : slotsWithPixels;
        for (uint32_t k = 0; k < video.capacity; ++k)
            std::memset(video.FrameAt(k), static_cast<int>(first + k) & 0xFF, video.frameSize);
        AudioMemory& audio = *cache->audio;
        audio.channels = 1;
        audio.frameSize = 100;
        ASSERT_TRUE(audio.Reserve(count * 100 + kWaveHeaderSamples));
        audio.capacity = count;
        cache->frameRate = 10.0;
        cache->firstFrame = first;
        cache->frameCount = count;
        cache->loadedCount = count;
        cache->playable = 1;
    }

    uint32_t T(uint32_t time) const { return time - start; }

    // "clear@0 11@0 12@100 ...": a shown frame (picture, bar, title of the
    // same frame at one time) reads as its number.
    std::string Pictures() const {
        std::string out;
        const auto& calls = fake_display::Calls();
        for (size_t i = 0; i < calls.size(); ++i) {
            const auto& c = calls[i];
            std::string item;
            if (c.kind == Kind::Clear) {
                item = "clear@" + std::to_string(T(c.time));
            } else if (c.kind == Kind::Frame && i + 2 < calls.size() && calls[i + 1].kind == Kind::Bar &&
                       calls[i + 2].kind == Kind::Title) {
                const int32_t frame = calls[i + 1].frame;
                const bool same = calls[i + 2].frame == frame && c.firstByte == (frame & 0xFF) &&
                                  calls[i + 1].frameCount == 100;
                item = (same ? "" : "MISMATCHED ") + std::to_string(frame) + "@" + std::to_string(T(c.time));
                i += 2;
            } else {
                item = "stray call " + std::to_string(static_cast<int>(c.kind)) + "@" + std::to_string(T(c.time));
            }
            out += (out.empty() ? "" : " ") + item;
        }
        return out;
    }

    // "play@0 stop@500": the sound player's calls.
    std::string Sounds() const {
        std::string out;
        for (const auto& s : fake_platform::Sounds()) {
            std::string item = s.image == nullptr                        ? "stop"
                               : s.image == cache->audio->block->base ? "play"
                                                                        : "play(elsewhere)";
            out += (out.empty() ? "" : " ") + item + "@" + std::to_string(T(s.time));
        }
        return out;
    }

    bool Play() { return RunPlayback(&host.table, host.edit()); }
};

TEST_F(PlayerTest, PassDrawsTheFollowingFramesAndWaitsOutTheLastPeriod) {
    // Across the clock's wrap the schedule is the same.
    for (uint32_t clockStart : {0u, 0xFFFFFF80u, 0x7FFFFFC0u}) {
        SCOPED_TRACE("clock starting at " + std::to_string(clockStart));
        Begin(clockStart);
        Load(10, 5);
        EXPECT_TRUE(Play());
        EXPECT_EQ("clear@0 11@0 12@100 13@200 14@300 10@500", Pictures());
        EXPECT_EQ("play@0 stop@500", Sounds());
        EXPECT_EQ(500u, fake_platform::Elapsed());
        EXPECT_EQ(0, player->playing);
        EXPECT_EQ(10, player->currentFrame);
        EXPECT_DOUBLE_EQ(10.0, player->rate);
        EXPECT_EQ("Tavelin [00:00:01.00] [11/100]", fake_display::Calls().back().title);
    }
}

TEST_F(PlayerTest, LateFramesAreDroppedUntilCaughtUp) {
    Load(10, 10);
    // A handler at 150 ms holds the thread for 250 ms (a modal dialog, say).
    fake_platform::At(150, [] { fake_platform::Advance(250); });
    EXPECT_TRUE(Play());
    EXPECT_EQ("clear@0 11@0 12@100 15@400 16@500 17@600 18@700 19@800 10@1000", Pictures());
    EXPECT_EQ("play@0 stop@1000", Sounds());
}

TEST_F(PlayerTest, SlowDrawingDelaysTheWaitAndDropsFrames) {
    Load(10, 6);
    fake_display::SetDrawCost(150);
    EXPECT_TRUE(Play());
    // The wait counts from its own start: time left is taken before drawing.
    EXPECT_EQ("clear@0 11@0 13@250 15@450 10@650", Pictures());
}

TEST_F(PlayerTest, LoopRestartsEachPassAndStopsWhereTheFlagIsFoundOff) {
    Load(10, 3);
    settings.playLoop = 1;
    fake_platform::At(650, [this] { settings.playLoop = 0; });  // during the third pass
    EXPECT_TRUE(Play());
    EXPECT_EQ("clear@0 11@0 12@100 clear@300 11@300 12@400 clear@600 11@600 12@700 10@900", Pictures());
    EXPECT_EQ("play@0 play@300 play@600 stop@900", Sounds());
}

TEST_F(PlayerTest, StopInsideAWaitSilencesAtOnceAndEndsAfterTheWait) {
    Load(10, 5);
    fake_platform::At(150, [] { StopPlayback(); });
    EXPECT_TRUE(Play());
    EXPECT_EQ("clear@0 11@0 12@100 10@200", Pictures());
    EXPECT_EQ("play@0 stop@150 stop@200", Sounds());
}

TEST_F(PlayerTest, PlayInsideAWaitRestartsAndOneStopEndsBoth) {
    Load(10, 3);
    fake_platform::At(150, [this] { EXPECT_TRUE(Play()); });
    EXPECT_TRUE(Play());
    EXPECT_EQ("clear@0 11@0 12@100 clear@150 11@150 12@250 10@450 10@450", Pictures());
    EXPECT_EQ("play@0 play@150 stop@450 stop@450", Sounds());

    Begin(0);
    settings.playLoop = 1;
    fake_platform::At(150, [this] { EXPECT_TRUE(Play()); });
    fake_platform::At(300, [] { StopPlayback(); });
    EXPECT_TRUE(Play());
    EXPECT_EQ("clear@0 11@0 12@100 clear@150 11@150 12@250 10@350 10@350", Pictures());
    EXPECT_EQ("play@0 play@150 stop@300 stop@350 stop@350", Sounds());
}

TEST_F(PlayerTest, AudioOnlyPacesAndLoopsTheSoundWithoutDrawing) {
    Load(10, 2);
    settings.playMode = 2;
    settings.playLoop = 1;
    fake_platform::At(450, [this] { settings.playLoop = 0; });
    EXPECT_TRUE(Play());
    EXPECT_EQ("10@600", Pictures());
    EXPECT_EQ("play@0 play@200 play@400 stop@600", Sounds());
}

TEST_F(PlayerTest, ModeReadEachTurnButClearAndSoundFollowTheStart) {
    Load(10, 5);
    settings.playMode = 1;
    fake_platform::At(150, [this] { settings.playMode = 0; });
    fake_platform::At(250, [this] { settings.playMode = 2; });
    EXPECT_TRUE(Play());
    EXPECT_EQ("clear@0 11@0 12@100 13@200 10@500", Pictures());
    EXPECT_EQ("stop@500", Sounds());
}

TEST_F(PlayerTest, RunOfOneFrame) {
    Load(10, 1);
    EXPECT_TRUE(Play());
    EXPECT_EQ("clear@0 10@100", Pictures());
    EXPECT_EQ("play@0 stop@100", Sounds());
}

TEST_F(PlayerTest, RefusesWhileLoadingOrNotPlayable) {
    Load(10, 5);
    cache->loading = 1;
    EXPECT_FALSE(Play());
    cache->loading = 0;
    cache->playable = 0;
    EXPECT_FALSE(Play());
    EXPECT_EQ("", Pictures());
    EXPECT_EQ("", Sounds());
    EXPECT_EQ(0, player->playing);
    EXPECT_EQ(0, host.sourceInfoCalls);
    g_previewPlayer = nullptr;
    EXPECT_FALSE(Play());
}

TEST_F(PlayerTest, UnusableRateStaysResponsiveToStop) {
    struct Case {
        int line;
        int rate, scale;
        bool drawsFrames;
    };
    const Case cases[] = {
        {__LINE__, 0, 1, true},  // no deadlines: a frame per turn, 1 ms of pumping each
        {__LINE__, 30, 0, true},
        {__LINE__, 0, 0, true},
        {__LINE__, -30, 1, true},
        {__LINE__, INT32_MAX, 1, false},  // every deadline passed at once
    };
    for (const Case& c : cases) {
        Begin(0);
        Load(10, 5);
        settings.playLoop = 1;
        host.project.videoRate = c.rate;
        host.project.videoScale = c.scale;
        fake_platform::At(50, [] { StopPlayback(); });
        EXPECT_TRUE(Play()) << "case at line " << c.line;
        EXPECT_LE(fake_platform::Elapsed(), 60u) << "case at line " << c.line;
        EXPECT_EQ(c.drawsFrames, Pictures().find("11@") != std::string::npos) << "case at line " << c.line;
        EXPECT_EQ(10, player->currentFrame) << "case at line " << c.line;
        EXPECT_EQ(0, player->playing) << "case at line " << c.line;
    }
}

TEST_F(PlayerTest, ExitInsideAWaitLeavesTheFreedRecordsAlone) {
    Load(10, 5);
    settings.playLoop = 1;
    // What the exit message does: silence, then free both records.
    fake_platform::At(150, [this] {
        StopPlayback();
        g_previewPlayer = nullptr;
        delete player;
        delete cache;
        player = nullptr;
        cache = nullptr;
    });
    EXPECT_TRUE(RunPlayback(&host.table, host.edit()));
    EXPECT_EQ(7u, fake_display::Calls().size());  // clear, 11 and 12 (three calls each), nothing after
    ASSERT_EQ(2u, fake_platform::Sounds().size());
    EXPECT_EQ(150u, fake_platform::Sounds()[1].time);
    EXPECT_EQ(nullptr, fake_platform::Sounds()[1].image);
}

TEST_F(PlayerTest, ReleaseInsideAWaitDrawsAndPlaysNothingMore) {
    Load(10, 3);
    settings.playLoop = 1;
    fake_platform::At(150, [this] { cache->ReleaseFrameMemory(); });
    fake_platform::At(650, [] { StopPlayback(); });
    EXPECT_TRUE(Play());
    EXPECT_EQ("clear@0 11@0 12@100 clear@300 clear@600", Pictures());
    const auto& sounds = fake_platform::Sounds();
    ASSERT_EQ(5u, sounds.size());
    for (size_t i = 1; i < sounds.size(); ++i) EXPECT_EQ(nullptr, sounds[i].image) << "sound call " << i;
}

TEST_F(PlayerTest, ShowFrameOnlyWithinTheLoadedRunAndWithPixels) {
    Load(10, 5, 3);  // slots 3 and 4 have no pixels
    struct Case {
        int line;
        int32_t frame;
        bool shown;
    };
    const Case cases[] = {
        {__LINE__, 9, false}, {__LINE__, 10, true},  {__LINE__, 12, true},  {__LINE__, 13, false},
        {__LINE__, 15, false}, {__LINE__, -1, false}, {__LINE__, INT32_MIN, false},
    };
    for (const Case& c : cases) {
        fake_display::Reset();
        player->currentFrame = 77;
        EXPECT_EQ(c.shown, ShowFrame(c.frame, player, &host.table, host.edit())) << "case at line " << c.line;
        EXPECT_EQ(c.shown ? std::to_string(c.frame) + "@0" : "", Pictures()) << "case at line " << c.line;
        EXPECT_EQ(c.shown ? c.frame : 77, player->currentFrame) << "case at line " << c.line;
    }
    fake_display::Reset();
    player->currentFrame = 11;
    EXPECT_TRUE(ShowCurrentFrame(&host.table, host.edit()));
    EXPECT_EQ("11@0", Pictures());
}

TEST_F(PlayerTest, WaitPumpsUntilTheTimeHasPassed) {
    for (uint32_t clockStart : {0u, 0xFFFFFFFEu}) {
        SCOPED_TRACE("clock starting at " + std::to_string(clockStart));
        Begin(clockStart);
        WaitPumpingMessages(0);
        EXPECT_EQ(0, fake_platform::PumpCalls());
        EXPECT_EQ(0u, fake_platform::Elapsed());

        WaitPumpingMessages(5);
        EXPECT_EQ(5u, fake_platform::Elapsed());

        // A message handled inside the wait is finished before the clock is read again.
        int handled = 0;
        fake_platform::At(clockStart + 6, [&handled] {
            ++handled;
            fake_platform::Advance(30);
        });
        WaitPumpingMessages(3);
        EXPECT_EQ(1, handled);
        EXPECT_EQ(36u, fake_platform::Elapsed());
    }
}

}  // namespace
