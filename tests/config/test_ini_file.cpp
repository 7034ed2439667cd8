#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "config/IniFile.h"

using kestrin::IniFile;
using kestrin::ParseIniInteger;

TEST(IniNumbers, DecimalHexAndNonNumbers) {
    struct Case {
        const char* text;
        std::optional<int32_t> value;
    };
    const std::vector<Case> cases = {
        {"12", 12},
        {"  -7\t", -7},
        {"+5", 5},
        {"007", 7},
        {"0x1F", 31},
        {"0X1f", 31},
        {"$ff", 255},
        {"-$10", -16},
        {"0xFFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"0x100000000", std::nullopt},
        {"", std::nullopt},
        {"word", std::nullopt},
        {"12a", std::nullopt},
        {"1 2", std::nullopt},
        {"1.5", std::nullopt},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"--5", std::nullopt},
        {"0xg1", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseIniInteger(c.text), c.value);
    }
}

TEST(IniLookup, SectionsAndKeysMatchWithoutCase) {
    IniFile ini;
    ini.Parse(
        "orphan=1\n"
        "; comment=not a key\n"
        "[Settings]\n"
        "Last file = C:\\My Files\\prog.hex  \n"
        "COMIndex=3\n"
        "comindex=9\n"
        "Expr=a=b\n"
        "Quoted=\"  padded  \"\n"
        "Single='x'\n"
        "Half=\"x\n"
        "[ Other ]\n"
        "#key=hidden\n"
        "x=$10\n"
        "flag=5\n"
        "word=yes\n");
    struct Case {
        const char* section;
        const char* key;
        std::optional<std::string> value;
    };
    const std::vector<Case> cases = {
        {"settings", "LAST FILE", "C:\\My Files\\prog.hex"},
        {"SETTINGS", "ComIndex", "3"},  // the first of two equal keys counts
        {"Settings", "Expr", "a=b"},
        {"Settings", "Quoted", "  padded  "},
        {"Settings", "Single", "x"},
        {"Settings", "Half", "\"x"},
        {"other", "X", "$10"},
        {"Settings", "orphan", std::nullopt},
        {"Settings", "; comment", std::nullopt},
        {"Other", "#key", std::nullopt},
        {"Missing", "x", std::nullopt},
        {"Settings", "x", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(ini.Value(c.section, c.key), c.value);
    }
    EXPECT_EQ(ini.ReadInteger("Other", "x", 0), 16);
    EXPECT_EQ(ini.ReadInteger("Other", "word", 42), 42);
    EXPECT_EQ(ini.ReadInteger("Other", "none", 42), 42);
    EXPECT_TRUE(ini.ReadBool("Other", "flag", false));
    EXPECT_FALSE(ini.ReadBool("Other", "word", false));
    EXPECT_TRUE(ini.HasSection("OTHER"));
}

TEST(IniWrite, ReplacesKeyByKeyAndKeepsEverythingElse) {
    IniFile ini;
    ini.Parse(
        "; written by hand\n"
        "\n"
        "[Main]\n"
        "  X = 10\n"
        "y=20\n"
        "; leads into Foreign\n"
        "\n"
        "[Foreign]\n"
        "keep=me\n");
    ini.WriteInteger("main", "x", -5);
    ini.WriteString("Main", "Title", "new key");
    ini.WriteBool("Foreign", "flag", true);
    ini.WriteString("Added", "Last file", "/home/ü/a b.hex");
    ini.WriteString("Added", "n", "2");
    EXPECT_EQ(ini.Text(),
              "; written by hand\n"
              "\n"
              "[Main]\n"
              "  X = -5\n"
              "y=20\n"
              "Title=new key\n"
              "; leads into Foreign\n"
              "\n"
              "[Foreign]\n"
              "keep=me\n"
              "flag=1\n"
              "\n"
              "[Added]\n"
              "Last file=/home/ü/a b.hex\n"
              "n=2\n");
}

TEST(IniWrite, KeepsCrLfLineEndsAndByteOrderMark) {
    IniFile ini;
    ini.Parse("\xEF\xBB\xBF[Main]\r\nx=10\r\n\r\n[Foreign]\r\nkeep=me");
    EXPECT_EQ(ini.Value("Main", "x"), "10");
    EXPECT_EQ(ini.Value("Foreign", "keep"), "me");
    ini.WriteInteger("Main", "x", 11);
    ini.WriteInteger("Main", "y", 12);
    EXPECT_EQ(ini.Text(), "\xEF\xBB\xBF[Main]\r\nx=11\r\ny=12\r\n\r\n[Foreign]\r\nkeep=me\r\n");
}

TEST(IniWrite, StringsComeBackAsWritten) {
    const std::vector<std::string> values = {
        "plain",
        "",
        " leading blank",
        "trailing blank ",
        "\tpadded\t",
        "\"quoted\"",
        "'single'",
        "a \"quote\" inside",
        "\"",
        "C:\\Program Files\\Kestrin\\prog.hex",
        "/home/jürgen/Programme für 89S8253/test datei.hex",
        "x=y; not a comment",
        "[not a section]",
    };
    IniFile ini;
    for (size_t i = 0; i < values.size(); ++i) ini.WriteString("S", "k" + std::to_string(i), values[i]);
    IniFile reread;
    reread.Parse(ini.Text());
    for (size_t i = 0; i < values.size(); ++i) {
        SCOPED_TRACE(values[i]);
        EXPECT_EQ(reread.Value("S", "k" + std::to_string(i)), values[i]);
    }
}

TEST(IniWrite, LineBreaksInValuesCannotForgeKeys) {
    IniFile ini;
    ini.WriteString("0", "Name", "evil\r\n[Settings]\nProfiles=200");
    ini.WriteInteger("Settings", "Profiles", 1);
    IniFile reread;
    reread.Parse(ini.Text());
    EXPECT_EQ(reread.ReadInteger("Settings", "Profiles", 0), 1);
    EXPECT_EQ(reread.Value("0", "Name"), "evil  [Settings] Profiles=200");
}
