// The frame cache on Windows: the real loader thread, PostMessageA to a real
// window, the guarded page allocator (an overrun of any block or of the
// temporary picture faults), and the memory the stores commit, as the system
// reports it. The plug-in's code is linked in; the window's hook is the
// test's own, so that it sees the loader's messages and nothing else acts.
#include "tests/wine/wine_test.h"

#include "cache/loader.h"
#include "cache/preview_cache.h"
#include "host/standin_host.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using standin::CodedPixel;
using standin::CodedSample;

struct Seen {
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
    uint8_t loading;  // the flag when the window handled it
};

std::vector<Seen> g_seen;
int g_badSlots = 0;  // reported slots whose contents were wrong when the window read them
bool g_checkSlots = true;

// Empty when the slot holds the frame as the mapping samples it.
std::string PictureMismatch(const VideoMemory& video, uint32_t slot, int frame, int w, int h) {
    const unsigned char* p = video.FrameAt(slot);
    if (!p) return "no slot";
    const double r = static_cast<double>(w) / video.width;
    for (int y = 0; y < video.height; ++y)
        for (int x = 0; x < video.width; ++x, p += 3) {
            const int sx = static_cast<int>(x * r);
            const int sy = std::min(static_cast<int>(y * r), h - 1);
            const standin::Bgr want = CodedPixel(frame, sx, sy);
            if (p[0] != want.b || p[1] != want.g || p[2] != want.r)
                return "frame " + std::to_string(frame) + " pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                       ")";
        }
    return "";
}

std::string SamplesMismatch(const AudioMemory& audio, uint32_t slot, int frame, int perChannel) {
    const short* s = audio.FrameAt(slot);
    if (!s) return "no slot";
    const int given = std::max(0, perChannel) * audio.channels;
    for (int i = 0; i < audio.frameSize; ++i) {
        const short want = i < given ? CodedSample(frame, i % audio.channels) : 0;
        if (s[i] != want) return "frame " + std::to_string(frame) + " sample " + std::to_string(i);
    }
    return "";
}

standin::StandinHost* g_host = nullptr;

std::string SlotMismatch(uint32_t slot, int frame) {
    const standin::Project project = g_host->GetProject();
    const auto [w, h] = project.SizeOf(frame);
    std::string bad = PictureMismatch(*g_previewCache->video, slot, frame, w, h);
    if (bad.empty()) bad = SamplesMismatch(*g_previewCache->audio, slot, frame, project.SamplesOf(frame));
    return bad;
}

// The window's side: on each WM_LOAD_PROGRESS read the reported slot while
// the loader goes on; on WM_LOAD_DONE the handling's StopLoading steps.
int TAVELIN_CDECL Hook(void*, unsigned message, uintptr_t wParam, intptr_t lParam, EditHandle, FilterTable*) {
    if (message != WM_LOAD_PROGRESS && message != WM_LOAD_DONE) return 0;
    g_seen.push_back({message, wParam, lParam, g_previewCache->loading.load()});
    if (message == WM_LOAD_PROGRESS && g_checkSlots) {
        const std::string bad = SlotMismatch(static_cast<uint32_t>(lParam), static_cast<int>(wParam));
        if (!bad.empty()) {
            ++g_badSlots;
            std::printf("  slot %d: %s\n", static_cast<int>(lParam), bad.c_str());
        }
    }
    if (message == WM_LOAD_DONE) StopLoading();
    return 0;
}

FilterTable g_table{};

// A host with the test's record, and a cache of the test's own.
struct Fixture {
    standin::StandinHost host;
    PreviewCache cache;

    explicit Fixture(const standin::Project& project, int quality = 100, uint32_t memoryMiB = 4) : host(project) {
        g_table.name = "cache test";
        g_table.hook = Hook;
        g_seen.clear();
        g_badSlots = 0;
        g_checkSlots = true;
        g_host = &host;
        g_previewCache = &cache;
        cache.memoryLimit = memoryMiB << 20;
        cache.qualityScale = quality / 100.0;
        host.Attach(&g_table);
    }
    ~Fixture() {
        StopLoading();
        g_previewCache = nullptr;
        g_host = nullptr;
    }
    // Starts a load and pumps until the window has handled its WM_LOAD_DONE.
    bool Load(int first, uint32_t requested) {
        const int done = host.MessageCount(WM_LOAD_DONE);
        if (!StartLoading(host.Table(), host.Edit(), first, requested)) return false;
        return host.PumpUntilMessage(WM_LOAD_DONE, done + 1);
    }
};

