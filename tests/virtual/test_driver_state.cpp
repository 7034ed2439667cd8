#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "VirtualDriver.h"

namespace fs = std::filesystem;
using kestrin::Ops;
using kestrin::test::Bytes;
using kestrin::test::Exchange;
using kestrin::test::Handshake;
using kestrin::test::VirtualDriver;

namespace {

struct TempDir {
    TempDir() : path(fs::temp_directory_path() / ("kestrin-virtual-test-" + std::to_string(::getpid()))) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string File(const std::string& name) const { return (path / name).string(); }
    fs::path path;
};

Bytes Pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 13);
    return b;
}

// Writes Flash page 0 of an AT89S8253 through the adapter, as a programming run does.
void ProgramPageZero(const Bytes& page) {
    ASSERT_EQ(Ops.Connect(0, 1), 0);
    Ops.SetEnables(0, 1);
    Ops.SetLevels(0, 0, 0);
    ASSERT_EQ(Handshake(2, 0x53), 1);
    Bytes instr = {0x50, 0x00, 0x00};
    instr.insert(instr.end(), page.begin(), page.end());
    Exchange(instr);
    Ops.Delay(4500);
    Ops.Delay(1000);
    Ops.SetEnables(0, 1);
}

}  // namespace

TEST(VirtualAdapterState, MemoriesSurviveAReload) {
    TempDir dir;
    const std::string file = dir.File("8253.state");
    const Bytes page = Pattern(64, 7);
    {
        VirtualDriver vv;
        vv.Set("chip", "AT89S8253");
        vv.Set("state_file", file);
        vv.Write(VV_EEPROM, 0x7F0, {0xDE, 0xAD});
        vv.Write(VV_FUSES, 0, {0xF4});
        ProgramPageZero(page);
        Ops.Disconnect();
        ASSERT_TRUE(fs::exists(file));
    }
    VirtualDriver vv;  // a fresh, erased chip
    EXPECT_EQ(vv.Read(VV_FLASH, 0, 64), Bytes(64, 0xFF));
    vv.Set("chip", "AT89S8253");
    vv.Set("state_file", file);
    EXPECT_EQ(vv.Read(VV_FLASH, 0, 64), page);
    EXPECT_EQ(vv.Read(VV_EEPROM, 0x7F0, 2), (Bytes{0xDE, 0xAD}));
    EXPECT_EQ(vv.Read(VV_FUSES, 0, 1), Bytes{0xF4});
}

TEST(VirtualAdapterState, StateIsSavedWhenTheProcessEnds) {
    TempDir dir;
    const std::string file = dir.File("{chip}.state");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        VirtualDriver vv;
        vv.Set("chip", "ATmega8");
        vv.Set("state_file", file);
        vv.Write(VV_FLASH, 0x100, {1, 2, 3});
        std::exit(0);  // no Disconnect: the library saves on its way out
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_TRUE(fs::exists(dir.File("ATmega8.state")));
    VirtualDriver vv;
    vv.Set("chip", "ATmega8");
    vv.Set("state_file", file);
    EXPECT_EQ(vv.Read(VV_FLASH, 0x100, 3), (Bytes{1, 2, 3}));
}

TEST(VirtualAdapterState, MissingOrDamagedStateGivesAnErasedChip) {
    TempDir dir;
    // A good file to damage in different ways.
    const std::string good = dir.File("good.state");
    {
        VirtualDriver vv;
        vv.Set("chip", "AT89S8253");
        vv.Set("state_file", good);
        vv.Write(VV_FLASH, 0, Pattern(12288, 1));
        vv.Write(VV_EEPROM, 0, Pattern(2048, 2));
        ASSERT_EQ(vv.SaveState(), 0);
    }
    std::ifstream in(good, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 14336u);

    struct Case {
        const char* what;
        std::function<Bytes(Bytes)> damage;  // empty result: no file
        std::string chip;
    };
    const std::vector<Case> cases = {
        {"missing", [](Bytes) { return Bytes{}; }, "AT89S8253"},
        {"empty", [](Bytes) { return Bytes{0}; }, "AT89S8253"},
        {"bad magic", [](Bytes b) { b[0] ^= 1; return b; }, "AT89S8253"},
        {"flipped data byte", [](Bytes b) { b[100] ^= 0x40; return b; }, "AT89S8253"},
        {"cut short", [](Bytes b) { b.resize(b.size() / 2); return b; }, "AT89S8253"},
        {"trailing bytes", [](Bytes b) { b.insert(b.end(), 10, 0); return b; }, "AT89S8253"},
        {"another chip's file", [](Bytes b) { return b; }, "AT89S8252"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = dir.File(std::string("case-") + c.what);
        const Bytes damaged = c.damage(bytes);
        if (!damaged.empty() && damaged != Bytes{0}) {
            std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(damaged.data()),
                                                        static_cast<std::streamsize>(damaged.size()));
        } else if (damaged == Bytes{0}) {
            std::ofstream(file, std::ios::binary).flush();
        }
        VirtualDriver vv;
        vv.Set("chip", c.chip);
        vv.Set("state_file", file);
        EXPECT_EQ(vv.Read(VV_FLASH, 0, vv.Size(VV_FLASH)), Bytes(static_cast<size_t>(vv.Size(VV_FLASH)), 0xFF));
        EXPECT_EQ(vv.Read(VV_EEPROM, 0, vv.Size(VV_EEPROM)), Bytes(static_cast<size_t>(vv.Size(VV_EEPROM)), 0xFF));
        EXPECT_EQ(vv.Read(VV_LOCK, 0, 1), Bytes{0xFF});
        // A damaged file is kept aside, never silently overwritten.
        if (fs::exists(file + ".bad")) {
            EXPECT_NE(std::string(c.what), "missing");
        } else {
            EXPECT_EQ(std::string(c.what), "missing");
        }
    }
}

