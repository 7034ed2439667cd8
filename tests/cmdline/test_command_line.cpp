// The command line: splitting, each parameter's effect on the settings, what is
// ignored and why, the /C port match, and the line the clipboard entry makes.
#include <gtest/gtest.h>

#include <QDir>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "config/UnitConfig.h"

namespace kestrin::test {
namespace {

using Strings = std::vector<std::string>;

TEST(CommandLineSplit, BlanksSeparateAndQuotesEncloseBlanks) {
    struct Case {
        std::string line;
        Strings parameters;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"   ", {}},
        {"/C=2 /P=1", {"/C=2", "/P=1"}},
        {"  /C=2 \t /P=1  ", {"/C=2", "/P=1"}},
        {R"(/f="d:\My File.bin" /v=1)", {R"(/f=d:\My File.bin)", "/v=1"}},
        {R"(/F="two  blanks.bin")", {"/F=two  blanks.bin"}},
        {R"("/F=quoted whole.hex" /S=1)", {"/F=quoted whole.hex", "/S=1"}},
        {R"(/F="" /S=1)", {"/F=", "/S=1"}},
        {R"(/F="open quote runs to the end)", {"/F=open quote runs to the end"}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.parameters) << c.line;
}

TEST(CommandLineSplit, ArgumentsTheShellSplitAlready) {
    struct Case {
        Strings arguments;
        Strings parameters;
    };
    const std::vector<Case> cases = {
        // What a POSIX shell passes for /f="d:\My File.bin": quotes gone, one argument.
        {{R"(/f=d:\My File.bin)", "/v=1"}, {R"(/f=d:\My File.bin)", "/v=1"}},
        // Quotes left in by a caller that passes the text unchanged.
        {{R"(/f="d:\My File.bin")", "/v=1"}, {R"(/f=d:\My File.bin)", "/v=1"}},
        // Split at the blank by a caller that did not honour the quotes.
        {{R"(/f="d:\My)", R"(File.bin")", "/v=1"}, {R"(/f=d:\My File.bin)", "/v=1"}},
        {{R"(/f="a)", "b", R"(c")"}, {"/f=a b c"}},
        {{R"(/f="never closed)", "x"}, {"/f=never closed x"}},
        {{"", "/S=1"}, {"/S=1"}},
    };
    for (const Case& c : cases) EXPECT_EQ(CommandLineParameters(c.arguments), c.parameters) << c.arguments.front();
}

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        config_ = TConfig{};
        config_.ProfileCount = 3;  // the two defaults and one user profile
    }
    Strings Parse(const std::string& line) { return ParseCommandLine(SplitCommandLine(line), config_); }

