#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "SettingsFixture.h"
#include "config/IniFile.h"

namespace kestrin::test {

namespace {

std::string ProfileSection(int i, const std::string& body) { return "[" + std::to_string(i) + "]\n" + body; }

std::string Settings(const std::string& settingsBody) { return "[Settings]\n" + settingsBody; }

}  // namespace

TEST_F(SettingsTest, FirstStartWithoutFileGivesDefaults) {
    Config.CmdCOM = 3;
    Config.CmdFile = "x.hex";
    Config.ExecMode = 1;
    Config.ShowHelp = true;
    ProfileTable[5].Name = "left over";
    LoadSettings();

    EXPECT_EQ(Config, (TConfig{10, 10, 0, false, false, 0, false, false, "", 1, 0, 2, 0, 0, "", -1, false, 10, 10,
                               800, 600}));
    EXPECT_EQ(ProfileTable[0], (TProfile{"89S8252 (default)", "Atmel AT89S8252", true, ctAT89S8252, false, false,
                                         false, 4000, 4000, -1}));
    EXPECT_EQ(ProfileTable[1], (TProfile{"89S8253 (default)", "Atmel AT89S8253 (page mode)", true, ctAT89S8253,
                                         false, false, false, 4500, 4500, 500000}));
    for (size_t i = 2; i < ProfileTable.size(); ++i) EXPECT_EQ(ProfileTable[i], TProfile{}) << i;
    EXPECT_EQ(&SelectedProfile(), &ProfileTable[0]);
    EXPECT_TRUE(prompts_.Messages.empty());
    EXPECT_FALSE(std::filesystem::exists(folder_));  // loading creates nothing
}

TEST_F(SettingsTest, StoredValuesAreReadAsStored) {
    struct Case {
        const char* what;
        std::string file;
        std::function<void()> check;
    };
    const std::vector<Case> cases = {
        {"boolean 5 reads true, a word false", Settings("Autoconnect=5\nVerify=yes\nBackup=-1\nMemory=0\n"),
         [] {
             EXPECT_TRUE(Config.Autoconnect);
             EXPECT_FALSE(Config.Verify);
             EXPECT_TRUE(Config.Backup);
             EXPECT_FALSE(Config.Memory);
         }},
        {"empty file", "", [] { EXPECT_EQ(Config, TConfig{}); }},
        {"start address is not clamped", Settings("Startaddress=70000\n"),
         [] { EXPECT_EQ(Config.Startaddress, 70000); }},
        {"hexadecimal and bad numbers", "[Main]\nx=0x20\ny=$1F\n[Settings]\nCOMIndex=two\nFileType=2\n",
         [] {
             EXPECT_EQ(Config.MainX, 32);
             EXPECT_EQ(Config.MainY, 31);
             EXPECT_EQ(Config.COMIndex, 0);
             EXPECT_EQ(Config.FileType, 2);
         }},
        {"keys and sections without regard to case, CR LF",
         "[settings]\r\nlast FILE=/home/anna/Mein Projekt/prüfung 1.hex\r\nPROFILEINDEX=1\r\n[EXTDLG]\r\nW=1024\r\n",
         [] {
             EXPECT_EQ(Config.LastFile, "/home/anna/Mein Projekt/prüfung 1.hex");
             EXPECT_EQ(Config.ProfileIndex, 1);
             EXPECT_EQ(Config.ExtDlgW, 1024);
         }},
        {"Profiles=0 ignores stale sections",
         Settings("Profiles=0\n") + ProfileSection(0, "Name=old\n") + ProfileSection(1, "Name=older\n"),
         [] {
             EXPECT_EQ(Config.ProfileCount, 2);
             EXPECT_EQ(ProfileTable[2], TProfile{});
         }},
        {"negative Profiles loads none", Settings("Profiles=-3\n") + ProfileSection(0, "Name=old\n"),
         [] {
             EXPECT_EQ(Config.Profiles, 0);
             EXPECT_EQ(Config.ProfileCount, 2);
         }},
        {"Profiles above the table loads 254", Settings("Profiles=300\nProfileIndex=300\n"),
         [] {
             EXPECT_EQ(Config.Profiles, 254);
             EXPECT_EQ(Config.ProfileCount, 256);
             EXPECT_EQ(SelectedProfileIndex(), 255);
         }},
        {"ProfileIndex outside the table is held inside it for use", Settings("ProfileIndex=7\n"),
         [] {
             EXPECT_EQ(Config.ProfileIndex, 7);
             EXPECT_EQ(SelectedProfileIndex(), 1);
             EXPECT_EQ(SelectedProfile().Name, "89S8253 (default)");
         }},
        {"negative ProfileIndex selects the first profile", Settings("ProfileIndex=-4\n"),
         [] { EXPECT_EQ(SelectedProfileIndex(), 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteSettings(c.file);
        LoadSettings();
        c.check();
    }
}

TEST_F(SettingsTest, UserProfilesAreValidatedByType) {
    struct Case {
        const char* what;
        std::string section;
        TProfile expected;
        bool reported;
    };
    const std::vector<Case> cases = {
        {"type 0 with a chip-erase wait", "Name=a\nType=0\nWaitEEPROM=4000\nWaitErase=500000\n",
         {"a", "", false, 0, false, false, false, 4000, 4000, -1}, true},
        {"type 6 with waits", "Name=b\nType=6\nWaitEEPROM=4000\nWaitErase=0\n",
         {"b", "", false, 6, false, false, false, 4000, -1, -1}, true},
        {"type 9 stays as it is", "Name=c\nType=9\nWaitFlash=1\nWaitEEPROM=-5\nWaitErase=-7\n",
         {"c", "", false, 9, false, false, false, 1, -5, -7}, false},
        {"Type=260 is type 4", "Name=d\nType=260\nWaitEEPROM=4500\nWaitErase=500000\n",
         {"d", "", false, 4, false, false, false, 4000, 4500, 500000}, false},
        {"type 5 without WaitEEPROM", "Name=e\nInfo=i\nType=5\nSCK=1\nMISO=2\nMOSI=0\nWaitErase=500000\n",
         {"e", "i", false, 5, true, true, false, 4000, -1, 500000}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompts_.Messages.clear();
        WriteSettings(Settings("Profiles=1\n") + ProfileSection(0, c.section));
        LoadSettings();
        ASSERT_EQ(Config.ProfileCount, 3);
        EXPECT_EQ(ProfileTable[2], c.expected);
        EXPECT_EQ(Corrections(), c.reported ? 1u : 0u);
    }
}

TEST_F(SettingsTest, ManyCorrectionsAreReportedOnce) {
    WriteSettings(Settings("Profiles=3\n") + ProfileSection(0, "Type=0\n") + ProfileSection(1, "Type=6\n"));
    LoadSettings();  // section [2] is missing: a type-0 profile without WaitErase
    EXPECT_EQ(Config.ProfileCount, 5);
    EXPECT_EQ(ProfileTable[4].WaitErase, -1);
    EXPECT_EQ(prompts_.Messages.size(), 1u);
    EXPECT_EQ(Corrections(), 1u);
}

TEST_F(SettingsTest, MissingWaitIsReportedAtEveryStartUntilSaved) {
    WriteSettings(Settings("Profiles=1\n") + ProfileSection(0, "Name=no erase wait\nType=0\nWaitEEPROM=4000\n"));
    LoadSettings();
    LoadSettings();
    EXPECT_EQ(Corrections(), 2u);
    ASSERT_TRUE(SaveSettings());
    LoadSettings();
    EXPECT_EQ(Corrections(), 2u);
    EXPECT_EQ(ProfileTable[2].WaitErase, -1);
}

TEST_F(SettingsTest, SaveWritesBackClampedAndNormalisedValues) {
    WriteSettings(Settings("ProfileIndex=7\nAutoconnect=5\nVerify=yes\nStartaddress=70000\n"));
    LoadSettings();
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(Config.ProfileIndex, 1);
    IniFile saved;
    ASSERT_EQ(saved.Load(File().string()), IniFile::LoadResult::Read);
    EXPECT_EQ(saved.Value("Settings", "ProfileIndex"), "1");
    EXPECT_EQ(saved.Value("Settings", "Autoconnect"), "1");
    EXPECT_EQ(saved.Value("Settings", "Verify"), "0");
    EXPECT_EQ(saved.Value("Settings", "Startaddress"), "70000");
    EXPECT_EQ(saved.Value("General", "Version"), "1.4");
    EXPECT_EQ(saved.Value("General", "Edition"), "Corvane");
    EXPECT_FALSE(saved.Value("General", "Copyright").value_or("").empty());
    EXPECT_FALSE(saved.Value("Settings", "ProfileCount").has_value());
    EXPECT_FALSE(saved.Value("Settings", "CmdFile").has_value());
}

TEST_F(SettingsTest, FreshFileHasSectionsInOrder) {
    LoadSettings();
    TProfile p = ProfileTable[1];
    p.Name = "mine";
    ASSERT_TRUE(AddProfile(ProfileTable, Config.ProfileCount, p));
    Config.Profiles = 1;
    ASSERT_TRUE(SaveSettings());
    const std::string text = ReadSettings();
    const std::vector<std::string> order = {
        "[General]",  "Copyright=",   "Version=1.4", "Edition=Corvane", "[Main]",         "x=10",
        "y=10",       "[Settings]",   "COMIndex=0",  "Autoconnect=0",   "Memory=0",       "Startaddress=0",
        "Verify=0",   "Backup=0",     "Last file=",  "FileType=1",      "Profiles=1",     "ProfileIndex=0",
        "[0]",        "Name=mine",    "Info=Atmel AT89S8253 (page mode)", "Type=4",       "SCK=0",
        "MISO=0",     "MOSI=0",       "WaitFlash=4500", "WaitEEPROM=4500", "WaitErase=500000", "[ExtDlg]",
        "x=10",       "y=10",         "w=800",       "h=600"};
    size_t at = 0;
    for (const std::string& piece : order) {
        const size_t found = text.find(piece, at);
        ASSERT_NE(found, std::string::npos) << piece << " after offset " << at << " in\n" << text;
        at = found + piece.size();
    }
}

TEST_F(SettingsTest, SaveKeepsForeignContentAndStaleSections) {
    const std::string original =
        "; my notes about this programmer\r\n"
        "[Tools]\r\n"
        "Editor=vim\r\n"
        "\r\n"
        "[Settings]\r\n"
        "COMIndex=1\r\n"
        "Colour=blue\r\n"
        "Profiles=1\r\n"
        "; remember: profile 1 was the old board\r\n"
        "[0]\r\n"
        "Name=first\r\nType=4\r\nWaitEEPROM=4500\r\nWaitErase=500000\r\nComment=kept\r\n"
        "[1]\r\n"
        "Name=stale\r\nType=0\r\n";
    WriteSettings(original);
    LoadSettings();
    EXPECT_EQ(Config.ProfileCount, 3);
    Config.COMIndex = 2;
    ASSERT_TRUE(SaveSettings());
    const std::string text = ReadSettings();
    for (const char* kept : {"; my notes about this programmer\r\n[Tools]\r\nEditor=vim\r\n\r\n[Settings]\r\n",
                             "Colour=blue\r\n", "; remember: profile 1 was the old board\r\n[0]\r\n",
                             "Comment=kept\r\n", "[1]\r\nName=stale\r\nType=0\r\n", "COMIndex=2\r\n"}) {
        EXPECT_NE(text.find(kept), std::string::npos) << kept << " missing in\n" << text;
    }
    EXPECT_EQ(text.find("\n\n"), std::string::npos) << "line ends changed:\n" << text;
    EXPECT_EQ(text.find("COMIndex=1"), std::string::npos);
}

TEST_F(SettingsTest, DeletingTheMiddleUserProfileKeepsTheOthers) {
    WriteSettings(Settings("Profiles=3\nProfileIndex=3\n") +
                  ProfileSection(0, "Name=one\nType=4\nWaitFlash=1000\nWaitEEPROM=4500\nWaitErase=500000\n") +
                  ProfileSection(1, "Name=two\nType=4\nWaitFlash=2000\nWaitEEPROM=4500\nWaitErase=500000\n") +
                  ProfileSection(2, "Name=three\nType=5\nWaitFlash=3000\nWaitEEPROM=-1\nWaitErase=500000\n"));
    LoadSettings();
    ASSERT_EQ(Config.ProfileCount, 5);

    // The Options dialog's working copy: delete the selected entry, select the one above, confirm.
    TProfileList work = ProfileTable;
    int32_t count = Config.ProfileCount;
    int32_t selected = Config.ProfileIndex;
    ASSERT_TRUE(DeleteProfile(work, count, selected));
    --selected;
    CommitProfiles(work, count, selected);
    EXPECT_EQ(Config.ProfileCount, 4);
    EXPECT_EQ(Config.Profiles, 2);
    EXPECT_EQ(SelectedProfile().Name, "one");
    EXPECT_EQ(ProfileTable[3].Name, "three");
    EXPECT_EQ(ProfileTable[3].WaitFlash, 3000);
    EXPECT_EQ(ProfileTable[4], TProfile{});
    ASSERT_TRUE(SaveSettings());

    LoadSettings();
    EXPECT_EQ(Config.ProfileCount, 4);
    EXPECT_EQ(Config.ProfileIndex, 2);
    EXPECT_EQ(ProfileTable[2].Name, "one");
    EXPECT_EQ(ProfileTable[2].WaitFlash, 1000);
    EXPECT_EQ(ProfileTable[3].Name, "three");
    EXPECT_EQ(ProfileTable[3].Type, ctAT89S52);
    EXPECT_EQ(ProfileTable[3].WaitEEPROM, -1);
    IniFile saved;
    ASSERT_EQ(saved.Load(File().string()), IniFile::LoadResult::Read);
    EXPECT_EQ(saved.Value("2", "Name"), "three");  // stale, ignored from now on
}

TEST_F(SettingsTest, RoundTripKeepsEveryValue) {
    LoadSettings();
    Config = TConfig{-1920, 2147483647, 5,  true,  true, 70000, true,   true, " /home/jürgen/Meine Dateien/test 1.hex",
                     3,     3,          5,  4,     7,   "cmd",  2,      true, -10, 20, 1024, 2147483647};
    const std::vector<TProfile> users = {
        {"ATmega \"Board\" ", "  Ünïcödé: ², µs", false, ctATmega, true, false, true, 100, 9000, 10000},
        {"", "'quoted'", false, 200, false, true, false, -1, -2, -3},
        {"x=y; [z]", "line\tbreak", false, ctAT89S53, true, true, true, 10000, -1, -1},
    };
    for (size_t i = 0; i < users.size(); ++i) ProfileTable[2 + i] = users[i];
    ASSERT_TRUE(SaveSettings());
    const TConfig savedConfig = Config;
    const TProfileList savedTable = ProfileTable;
    const std::string firstText = ReadSettings();

    LoadSettings();
    EXPECT_TRUE(prompts_.Messages.empty());
    TConfig expected = savedConfig;
    expected.CmdCOM = 0;  // the command line is never stored
    expected.CmdFile = "";
    expected.ExecMode = -1;
    expected.ShowHelp = false;
    EXPECT_EQ(Config, expected);
    EXPECT_EQ(ProfileTable, savedTable);

    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(ReadSettings(), firstText);
}

TEST_F(SettingsTest, SettingsLiveInTheConfigFolder) {
    const std::string home = (root_ / "home").string();
    struct Case {
        const char* what;
        const char* xdg;  // nullptr: not set
        std::string folder;
    };
    const std::vector<Case> cases = {
        {"XDG_CONFIG_HOME", "/srv/cfg", "/srv/cfg"},
        {"trailing separator dropped", "/srv/cfg//", "/srv/cfg"},
        {"unset", nullptr, home + "/.config"},
        {"empty", "", home + "/.config"},
        {"relative is ignored", "cfg", home + "/.config"},
        {"never the root", "/", home + "/.config"},
    };
    ::setenv("HOME", home.c_str(), 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.xdg != nullptr) {
            ::setenv("XDG_CONFIG_HOME", c.xdg, 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
        EXPECT_EQ(AppDataFolder(), c.folder);
        EXPECT_EQ(SettingsFileName(), c.folder + "/Kestrin.ini");
    }

    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("HOME");  // the account's home folder, or at worst some folder other than the root
    const std::filesystem::path fallback = AppDataFolder();
    EXPECT_TRUE(fallback.is_absolute());
    EXPECT_NE(fallback, fallback.root_path());
}

TEST_F(SettingsTest, SaveCreatesTheFolderKeepsLinksAndAccessRights) {
    namespace fs = std::filesystem;
    folder_ = root_ / "new" / "deeper";
    ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    LoadSettings();
    ASSERT_TRUE(SaveSettings());
    EXPECT_TRUE(fs::is_regular_file(File()));

    const fs::path target = root_ / "dotfiles" / "Kestrin.ini";
    fs::create_directories(target.parent_path());
    fs::rename(File(), target);
    fs::create_symlink(target, File());
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    Config.COMIndex = 4;
    ASSERT_TRUE(SaveSettings());
    EXPECT_TRUE(fs::is_symlink(File()));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    LoadSettings();
    EXPECT_EQ(Config.COMIndex, 4);
}

TEST_F(SettingsTest, FailedSaveKeepsTheOldFileAndSaysSo) {
    struct Case {
        const char* what;
        std::function<void()> arrange;  // makes the next save fail
        std::function<void()> undo;
    };
    const std::string old = Settings("COMIndex=1\nProfiles=0\n") + "; hand-written\n";
    std::vector<Case> cases = {
        {"disk full while writing",
         [] {
             std::signal(SIGXFSZ, SIG_IGN);
             // Room for the old file and the message, not for the new file.
             rlimit limit{200, RLIM_INFINITY};
             ::setrlimit(RLIMIT_FSIZE, &limit);
         },
         [] {
             rlimit limit{RLIM_INFINITY, RLIM_INFINITY};
             ::setrlimit(RLIMIT_FSIZE, &limit);
         }},
        {"settings folder is a file",
         [this] { ::setenv("XDG_CONFIG_HOME", (root_ / "plain" / "config").c_str(), 1); },
         [this] { ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1); }},
    };
    std::ofstream(root_ / "plain") << "not a folder";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteSettings(old);
        LoadSettings();
        Config.COMIndex = 2;
        c.arrange();
        ::testing::internal::CaptureStderr();
        const bool saved = SaveSettings();
        const std::string err = ::testing::internal::GetCapturedStderr();
        c.undo();
        EXPECT_FALSE(saved);
        EXPECT_NE(err.find("could not be saved"), std::string::npos) << err;
        EXPECT_EQ(ReadSettings(), old);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1) << "temporary file left";
    }
}

TEST_F(SettingsTest, UnreadableFileIsNeitherUsedNorReplaced) {
    std::filesystem::create_directories(File() / "inside");
    ::testing::internal::CaptureStderr();
    LoadSettings();
    const std::string loadErr = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Config.ProfileCount, 2);
    EXPECT_NE(loadErr.find("could not be read"), std::string::npos) << loadErr;

    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(SaveSettings());
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("could not be saved"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(File() / "inside"));
}

}  // namespace kestrin::test

namespace kestrin::test {

TEST_F(SettingsTest, TheTargetClockIsStoredOnlyWhenNamed) {
    struct Case {
        const char* what;
        const char* stored;  // the key's line in the section, or "" for none
        int32_t loaded;
        const char* saved;   // what the section holds after saving
    };
    const Case cases[] = {
        {"absent: the slow clock, and no key written", "", 0, nullptr},
        {"auto", "TargetClock=auto\n", -1, "TargetClock=auto"},
        {"16 MHz", "TargetClock=16\n", 16, "TargetClock=16"},
        {"a clock not offered", "TargetClock=20\n", 0, "TargetClock="},
        {"garbage", "TargetClock=fast\n", 0, "TargetClock="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteSettings("[Settings]\nProfiles=1\n[0]\nName=board\nType=3\nWaitEEPROM=9000\nWaitErase=10000\n" +
                      std::string(c.stored));
        LoadSettings();
        ASSERT_EQ(Config.ProfileCount, DefaultProfileCount + 1);
        EXPECT_EQ(ProfileTable[DefaultProfileCount].TargetClock, c.loaded);
        ASSERT_TRUE(SaveSettings());
        const std::string text = ReadSettings();
        if (c.saved == nullptr)
            EXPECT_EQ(text.find("TargetClock"), std::string::npos);
        else
            EXPECT_NE(text.find(c.saved), std::string::npos) << text;
    }
    // A clock named and then taken back leaves no clock behind.
    WriteSettings("[Settings]\nProfiles=1\n[0]\nName=board\nType=3\nTargetClock=8\n");
    LoadSettings();
    ProfileTable[DefaultProfileCount].TargetClock = 0;
    ASSERT_TRUE(SaveSettings());
    LoadSettings();
    EXPECT_EQ(ProfileTable[DefaultProfileCount].TargetClock, 0);
}

}  // namespace kestrin::test