TEST(VirtualAdapterState, SettingsComeFromTheIniFileNamedByTheEnvironment) {
    TempDir dir;
    const std::string ini = dir.File("virtual.ini");
    std::ofstream(ini) << "# a test configuration\n[adapter]\nchip = AT89S52\nports = COM4, COM5\n"
                          "firmware = 0x30   # newer\nstate_file =\nbogus line\n";
    setenv("VELTRO_VIRTUAL_CONFIG", ini.c_str(), 1);
    VirtualDriver vv(false);
    EXPECT_EQ(Ops.GetNumPorts(), 2);
    EXPECT_STREQ(Ops.GetPortName(1), "COM5");
    EXPECT_EQ(Ops.GetFirmware(), 0x30);
    EXPECT_EQ(vv.Size(VV_FLASH), 8192);
    EXPECT_EQ(vv.Size(VV_EEPROM), 0);
}

TEST(VirtualAdapterState, RealTimeDelayReallyWaits) {
    VirtualDriver vv;
    vv.Set("realtime", "1");
    const auto start = std::chrono::steady_clock::now();
    Ops.Delay(30000);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::microseconds(30000));
    EXPECT_GE(vv.TimeMicros(), 30000);
}

namespace {

// One programming enable after a settle; true when the target echoes it.
bool Answers() {
    Ops.SetEnables(1, 1);
    Ops.Delay(50000);
    const Bytes r = Exchange({0xAC, 0x53, 0x00, 0x00});
    Ops.SetEnables(0, 1);
    return r[2] == 0x53;
}

}  // namespace

TEST(VirtualAdapterState, EachPortHasAChipAndAStateFileOfItsOwn) {
    TempDir dir;
    const Bytes first = Pattern(64, 1), second = Pattern(64, 2);
    {
        VirtualDriver vv;
        vv.Set("chip", "AT89S8253");
        vv.Set("ports", "COM1,/dev/ttyUSB1");
        vv.Set("state_file", dir.File("{chip}{-port}.state"));
        ProgramPageZero(first);  // on COM1
        Ops.Disconnect();
        ASSERT_EQ(Ops.Connect(1, 1), 0);
        EXPECT_EQ(vv.Read(VV_FLASH, 0, 64), Bytes(64, 0xFF)) << "the second port's socket holds a chip of its own";
        vv.Write(VV_FLASH, 0, second);
        Ops.Disconnect();
    }
    // The first port keeps the file a single-port setup always had.
    EXPECT_TRUE(fs::exists(dir.File("AT89S8253.state")));
    EXPECT_TRUE(fs::exists(dir.File("AT89S8253-dev_ttyUSB1.state")));
    VirtualDriver vv;
    vv.Set("chip", "AT89S8253");
    vv.Set("ports", "COM1,/dev/ttyUSB1");
    vv.Set("state_file", dir.File("{chip}{-port}.state"));
    for (const int port : {1, 0}) {
        ASSERT_EQ(Ops.Connect(port, 1), 0);
        EXPECT_EQ(vv.Read(VV_FLASH, 0, 64), port == 0 ? first : second) << port;
        Ops.Disconnect();
    }
}

TEST(VirtualAdapterState, AnOutcomeOnTheLedsStartsAChipChange) {
    VirtualDriver vv;
    vv.Set("chip", "AT89S8253");
    vv.Set("chip_swap", "200:1000");
    ProgramPageZero(Pattern(64, 3));
    ASSERT_EQ(Ops.Connect(0, 1), 0);
    Ops.SetLevels(0, 0, 0);
    // LEDs off, or no outcome yet: the chip stays.
    Ops.SetLEDs(0, 0);
    Ops.Delay(3000000);
    EXPECT_TRUE(Answers());
    Ops.SetLEDs(0, 1);  // failed
    EXPECT_TRUE(Answers()) << "still in the operator's hand";
    Ops.Delay(200000);
    EXPECT_FALSE(Answers()) << "taken out";
    EXPECT_FALSE(Answers());
    Ops.Delay(1000000);
    EXPECT_TRUE(Answers()) << "the next chip is seated";
    EXPECT_EQ(vv.Read(VV_FLASH, 0, 64), Bytes(64, 0xFF)) << "and it is a new one";
    EXPECT_NE(vv.AdapterLog().find("chip 2 put in"), std::string::npos);
    EXPECT_EQ(vv.TrySet("chip_swap", "200"), -1);
}
