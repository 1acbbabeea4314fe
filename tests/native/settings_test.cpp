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