std::vector<Seen> Run(int first, int count) {
    std::vector<Seen> run;
    for (int k = 0; k < count; ++k) run.push_back({WM_LOAD_PROGRESS, static_cast<uintptr_t>(first + k), k, 0});
    run.push_back({WM_LOAD_DONE, static_cast<uintptr_t>(count), 0, 0});
    return run;
}

bool SameMessages(const std::vector<Seen>& a, const std::vector<Seen>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].message != b[i].message || a[i].wParam != b[i].wParam || a[i].lParam != b[i].lParam) return false;
    return true;
}

std::string Show(const std::vector<Seen>& seen) {
    std::string text;
    for (const Seen& s : seen)
        text += (s.message == WM_LOAD_DONE ? "DONE(" : "PROGRESS(") + std::to_string(s.wParam) + "," +
                std::to_string(s.lParam) + ") ";
    return text;
}

standin::Project Small(int width = 40, int height = 30) {
    standin::Project project;
    project.width = width;
    project.height = height;
    project.frameCount = 60;
    return project;
}

size_t PageSize() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

size_t PagesOf(size_t bytes) { return (bytes + PageSize() - 1) / PageSize() * PageSize(); }

// Committed bytes of the whole allocation that holds `address`; 0 when free.
size_t CommittedAround(const void* address) {
    MEMORY_BASIC_INFORMATION info;
    if (!VirtualQuery(address, &info, sizeof info) || info.State == MEM_FREE) return 0;
    void* const allocation = info.AllocationBase;
    size_t committed = 0;
    for (auto* p = static_cast<const unsigned char*>(allocation);
         VirtualQuery(p, &info, sizeof info) && info.AllocationBase == allocation; p += info.RegionSize)
        if (info.State == MEM_COMMIT) committed += info.RegionSize;
    return committed;
}

bool IsFree(const void* address) {
    MEMORY_BASIC_INFORMATION info;
    return VirtualQuery(address, &info, sizeof info) && info.State == MEM_FREE;
}

}  // namespace

WINE_TEST(ThreeFramesFromTenArriveInOrder) {
    Fixture f(Small());
    REQUIRE(f.host.Start());
    REQUIRE(f.Load(10, 3));
    CHECK(SameMessages(g_seen, Run(10, 3)));
    if (!SameMessages(g_seen, Run(10, 3))) std::printf("  seen: %s\n", Show(g_seen).c_str());
    REQUIRE(!g_seen.empty());
    CHECK_EQ(int(g_seen.back().loading), 0);
    CHECK_EQ(g_badSlots, 0);
    CHECK_EQ(f.cache.loadedCount.load(), 3u);
    CHECK_EQ(int(f.cache.playable), 1);
    CHECK(f.cache.loaderThread == nullptr);
}

WINE_TEST(EveryFrameOfARunIsTheHostsFrameAsSampled) {
    struct Case {
        int width, height, quality;
    } cases[] = {{40, 30, 100}, {40, 30, 50}, {40, 30, 25}, {320, 240, 99}, {320, 240, 100}, {33, 17, 100}};
    for (const Case& c : cases) {
        wine_test::Note note(std::to_string(c.width) + "x" + std::to_string(c.height) + " at " +
                             std::to_string(c.quality));
        Fixture f(Small(c.width, c.height), c.quality, 8);
        REQUIRE(f.host.Start());
        REQUIRE(f.Load(5, 0xFFFFFFFFu));
        const uint32_t count = f.cache.loadedCount.load();
        CHECK_EQ(count, f.cache.frameCount);
        CHECK(count > 0);
        CHECK(SameMessages(g_seen, Run(5, static_cast<int>(count))));
        CHECK_EQ(g_badSlots, 0);
        // Once more after the load, every slot.
        for (uint32_t k = 0; k < count; ++k) CHECK_EQ(SlotMismatch(k, 5 + static_cast<int>(k)), std::string());
    }
}

