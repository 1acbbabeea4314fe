#include "playback/title.h"

#include "tests/native/support/fake_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TitleFields Fields(int32_t rate, int32_t scale, int32_t frame, int32_t count) {
    TitleFields f{};
    f.name = "Tavelin";
    f.hasFrames = true;
    f.videoRate = rate;
    f.videoScale = scale;
    f.frame = frame;
    f.frameCount = count;
    return f;
}

std::string Format(const TitleFields& fields) {
    char title[kTitleBytes];
    FormatTitle(fields, title);
    return title;
}

TEST(Title, TimeCodeExamples) {
    struct Case {
        int line;
        TitleFields fields;
        const char* want;
    };
    TitleFields loading = Fields(30, 1, 1234, 5000);
    loading.loading = true;
    loading.loadedCount = 57;
    loading.runLength = 300;
    TitleFields closed = Fields(30, 1, 5, 0);
    closed.hasFrames = false;
    const Case cases[] = {
        {__LINE__, Fields(30, 1, 1234, 5000), "Tavelin [00:00:41.13] [1235/5000]"},
        {__LINE__, loading, "Tavelin [00:00:41.13] [1235/5000] [57/300]"},
        {__LINE__, Fields(30000, 1001, 107892, 200000), "Tavelin [00:59:59.99] [107893/200000]"},
        // Hundredths truncated from just below 30.
        {__LINE__, Fields(30, 1, 99, 5000), "Tavelin [00:00:03.29] [100/5000]"},
        // The hours wrap at 60.
        {__LINE__, Fields(30, 1, 60 * 3600 * 30, 9000000), "Tavelin [00:00:00.00] [6480001/9000000]"},
        {__LINE__, Fields(30, 1, 61 * 3600 * 30 + 30 * 61, 9000000), "Tavelin [01:01:01.00] [6589831/9000000]"},
        {__LINE__, closed, "Tavelin"},
        // No usable rate: no time to show, and no division fault.
        {__LINE__, Fields(0, 1, 1234, 5000), "Tavelin [00:00:00.00] [1235/5000]"},
        {__LINE__, Fields(30, 0, 1234, 5000), "Tavelin [00:00:00.00] [1235/5000]"},
        {__LINE__, Fields(-30, 1, 1234, 5000), "Tavelin [00:00:00.00] [1235/5000]"},
        // The slowest rate a host can report still formats (hours far beyond any counter).
        {__LINE__, Fields(1, INT32_MAX, INT32_MAX - 1, INT32_MAX), "Tavelin [58:08:40.00] [2147483647/2147483647]"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.want, Format(c.fields)) << "case at line " << c.line;
}

TEST(Title, NeverWritesPastItsBuffers) {
    const std::string longName(1000, 'x');
    TitleFields f = Fields(30, 1, INT32_MAX, INT32_MIN);
    f.name = longName.c_str();
    f.loading = true;
    f.loadedCount = UINT32_MAX;
    f.runLength = UINT32_MAX;
    char title[kTitleBytes + 8];
    std::memset(title, '#', sizeof title);
    FormatTitle(f, reinterpret_cast<char(&)[kTitleBytes]>(title));
    EXPECT_EQ(kTitleBytes - 1, std::strlen(title));
    for (size_t i = kTitleBytes; i < sizeof title; ++i) EXPECT_EQ('#', title[i]) << "byte " << i;
}

TEST(Title, AsksTheHostForSourceInfoOnlyWithFrames) {
    FakeHost host;
    PreviewPlayer player{};
    char title[kTitleBytes];

    host.project.frameCount = 5000;
    ComposeTitle(&host.table, host.edit(), player, 1234, title);
    EXPECT_STREQ("Tavelin [00:00:41.13] [1235/5000]", title);
    EXPECT_EQ(1, host.sourceInfoCalls);

    host.project.frameCount = 0;
    ComposeTitle(&host.table, host.edit(), player, 3, title);
    EXPECT_STREQ("Tavelin", title);
    host.project.frameCount = 5000;
    host.project.editing = 0;
    ComposeTitle(&host.table, host.edit(), player, 3, title);
    EXPECT_STREQ("Tavelin", title);
    EXPECT_EQ(1, host.sourceInfoCalls);
}

}  // namespace