    TConfig config_;
};

TEST_F(CommandLineTest, EachParameterReplacesItsSetting) {
    struct Case {
        std::string line;
        std::function<void(TConfig&)> expect;  // applied to the record before parsing
    };
    const std::vector<Case> cases = {
        {"/C=2", [](TConfig& c) { c.CmdCOM = 2; }},
        {"/C=12", [](TConfig& c) { c.CmdCOM = 12; }},
        {"/C=ttyUSB0", [](TConfig& c) { c.CmdPort = "ttyUSB0"; }},
        {"/P=1", [](TConfig& c) { c.ProfileIndex = 0; }},
        {"/P=3", [](TConfig& c) { c.ProfileIndex = 2; }},
        {"/M=E", [](TConfig& c) { c.Memory = true; }},
        {"/M=e", [](TConfig& c) { c.Memory = true; }},
        {"/M=F", [](TConfig& c) { c.Memory = false; }},
        {"/M=EEPROM", [](TConfig& c) { c.Memory = false; }},
        {"/A=0", [](TConfig& c) { c.Startaddress = 0; }},
        {"/A=512", [](TConfig& c) { c.Startaddress = 512; }},
        {"/A=65535", [](TConfig& c) { c.Startaddress = 65535; }},
        // The name's extension picks the file type as the dialog's type list would.
        {"/F=blink.hex", [](TConfig& c) { c.CmdFile = "blink.hex"; c.FileType = 2; }},
        {"/F=BLINK.OBJ", [](TConfig& c) { c.CmdFile = "BLINK.OBJ"; c.FileType = 2; }},
        {"/F=blink.bin", [](TConfig& c) { c.CmdFile = "blink.bin"; c.FileType = 1; }},
        {"/F=blink.dat", [](TConfig& c) { c.CmdFile = "blink.dat"; }},
        {"/F=hex", [](TConfig& c) { c.CmdFile = "hex"; }},
        {"/V=1", [](TConfig& c) { c.Verify = true; }},
        {"/V=0", [](TConfig& c) { c.Verify = false; }},
        {"/B=1", [](TConfig& c) { c.Backup = true; }},
        {"/B=0", [](TConfig& c) { c.Backup = false; }},
        {"/T=1", [](TConfig& c) { c.Autoconnect = true; }},
        {"/T=0", [](TConfig& c) { c.Autoconnect = false; }},
        {"/S=0", [](TConfig& c) { c.ExecMode = 0; }},
        {"/S=2", [](TConfig& c) { c.ExecMode = 2; }},
        {"/S=3", [](TConfig& c) { c.ExecMode = 3; }},
        {"/S=9", [](TConfig& c) { c.ExecMode = 3; }},  // every higher mode stays open like 3
        {"/H=1", [](TConfig& c) { c.ShowHelp = true; }},
        {"/H=0", [](TConfig& c) { c.ShowHelp = false; }},
        {"/S=+1", [](TConfig& c) { c.ExecMode = 1; }},
        // Later parameters override earlier ones.
        {"/A=1 /A=2", [](TConfig& c) { c.Startaddress = 2; }},
        {"/C=3 /C=ttyACM0", [](TConfig& c) { c.CmdPort = "ttyACM0"; }},
        {"/C=ttyACM0 /C=3", [](TConfig& c) { c.CmdCOM = 3; }},
    };
    for (const bool storedOn : {false, true}) {
        for (const Case& c : cases) {
            TConfig stored{};
            stored.ProfileCount = 3;
            stored.ProfileIndex = 1;
            stored.Startaddress = 100;
            stored.Memory = stored.Verify = stored.Backup = stored.Autoconnect = storedOn;
            stored.FileType = storedOn ? 2 : 3;
            config_ = stored;
            TConfig expected = stored;
            c.expect(expected);
            EXPECT_TRUE(Parse(c.line).empty()) << c.line;
            EXPECT_EQ(config_, expected) << c.line << " stored " << storedOn;
        }
    }
}

TEST_F(CommandLineTest, LettersAndValuesInAnyCaseAndAnyOrder) {
    const Strings lines = {
        R"(/c=2 /p=2 /m=e /a=4096 /f="My File.hex" /v=1 /b=1 /t=1 /s=1)",
        R"(/S=1 /T=1 /B=1 /V=1 /F="My File.hex" /A=4096 /M=E /P=2 /C=2)",
        R"(/t=1 /F="My File.hex" /s=1 /M=e /b=1 /A=4096 /v=1 /C=2 /P=2)",
    };
    TConfig expected{};
    expected.ProfileCount = 3;
    expected.CmdCOM = 2;
    expected.ProfileIndex = 1;
    expected.Memory = true;
    expected.Startaddress = 4096;
    expected.CmdFile = "My File.hex";
    expected.FileType = 2;
    expected.Verify = expected.Backup = expected.Autoconnect = true;
    expected.ExecMode = 1;
    for (const std::string& line : lines) {
        SetUp();
        EXPECT_TRUE(Parse(line).empty()) << line;
        EXPECT_EQ(config_, expected) << line;
    }
}

TEST_F(CommandLineTest, IgnoredParametersAreNotedOneLineEach) {
    struct Case {
        std::string parameter;
        std::string note;
    };
    const std::vector<Case> cases = {
        {"/X=1", "ignored \"/X=1\": unknown parameter"},
        {"/PP=1", "ignored \"/PP=1\": unknown parameter"},
        {"C=2", "ignored \"C=2\": unknown parameter"},
        {"-C=2", "ignored \"-C=2\": unknown parameter"},
        {"blink.hex", "ignored \"blink.hex\": unknown parameter"},
        {"/", "ignored \"/\": unknown parameter"},
        {"/P", "ignored \"/P\": missing value"},
        {"/F=", "ignored \"/F=\": missing value"},
        {"/M=", "ignored \"/M=\": missing value"},
        {"/C=", "ignored \"/C=\": missing value"},
        {"/A=12x", "ignored \"/A=12x\": not a number"},
        {"/A=0x10", "ignored \"/A=0x10\": not a number"},
        {"/P=one", "ignored \"/P=one\": not a number"},
        {"/S=", "ignored \"/S=\": missing value"},
        {"/S=-1", "ignored \"/S=-1\": mode 0 to 3 expected"},
        {"/V=yes", "ignored \"/V=yes\": not a number"},
        {"/A=99999999999999999999", "ignored \"/A=99999999999999999999\": not a number"},
        {"/P=0", "ignored \"/P=0\": no such profile (1..3)"},
        {"/P=4", "ignored \"/P=4\": no such profile (1..3)"},
        {"/A=-1", "ignored \"/A=-1\": start address outside 0..65535"},
        {"/A=65536", "ignored \"/A=65536\": start address outside 0..65535"},
        {"/V=2", "ignored \"/V=2\": 0 or 1 expected"},
        {"/B=-1", "ignored \"/B=-1\": 0 or 1 expected"},
        {"/T=5", "ignored \"/T=5\": 0 or 1 expected"},
        {"/H=2", "ignored \"/H=2\": 0 or 1 expected"},
        {"/C=0", "ignored \"/C=0\": no such port number"},
        {"/C=-3", "ignored \"/C=-3\": no such port number"},
    };
    for (const Case& c : cases) {
        SetUp();
        const TConfig before = config_;
        EXPECT_EQ(ParseCommandLine({c.parameter}, config_), Strings{c.note}) << c.parameter;
        EXPECT_EQ(config_, before) << c.parameter;
    }
    // An ignored parameter does not keep the others from working.
    SetUp();
    EXPECT_EQ(Parse("/X=1 /A=16 /P=9 /V=1").size(), 2u);
    EXPECT_EQ(config_.Startaddress, 16);
    EXPECT_TRUE(config_.Verify);
    EXPECT_EQ(config_.ProfileIndex, 0);
}

TEST_F(CommandLineTest, FirstProfileIsTheAT89S8252Default) {
    ProfileTable.fill(TProfile{});
    BuildDefaultProfiles(ProfileTable);
    Config = TConfig{};
    Config.ProfileIndex = 1;
    EXPECT_TRUE(ParseCommandLine({"/P=1"}, Config).empty());
    EXPECT_EQ(SelectedProfile().Type, ctAT89S8252);
    EXPECT_TRUE(ParseCommandLine({"/P=2"}, Config).empty());
    EXPECT_EQ(SelectedProfile().Type, ctAT89S8253);
}

TEST(CommandLineApply, RelativeFileNamesBecomeAbsolute) {
    Config = TConfig{};
    ApplyCommandLine({QStringLiteral("/F=examples/blink.hex"), QStringLiteral("/S=0")});
    EXPECT_EQ(Config.CmdFile, QDir::current().absoluteFilePath(QStringLiteral("examples/blink.hex")).toStdString());
    EXPECT_EQ(Config.ExecMode, 0);
    ApplyCommandLine({QStringLiteral("/F=/tmp/a b/c.bin")});
    EXPECT_EQ(Config.CmdFile, "/tmp/a b/c.bin");
    Config = TConfig{};
    ApplyCommandLine({});
    EXPECT_EQ(Config, TConfig{});
}

TEST(CommandLinePort, NumbersMatchCharactersFourAndFiveNamesMatchTheName) {
    const Strings com = {"COM1", "COM2", "COM12", "LPT1", "COMx"};
    const Strings tty = {"ttyS0", "ttyUSB0", "ttyUSB1", "ttyACM0"};
    struct Case {
        const Strings* ports;
        int32_t number;
        std::string name;
        int32_t index;
    };
    const std::vector<Case> cases = {
        {&com, 2, "", 1},
        {&com, 12, "", 2},
        {&com, 1, "", 3},  // LPT1 matches too, and the last match wins
        {&com, 7, "", -1},  // no COM7: the stored port stays
        {&com, 0, "", -1},
        {&com, 0, "COM12", 2},
        {&com, 0, "com2", 1},
        {&tty, 0, "ttyUSB1", 2},
        {&tty, 0, "/dev/ttyACM0", 3},
        {&tty, 0, "ttyUSB9", -1},
        {&tty, 0, "", -1},
        {&tty, 1, "", -1},  // tty names carry no number where COM names do
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CommandLinePortIndex(*c.ports, c.number, c.name), c.index) << c.number << " " << c.name;
    }
    EXPECT_EQ(CommandLinePortIndex({}, 2, ""), -1);
    // The last matching entry wins.
    EXPECT_EQ(CommandLinePortIndex({"COM3", "COM03", "XYZ3", "COM4"}, 3, ""), 2);
}