WINE_TEST(BadHostAnswersStayInsideTheBlocks) {
    // Guard pages sit right behind both blocks and the temporary picture:
    // any overrun ends this program.
    standin::Project project = Small();
    project.frameCount = 10;
    project.sizeOverride = {{3, {80, 60}}, {4, {20, 10}}, {5, {44, 32}}, {6, {0, 0}}, {7, {-40, 30}}};
    project.samplesOverride = {{2, 3000}, {8, 700}, {9, 100000}};
    Fixture f(project, 100, 1);
    f.cache.memoryLimit = 10 * 44 * 32 * 3;  // the last slot ends at the block's end
    g_checkSlots = false;
    REQUIRE(f.host.Start());
    REQUIRE(f.Load(0, 0xFFFFFFFFu));
    CHECK(SameMessages(g_seen, Run(0, 10)));
    const VideoMemory& video = *f.cache.video;
    for (uint32_t k = 0; k < 10; ++k) {
        const int frame = static_cast<int>(k);
        wine_test::Note note("frame " + std::to_string(frame));
        const auto [w, h] = project.SizeOf(frame);
        if (w > 0 && h > 0) {
            CHECK_EQ(PictureMismatch(video, k, frame, w, h), std::string());
        } else {
            const unsigned char* p = video.FrameAt(k);
            CHECK(std::all_of(p, p + video.frameSize, [](unsigned char b) { return b == 0; }));
        }
        CHECK_EQ(SamplesMismatch(*f.cache.audio, k, frame, project.SamplesOf(frame)), std::string());
    }
}

WINE_TEST(CancelAndProjectCloseEndWithTheCountReached) {
    {
        standin::Project project = Small();
        project.renderCostMs = 2;
        Fixture f(project);
        REQUIRE(f.host.Start());
        REQUIRE(StartLoading(f.host.Table(), f.host.Edit(), 0, 50));
        REQUIRE(f.host.PumpUntilMessage(WM_LOAD_PROGRESS, 3));
        StopLoading();  // the stop command
        const uint32_t reached = f.cache.loadedCount.load();
        CHECK(reached >= 3 && reached < 50);
        CHECK(f.cache.loaderThread == nullptr);
        CHECK_EQ(int(f.cache.playable), 1);
        REQUIRE(f.host.PumpUntilMessage(WM_LOAD_DONE, 1));
        CHECK(SameMessages(g_seen, Run(0, static_cast<int>(reached))));
        CHECK_EQ(g_badSlots, 0);
    }
    {
        Fixture f(Small());
        REQUIRE(f.host.Start());
        f.host.SetRenderHook([&f](int frame) {
            if (frame == 23) f.host.UpdateProject([](standin::Project& p) { p.open = false; });
        });
        g_checkSlots = false;  // frame 23's sound is asked for after the close
        REQUIRE(f.Load(20, 30));
        CHECK(SameMessages(g_seen, Run(20, 4)));
        if (!SameMessages(g_seen, Run(20, 4))) std::printf("  seen: %s\n", Show(g_seen).c_str());
    }
}

WINE_TEST(CommittedMemoryIsTheVideoBlockAndTheAudioBlock) {
    standin::Project project = Small(640, 480);
    project.frameCount = 150;
    Fixture f(project, 100, 64);
    REQUIRE(f.host.Start());
    REQUIRE(f.Load(100, 0xFFFFFFFFu));
    CHECK_EQ(f.cache.frameCount, 50u);
    CHECK_EQ(f.cache.loadedCount.load(), 50u);
    const MemoryBlock& video = *f.cache.video->block;
    const MemoryBlock& audio = *f.cache.audio->block;
    CHECK_EQ(video.size, 67108864u);
    CHECK_EQ(audio.size, 208786u);
    const size_t videoBytes = video.size, audioBytes = size_t{audio.size} * 2;
    const size_t committedVideo = CommittedAround(video.base), committedAudio = CommittedAround(audio.base);
    CHECK_EQ(committedVideo, PagesOf(videoBytes));
    CHECK_EQ(committedAudio, PagesOf(audioBytes));
    std::printf("  committed: video %zu bytes (block %zu), audio %zu bytes (block %zu), total %zu\n", committedVideo,
                videoBytes, committedAudio, audioBytes, committedVideo + committedAudio);

    // A repeated load keeps both blocks.
    void* const videoBase = video.base;
    void* const audioBase = audio.base;
    REQUIRE(f.Load(0, 0xFFFFFFFFu));
    CHECK(video.base == videoBase);
    CHECK(audio.base == audioBase);

    // Growth gives the old block back whole; release gives both back.
    f.cache.memoryLimit = 65u << 20;
    REQUIRE(f.Load(0, 0xFFFFFFFFu));
    CHECK(video.base != videoBase);
    CHECK(IsFree(videoBase));
    CHECK(IsFree(audioBase));
    CHECK_EQ(CommittedAround(video.base), PagesOf(65u << 20));
    void* const grownVideo = video.base;
    void* const grownAudio = audio.base;
    f.cache.ReleaseFrameMemory();
    CHECK(IsFree(grownVideo));
    CHECK(IsFree(grownAudio));
}
