#include "tests/native/support/fake_display.h"

#include "playback/display.h"
#include "playback/title.h"
#include "tests/native/support/fake_platform.h"

namespace {

struct State {
    std::vector<fake_display::Call> calls;
    uint32_t drawCost = 0;
    int32_t clientWidth = 640;
    int32_t clientHeight = 512;
};

State& S() {
    static State state;
    return state;
}

void Record(fake_display::Kind kind, const unsigned char* pixels = nullptr, int32_t frame = 0, int32_t count = 0,
            std::string title = {}) {
    S().calls.push_back(fake_display::Call{kind, fake_platform::Now(), pixels, pixels ? *pixels : -1, frame, count,
                                           std::move(title)});
}

}  // namespace

namespace fake_display {

void Reset() { S() = State{}; }
const std::vector<Call>& Calls() { return S().calls; }
void SetDrawCost(uint32_t milliseconds) { S().drawCost = milliseconds; }
void SetClientSize(int32_t width, int32_t height) {
    S().clientWidth = width;
    S().clientHeight = height;
}

}  // namespace fake_display

ViewRect ComputeViewRect(const PreviewPlayer& player) {
    const VideoMemory* video = player.cache ? player.cache->video : nullptr;
    return PlaceView(S().clientWidth, S().clientHeight, video ? video->width : 0, video ? video->height : 0,
                     player.settings->viewSize);
}

void DrawFrame(const PreviewPlayer&, const unsigned char* pixels) {
    Record(fake_display::Kind::Frame, pixels);
    if (S().drawCost) fake_platform::Advance(S().drawCost);
}

void ResizeToViewSize(void*, int32_t, int32_t) {}

void DrawPositionBar(const PreviewPlayer&, int32_t frame, int32_t frameCount) {
    Record(fake_display::Kind::Bar, nullptr, frame, frameCount);
}

void ClearView(const PreviewPlayer&) { Record(fake_display::Kind::Clear); }

void UpdateTitle(FilterTable* table, EditHandle edit, const PreviewPlayer& player, int32_t frame) {
    char title[kTitleBytes];
    ComposeTitle(table, edit, player, frame, title);
    Record(fake_display::Kind::Title, nullptr, frame, 0, title);
}