TEST(CommandLinePort, SettingsLineReadsBackAsTheSameSettings) {
    struct Case {
        TCommandLineSettings s;
        std::string line;
    };
    const std::vector<Case> cases = {
        {{"", 0, false, 0, "", false, false, false}, "/P=1 /M=F /A=0 /V=0 /B=0 /T=0"},
        {{"COM2", 1, true, 512, "/tmp/My File.hex", true, true, true},
         R"(/C=2 /P=2 /M=E /A=512 /F="/tmp/My File.hex" /V=1 /B=1 /T=1)"},
        {{"ttyUSB0", 0, false, 4096, "/tmp/plain.bin", true, false, true},
         "/C=ttyUSB0 /P=1 /M=F /A=4096 /F=/tmp/plain.bin /V=1 /B=0 /T=1"},
    };
    for (const Case& c : cases) {
        const std::string line = SettingsCommandLine(c.s);
        EXPECT_EQ(line, c.line);
        TConfig config{};
        config.ProfileCount = 2;
        EXPECT_TRUE(ParseCommandLine(SplitCommandLine(line), config).empty()) << line;
        EXPECT_EQ(config.ProfileIndex, c.s.ProfileIndex);
        EXPECT_EQ(config.Memory, c.s.EEPROM);
        EXPECT_EQ(config.Startaddress, c.s.StartAddress);
        EXPECT_EQ(config.CmdFile, c.s.FileName);
        EXPECT_EQ(config.Verify, c.s.Verify);
        EXPECT_EQ(config.Backup, c.s.Backup);
        EXPECT_EQ(config.Autoconnect, c.s.Autoconnect);
        const Strings ports = {"COM1", c.s.PortName.empty() ? "COM9" : c.s.PortName};
        EXPECT_EQ(CommandLinePortIndex(ports, config.CmdCOM, config.CmdPort), c.s.PortName.empty() ? -1 : 1) << line;
    }
}

TEST(CommandLineEarly, HelpAndVersionRequests) {
    struct Case {
        QStringList arguments;
        TEarlyRequest request;
    };
    const std::vector<Case> cases = {
        {{}, TEarlyRequest::None},
        {{"/H=1", "/S=1"}, TEarlyRequest::None},  // the help window, not the terminal text
        {{"--help"}, TEarlyRequest::Help},
        {{"/S=1", "-h"}, TEarlyRequest::Help},
        {{"/?"}, TEarlyRequest::Help},
        {{"--version"}, TEarlyRequest::Version},
        {{"--version", "--help"}, TEarlyRequest::Help},
        {{"--HELP"}, TEarlyRequest::None},
    };
    for (const Case& c : cases) EXPECT_EQ(EarlyRequest(c.arguments), c.request) << c.arguments.join(' ').toStdString();
}

}  // namespace
}  // namespace kestrin::test
