#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SettingsFixture.h"

namespace kestrin::test {

namespace {

TProfile Named(const std::string& name) {
    TProfile p;
    p.Name = name;
    return p;
}

// A working copy with the two defaults and the given user profiles.
TProfileList Table(const std::vector<std::string>& users, int32_t& count) {
    TProfileList list;
    BuildDefaultProfiles(list);
    count = DefaultProfileCount;
    for (const std::string& name : users) {
        EXPECT_TRUE(AddProfile(list, count, Named(name)));
    }
    return list;
}

}  // namespace

TEST(Profiles, WaitsFollowTheControllerType) {
    struct Case {
        uint8_t type;
        int32_t eeprom, erase;  // stored
        int32_t wantEeprom, wantErase;
    };
    const std::vector<Case> cases = {
        {ctAT89S8252, -1, 0, 4000, -1},        {ctAT89S8252, 3000, -1, 3000, -1},
        {ctAT90xx, -1, -1, 4000, 10000},       {ctATtiny, -1, -1, 4500, 10000},
        {ctATmega, -1, -1, 9000, 10000},       {ctATmega, 0, 0, 0, 0},
        {ctAT89S8253, -1, -1, 4500, 500000},   {ctAT89S8253, 100, 1000, 100, 1000},
        {ctAT89S52, 0, -1, -1, 500000},        {ctAT89S52, -7, 20000, -7, 20000},
        {ctAT89S53, 4000, 0, -1, -1},          {ctAT89S53, -1, -1, -1, -1},
        {7, 4000, 500000, 4000, 500000},       {255, -9, -9, -9, -9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << int(c.type) << " waits " << c.eeprom << "/" << c.erase);
        TProfile p{"n", "i", false, c.type, true, false, true, 1234, c.eeprom, c.erase};
        TProfile want = p;
        want.WaitEEPROM = c.wantEeprom;
        want.WaitErase = c.wantErase;
        EXPECT_EQ(ValidateProfile(p), c.wantEeprom != c.eeprom || c.wantErase != c.erase);
        EXPECT_EQ(p, want);
    }
}

TEST(Profiles, ControllerNamesAndMemories) {
    EXPECT_STREQ(ControllerName(ctAT89S8252), "AT89S8252");
    EXPECT_STREQ(ControllerName(ctAT89S53), "AT89S53");
    EXPECT_STREQ(ControllerName(ctAT89S53 + 1), "");
    for (uint8_t type = 0; type < 10; ++type) {
        EXPECT_EQ(ControllerHasEEPROM(type), type != ctAT89S52 && type != ctAT89S53) << int(type);
    }
}

TEST(Profiles, AddAppendsUserProfilesUntilTheTableIsFull) {
    int32_t count = 0;
    TProfileList list = Table({}, count);
    TProfile copy = list[1];  // made from a default, it is still a user profile
    copy.Name = "";
    ASSERT_TRUE(AddProfile(list, count, copy));
    EXPECT_EQ(count, 3);
    EXPECT_FALSE(list[2].IsDefault);
    EXPECT_EQ(list[2].Name, "");
    EXPECT_EQ(list[2].WaitErase, 500000);

    while (count < MaxProfiles) ASSERT_TRUE(AddProfile(list, count, Named("p" + std::to_string(count))));
    EXPECT_EQ(list[MaxProfiles - 1].Name, "p255");
    const TProfileList full = list;
    EXPECT_FALSE(AddProfile(list, count, Named("one too many")));
    EXPECT_EQ(count, MaxProfiles);
    EXPECT_EQ(list, full);
}

TEST(Profiles, DeleteRemovesOnlyUserProfiles) {
    struct Case {
        const char* what;
        int32_t index;
        bool removed;
        std::vector<std::string> after;  // names of the user profiles
    };
    const std::vector<Case> cases = {
        {"middle of three", 3, true, {"a", "c"}},
        {"first", 2, true, {"b", "c"}},
        {"last", 4, true, {"a", "b"}},
        {"default", 1, false, {"a", "b", "c"}},
        {"first default", 0, false, {"a", "b", "c"}},
        {"beyond the count", 5, false, {"a", "b", "c"}},
        {"negative", -1, false, {"a", "b", "c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int32_t count = 0;
        TProfileList list = Table({"a", "b", "c"}, count);
        EXPECT_EQ(DeleteProfile(list, count, c.index), c.removed);
        ASSERT_EQ(count, DefaultProfileCount + static_cast<int32_t>(c.after.size()));
        for (size_t i = 0; i < c.after.size(); ++i) EXPECT_EQ(list[DefaultProfileCount + i].Name, c.after[i]);
        EXPECT_EQ(list[0].Name, "89S8252 (default)");
        EXPECT_EQ(list[static_cast<size_t>(count)], TProfile{});
    }
}

TEST_F(SettingsTest, CommitReplacesTableCountAndSelection) {
    LoadSettings();
    int32_t count = 0;
    TProfileList work = Table({"a", "b"}, count);
    struct Case {
        int32_t index;
        int32_t selected;
    };
    for (const Case& c : std::vector<Case>{{3, 3}, {9, 3}, {-1, 0}}) {
        SCOPED_TRACE(c.index);
        CommitProfiles(work, count, c.index);
        EXPECT_EQ(Config.ProfileCount, 4);
        EXPECT_EQ(Config.Profiles, 2);
        EXPECT_EQ(Config.ProfileIndex, c.selected);
        EXPECT_EQ(ProfileTable, work);
    }
}

}  // namespace kestrin::test
