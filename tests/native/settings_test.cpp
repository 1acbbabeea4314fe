#include "plugin/settings.h"
#include "tests/native/support/fake_host.h"

#include <gtest/gtest.h>

TEST(Settings, EmptyStoreGivesTheDefaults) {
    FakeHost host;
    LoadSettings(&host.table);
    EXPECT_EQ(g_settings.viewSize, 7);
    EXPECT_EQ(g_settings.playMode, 0);
    EXPECT_EQ(g_settings.playSelect, 0);
    EXPECT_EQ(g_settings.playLoop, 0);
    EXPECT_EQ(g_settings.quality, 100);
    EXPECT_EQ(g_settings.useMemory, 4);
    EXPECT_TRUE(host.saved.empty()) << "loading writes nothing";
}

TEST(Settings, QualityIsClampedAndFlagsBecomeOneOrZero) {
    struct Case { int stored; int loaded; } cases[] = {{-5, 0}, {250, 100}, {0, 0}, {50, 50}, {100, 100}, {1, 1}};
    for (const Case& c : cases) {
        FakeHost host;
        host.settings["PreviewQuality"] = c.stored;
        LoadSettings(&host.table);
        EXPECT_EQ(g_settings.quality, c.loaded) << "stored " << c.stored;
    }
    FakeHost host;
    host.settings = {{"PlaySelect", 2}, {"PlayLoop", -1}, {"ViewSize", 99}, {"PlayMode", 7}, {"UseMemory", -1}};
    LoadSettings(&host.table);
    EXPECT_EQ(g_settings.playSelect, 1);
    EXPECT_EQ(g_settings.playLoop, 1);
    EXPECT_EQ(g_settings.viewSize, 99) << "other fields are taken as they come";
    EXPECT_EQ(g_settings.playMode, 7);
    EXPECT_EQ(g_settings.useMemory, -1);
    SaveSettings(&host.table);
    EXPECT_EQ(host.settings["PlaySelect"], 1) << "a stored 2 saves back as 1";
    EXPECT_EQ(host.settings["PlayLoop"], 1);
    const std::vector<std::string> order = {"ViewSize", "PlayMode", "PlaySelect", "PlayLoop", "PreviewQuality", "UseMemory"};
    EXPECT_EQ(host.saved, order);
}

TEST(Settings, DialogNumberParsing) {
    struct Case { const char* text; int32_t value; } cases[] = {
        {"4", 4}, {"", 0}, {"  12abc", 12}, {"abc", 0}, {"-7", -7}, {"+9", 9}, {"\t 3 4", 3},
        {"2147483647", 2147483647}, {"2147483648", 2147483647}, {"99999999999999999999", 2147483647},
        {"-2147483648", INT32_MIN}, {"-99999999999", INT32_MIN}, {"0012", 12}, {"- 5", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseSettingNumber(c.text), c.value) << '"' << c.text << '"';
}

TEST(Settings, InformationTextSizesAndFrames) {
    struct Case { uint32_t video, audio, frames; const char* text; } cases[] = {
        {0, 0, 0, "0.00|0.00|0"},
        {4u << 20, 0, 71, "4.00|0.00|71"},
        {0, 1000000, 5, "0.00|1.91|5"},
        {64u << 20, 208786, 50, "64.00|0.40|50"},
        {0, 0x80000000u, 0, "0.00|0.00|0"},  // the byte count is taken in 32 bits, as the host shows it
    };
    for (const Case& c : cases) {
        char out[512];
        FormatInformation(out, sizeof out, "%.2f|%.2f|%d", c.video, c.audio, c.frames);
        EXPECT_STREQ(out, c.text);
    }
    char tiny[8];
    FormatInformation(tiny, sizeof tiny, "%.2f MB and more", 1u << 30, 0, 0);
    EXPECT_STREQ(tiny, "1024.00");
}
