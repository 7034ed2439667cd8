// kestrin-cli run as a process against the virtual adapter, the way a
// Makefile or a CI job runs it: exit codes, what ends up in the chip and in
// the files, the JSON record, standard input and output as files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CliRun.h"
#include "support/ScratchDir.h"
#include "ElfBuilder.h"
#include "jobs/BackupJournal.h"
#include "cli/Sha256.h"
#include "config/IniFile.h"
#include "virtual/VirtualDriver.h"

extern char** environ;

namespace kestrin::test {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

const std::vector<uint8_t> kBlink = {0xB2, 0x90, 0x7F, 0xFA, 0x7E, 0xFA, 0xDE, 0xFE, 0xDF, 0xFA, 0x80, 0xF4};

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>(i * 7 + seed);
    return v;
}

std::vector<uint8_t> ReadBytes(const fs::path& file) {
    const std::string text = ReadText(file);
    return {text.begin(), text.end()};
}

void WriteBytes(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class CliProcess : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = scratch_.Path();
        fs::create_directories(home_ / "config");
        WriteBytes(Path("blink.bin"), kBlink);
        Adapter("");
    }

    fs::path Path(const std::string& name) const { return home_ / name; }
    fs::path StateFile() const { return home_ / "chip.state"; }
    fs::path SettingsFile() const { return home_ / "config" / "Kestrin.ini"; }

    // The virtual adapter for the next run: this chip, its memory in this test's state file.
    void Adapter(const std::string& extra, const std::string& chip = "AT89S8252") {
        chip_ = chip;
        std::ofstream(Path("virtual.ini")) << "chip = " << chip << "\nstate_file = " << StateFile().string()
                                           << "\nports = COM1,ttyUSB0\n" << extra;
    }

    pid_t Start(const std::vector<std::string>& args, const std::string& stdinFile = "") {
        return StartCli(args,
                        {"XDG_CONFIG_HOME=" + (home_ / "config").string(), "HOME=" + home_.string(),
                         "XDG_STATE_HOME=" + (home_ / ".local" / "state").string(),
                         "VELTRO_VIRTUAL_CONFIG=" + Path("virtual.ini").string(),
                         "LD_LIBRARY_PATH=" + fs::path(KESTRIN_VIRTUAL_DRIVER).parent_path().string()},
                        home_, stdinFile);
    }
    TRun Wait(pid_t pid) { return WaitCli(pid, home_); }

    TRun Run(const std::vector<std::string>& args, const std::string& stdinFile = "") {
        return Wait(Start(args, stdinFile));
    }

    // What the chip holds now, read from a copy of its state file.
    std::vector<uint8_t> Chip(int32_t space, int32_t address, int32_t count) {
        if (!fs::exists(StateFile())) return std::vector<uint8_t>(static_cast<size_t>(count), 0xFF);
        const fs::path copy = Path("readback-" + std::to_string(++readbacks_) + ".state");
        fs::copy_file(StateFile(), copy, fs::copy_options::overwrite_existing);
        VirtualDriver driver;
        driver.Set("chip", chip_);
        driver.Set("state_file", copy.string());
        return driver.Read(space, address, count);
    }
    std::vector<uint8_t> Flash(int32_t address, int32_t count) { return Chip(VV_FLASH, address, count); }

    ScratchDir scratch_{"kestrin-cli"};
    fs::path home_;
    std::string chip_;
    int readbacks_ = 0;
};

TEST_F(CliProcess, WritesReadsAndVerifiesInEveryFileForm) {
    // The same image as a binary file, as Intel HEX on standard input, and placed at a start address.
    const std::vector<uint8_t> image = Pattern(300, 3);
    WriteBytes(Path("image.bin"), image);
    ASSERT_EQ(Run({"write", Path("image.bin").string(), "--verify", "--port", "ttyUSB0"}).exitCode, 0);
    EXPECT_EQ(Flash(0, 300), image);

    ASSERT_EQ(Run({"read", "-o", Path("out.hex").string(), "--size", "300"}).exitCode, 0);
    const TRun hexIn = Run({"write", "-", "--start", "0x400", "--verify", "--json"}, Path("out.hex").string());
    ASSERT_EQ(hexIn.exitCode, 0) << hexIn.err;
    EXPECT_EQ(Flash(0x400, 300), image);
    EXPECT_EQ(hexIn.Json()["file_sha256"], Sha256Hex(ReadBytes(Path("out.hex")).data(), ReadBytes(Path("out.hex")).size()));

    // Standard output as a file: the bytes of a read, binary and Intel HEX.
    const TRun binOut = Run({"read", "--start", "1024", "--size", "0x12C", "-o", "-"});
    ASSERT_EQ(binOut.exitCode, 0) << binOut.err;
    EXPECT_EQ(std::vector<uint8_t>(binOut.out.begin(), binOut.out.end()), image);
    const TRun hexOut = Run({"read", "--size", "300", "-o", "-", "--format", "hex"});
    ASSERT_EQ(hexOut.exitCode, 0);
    EXPECT_EQ(hexOut.out, ReadText(Path("out.hex")));

    EXPECT_EQ(Run({"verify", Path("image.bin").string()}).exitCode, 0);
    EXPECT_EQ(Run({"verify", "-", "--start", "0x400"}, Path("image.bin").string()).exitCode, 0);
}

TEST_F(CliProcess, JsonRecordsTheOutcome) {
    const TRun ok = Run({"write", Path("blink.bin").string(), "--verify", "--json", "--quiet"});
    ASSERT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_EQ(ok.err, "");
    const json record = ok.Json();
    EXPECT_EQ(record["command"], "write");
    EXPECT_EQ(record["result"], "Ok");
    EXPECT_EQ(record["exit_code"], 0);
    EXPECT_EQ(record["bytes"], 12);
    EXPECT_TRUE(record["first_difference"].is_null());
    EXPECT_EQ(record["chip"], "AT89S8252");
    EXPECT_EQ(record["port"], "COM1");
    EXPECT_EQ(record["file_sha256"], Sha256Hex(kBlink.data(), kBlink.size()));
    EXPECT_GE(record["duration"].get<double>(), 0.0);

    // A file that differs from the chip at its fourth byte.
    std::vector<uint8_t> other = kBlink;
    other[3] ^= 0x10;
    WriteBytes(Path("other.bin"), other);
    const TRun differs = Run({"verify", Path("other.bin").string(), "--json"});
    EXPECT_EQ(differs.exitCode, 2);
    const json difference = differs.Json()["first_difference"];
    EXPECT_EQ(difference["address"], 3);
    EXPECT_EQ(difference["wrote"], other[3]);
    EXPECT_EQ(difference["read"], kBlink[3]);
    EXPECT_EQ(differs.Json()["result"], "failed");
}

TEST_F(CliProcess, ExitCodeTellsEachKindOfFailure) {
    struct Case {
        std::string adapter;
        std::string chip;
        std::vector<std::string> args;
        int exitCode;
        std::string message;
        bool chipTouched;
    };
    const std::vector<Case> cases = {
        {"", "AT89S8252", {"write", "BLINK", "--verify"}, 0, "write: Ok (12 bytes", true},
        {"stuck_bit = flash:0x0002:0:0\n", "AT89S8252", {"write", "BLINK", "--verify"}, 2,
         "Verify failed at 0002h: wrote 7F, read 7E", true},
        {"no_target = 1\n", "AT89S8253", {"write", "BLINK", "--chip", "AT89S8253"}, 3, "no device", false},
        {"unplugged = 1\n", "AT89S8252", {"write", "BLINK"}, 1, "Veltro not connected on COM1", false},
        {"", "AT89S8252", {"write", "BLINK", "--start", "65530"}, 1, "File size exceeds memory range", false},
        {"", "AT89S8252", {"write", "BLINK", "--port", "ttyS9"}, 1, "no port ttyS9 (ports: COM1, ttyUSB0)", false},
        {"", "AT89S8252", {"write", "MISSING"}, 1, "File is empty!", false},
        {"", "AT89S52", {"write", "BLINK", "--chip", "AT89S52", "--memory", "eeprom"}, 1, "has no E²PROM", false},
        {"", "AT89S8253", {"detect", "--profile", "2"}, 0, "", false},
        {"no_target = 1\n", "AT89S8253", {"detect"}, 3, "nothing answered", false},
        {"no_target = 1\n", "AT89S8253", {"erase", "--yes", "--chip", "AT89S8253"}, 3, "no device", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TearDown();
        SetUp();
        Adapter(c.adapter, c.chip);
        std::vector<std::string> args = c.args;
        for (auto& a : args) {
            if (a == "BLINK") a = Path("blink.bin").string();
            if (a == "MISSING") a = Path("missing.bin").string();
        }
        const TRun run = Run(args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        const std::vector<uint8_t> flash = Flash(0, 64);
        EXPECT_EQ(std::any_of(flash.begin(), flash.end(), [](uint8_t b) { return b != 0xFF; }), c.chipTouched);
    }
}

TEST_F(CliProcess, CtrlCStopsTheWriteAndTheBackupIsStillWrittenBack) {
    // A real-time AT89S8253 whose E²PROM holds data; a Flash write with backup is stopped midway.
    Adapter("realtime = 1\n", "AT89S8253");
    const std::vector<uint8_t> eeprom = Pattern(64, 9);
    WriteBytes(Path("eeprom.bin"), eeprom);
    ASSERT_EQ(Run({"write", Path("eeprom.bin").string(), "--chip", "AT89S8253", "--memory", "eeprom"}).exitCode, 0);
    WriteBytes(Path("flash.bin"), Pattern(8192, 1));
    const pid_t pid = Start({"write", Path("flash.bin").string(), "--chip", "AT89S8253", "--backup", "--json"});
    // Waits until the write phase runs (its line on standard error), then sends Ctrl+C.
    for (int i = 0; i < 400 && ReadText(Path("stderr")).find("backup:") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(pid, SIGINT);
    const TRun run = Wait(pid);
    EXPECT_EQ(run.exitCode, 4) << run.err;
    EXPECT_EQ(run.Json()["result"], "stopped");
    EXPECT_NE(run.err.find("restore:"), std::string::npos) << run.err;
    EXPECT_EQ(Chip(VV_EEPROM, 0, 64), eeprom);
}

TEST_F(CliProcess, RestoreListsSavesAndWritesBackTheJournal) {
    // A backup of the E²PROM left by a run that died after the erase.
    Adapter("", "AT89S8253");
    const std::vector<uint8_t> eeprom = Pattern(2048, 0x33);
    TBackupRecord record;
    record.ControllerType = ctAT89S8253;
    record.EEPROM = true;
    record.Port = "COM1";
    record.Data = eeprom;
    std::string file, error;
    ASSERT_TRUE(WriteBackupFile((home_ / ".local" / "state" / "kestrin").string(), record, file, error)) << error;

    TRun run = Run({"restore"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(file), std::string::npos) << run.out;
    // A write names it at its start, and goes on.
    run = Run({"write", Path("blink.bin").string(), "--chip", "AT89S8253"});
    EXPECT_NE(run.err.find("kestrin-cli restore --yes"), std::string::npos) << run.err;

    run = Run({"restore", "--save-as", Path("kept.bin").string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(Path("kept.bin")), eeprom);

    // Only into a chip of the backup's type: an AT89S8252 profile is refused.
    run = Run({"restore", "--yes", "--chip", "AT89S8252"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(fs::exists(file));

    run = Run({"restore", "--yes", "--chip", "AT89S8253"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Chip(VV_EEPROM, 0, 2048), eeprom);
    EXPECT_FALSE(fs::exists(file));  // removed once it read back the same
}

TEST_F(CliProcess, EraseAsksUnlessTold) {
    ASSERT_EQ(Run({"write", Path("blink.bin").string()}).exitCode, 0);
    const TRun refused = Run({"erase"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("--yes"), std::string::npos) << refused.err;
    EXPECT_EQ(Flash(0, 12), kBlink);
    const TRun erased = Run({"erase", "--yes"});
    EXPECT_EQ(erased.exitCode, 0) << erased.err;
    EXPECT_EQ(Flash(0, 12), std::vector<uint8_t>(12, 0xFF));
}

TEST_F(CliProcess, EraseClearsAnAvrAndItsLockBits) {
    Adapter("", "ATmega8");
    WriteBytes(Path("avr.bin"), Pattern(256, 5));
    ASSERT_EQ(Run({"write", Path("avr.bin").string(), "--chip", "ATmega8", "--verify"}).exitCode, 0);
    EXPECT_EQ(Flash(0, 256), Pattern(256, 5));
    ASSERT_EQ(Run({"erase", "-y", "--chip", "ATmega8"}).exitCode, 0);
    EXPECT_EQ(Flash(0, 256), std::vector<uint8_t>(256, 0xFF));
}

// Above 64 KB on an ATmega2560: written from a start address there, read back from it.
TEST_F(CliProcess, AnAtmega2560IsWrittenAndReadAbove64KB) {
    Adapter("", "ATmega2560");
    const std::vector<uint8_t> code = Pattern(0x300, 9);
    WriteBytes(Path("high.bin"), code);
    const TRun write = Run({"write", Path("high.bin").string(), "--chip", "ATmega2560", "--start", "0x1E000", "--verify"});
    ASSERT_EQ(write.exitCode, 0) << write.err;
    EXPECT_EQ(Flash(0x1E000, 0x300), code);
    const TRun read = Run({"read", "-o", Path("back.bin").string(), "--chip", "ATmega2560", "--start", "0x1E000",
                           "--size", "0x300"});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(ReadBytes(Path("back.bin")), code);
    // Beyond the chip: refused by the job with the chip's size, not by the command line.
    const TRun beyond = Run({"read", "-o", "-", "--chip", "ATmega2560", "--start", "0x3FF00", "--size", "0x200"});
    EXPECT_EQ(beyond.exitCode, 1) << beyond.err;
}

TEST_F(CliProcess, DetectNamesThePart) {
    Adapter("", "ATmega328P");
    const TRun run = Run({"detect", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.Json()["chip"], "ATmega328P");
    EXPECT_EQ(run.Json()["details"]["signature"], "1E 95 0F");
    const TRun text = Run({"detect"});
    EXPECT_NE(text.out.find("ATmega328P"), std::string::npos) << text.out;
}

TEST_F(CliProcess, FusesAreReadAndWrittenAndIspCuttingBitsNeedConsent) {
    Adapter("", "ATmega8");
    const TRun read = Run({"fuses", "--chip", "ATmega", "--json"});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    const int high = read.Json()["details"]["high"];

    const TRun low = Run({"fuses", "--chip", "ATmega", "--write", "low=0xE4"});
    ASSERT_EQ(low.exitCode, 0) << low.err;
    EXPECT_NE(low.out.find("low=0xE4 high="), std::string::npos) << low.out;

    // SPIEN unprogrammed (bit 5 of the high fuse set): refused without a terminal to ask on.
    const std::string cut = "high=" + std::to_string(high | 0x20);
    const TRun refused = Run({"fuses", "--chip", "ATmega", "--write", cut});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("SPIEN"), std::string::npos) << refused.err;
    EXPECT_EQ(Run({"fuses", "--chip", "ATmega", "--json"}).Json()["details"]["high"], high);

    // RSTDISBL programmed, with consent. (SPIEN itself cannot be changed over the serial interface.)
    const TRun forced =
        Run({"fuses", "--chip", "ATmega", "--write", "high=" + std::to_string(high & 0x7F), "--yes-i-know", "--json"});
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_EQ(forced.Json()["details"]["high"], high & 0x7F);

    // A chip without fuses over its serial interface.
    Adapter("", "AT89S8252");
    EXPECT_EQ(Run({"fuses", "--chip", "AT89S8252"}).exitCode, 1);
}

// An ELF program's fuse values are shown and written only when asked for:
// without a terminal to ask on, only --yes writes them.
TEST_F(CliProcess, FuseValuesFromAnElfProgramAreWrittenOnlyWhenAsked) {
    Adapter("", "ATmega328P");
    const int factoryLow = Run({"fuses", "--chip", "ATmega", "--json"}).Json()["details"]["low"];
    WriteBytes(Path("prog.elf"), AvrProgramWithFuses({0xE2, 0xD9, 0xFD}, -1, {0x1E, 0x95, 0x0F}));
    WriteBytes(Path("mega8.elf"), AvrProgramWithFuses({0xE4, 0xD9}, -1, {0x1E, 0x93, 0x07}));
    WriteBytes(Path("plain.elf"), AvrProgramWithFuses({}, -1, {0x1E, 0x95, 0x0F}));
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* says;  // on standard error
        int low;           // the low fuse afterwards
    } cases[] = {
        {{"--from-elf", Path("prog.elf").string()}, 1, "sets low=E2 high=D9 extended=FD", factoryLow},
        {{"--from-elf", Path("mega8.elf").string(), "--yes"}, 1, "built for ATmega8", factoryLow},
        {{"--from-elf", Path("plain.elf").string(), "--yes"}, 1, "holds no fuse or lock values", factoryLow},
        {{"--from-elf", Path("prog.elf").string(), "--write", "low=1"}, 64, "", factoryLow},
        {{"--from-elf", Path("prog.elf").string(), "--yes"}, 0, "sets low=E2", 0xE2},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"fuses", "--chip", "ATmega"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(args[4]);
        const TRun run = Run(args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(Run({"fuses", "--chip", "ATmega", "--json"}).Json()["details"]["low"], c.low);
    }
    const TRun after = Run({"fuses", "--chip", "ATmega"});
    EXPECT_NE(after.out.find("low=0xE2 high=0xD9 extended=0xFD lock=0xFF"), std::string::npos) << after.out;
}

TEST_F(CliProcess, PortsAndProfilesAreListed) {
    const TRun ports = Run({"ports"});
    EXPECT_EQ(ports.exitCode, 0);
    EXPECT_EQ(ports.out, "COM1\nttyUSB0\n");
    std::ofstream(SettingsFile()) << "[Settings]\nProfiles=1\nProfileIndex=2\n[0]\nName=bench mega\nInfo=x\nType=3\n"
                                     "WaitFlash=4500\nWaitEEPROM=9000\nWaitErase=10000\n";
    const TRun list = Run({"profiles", "--json"});
    ASSERT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.Json()["selected"], 3);
    ASSERT_EQ(list.Json()["profiles"].size(), 3u);
    EXPECT_EQ(list.Json()["profiles"][2]["name"], "bench mega");
    const TRun show = Run({"profiles", "show", "2"});
    EXPECT_NE(show.out.find("89S8253 (default)"), std::string::npos) << show.out;
    const TRun named = Run({"profiles", "show", "bench mega", "--json"});
    EXPECT_EQ(named.Json()["wait_eeprom"], 9000);
}

TEST_F(CliProcess, SettingsAreWrittenOnlyWithSave) {
    std::ofstream(SettingsFile()) << "[Settings]\nVerify=0\n";
    const std::string before = ReadText(SettingsFile());
    ASSERT_EQ(Run({"write", Path("blink.bin").string(), "--verify", "--port", "ttyUSB0", "--profile", "1"}).exitCode, 0);
    EXPECT_EQ(ReadText(SettingsFile()), before);
    ASSERT_EQ(Run({"write", Path("blink.bin").string(), "--verify", "--port", "ttyUSB0", "--save"}).exitCode, 0);
    IniFile ini;
    ini.Load(SettingsFile().string());
    EXPECT_TRUE(ini.ReadBool("Settings", "Verify", false));
    EXPECT_EQ(ini.ReadInteger("Settings", "COMIndex", -1), 1);
    EXPECT_EQ(ini.ReadString("Settings", "Last file", ""), Path("blink.bin").string());
    // The stored Verify is now the default.
    std::vector<uint8_t> other = kBlink;
    other[0] = 0;
    Adapter("stuck_bit = flash:0x0000:7:1\n");
    WriteBytes(Path("zero.bin"), other);
    EXPECT_EQ(Run({"write", Path("zero.bin").string(), "--port", "ttyUSB0"}).exitCode, 2);
    // --config reads another file.
    std::ofstream(Path("other.ini")) << "[Settings]\nVerify=0\n";
    EXPECT_EQ(Run({"write", Path("zero.bin").string(), "--config", Path("other.ini").string()}).exitCode, 0);
}

TEST_F(CliProcess, BadCommandLinesEndWithOneLineNamingTheOption) {
    struct Case {
        std::vector<std::string> args;
        std::string named;
    };
    const std::vector<Case> cases = {
        {{"write"}, "FILE"},
        {{"write", "x.bin", "--memory", "rom"}, "--memory"},
        {{"read", "-o", "x.bin", "--start", "zz"}, "--start"},
        {{"read", "-o", "x.bin", "--size", "0"}, "--size"},
        {{"read"}, "--output"},
        {{"--bogus", "detect"}, "--bogus"},
        {{"detect", "--frobnicate"}, "--frobnicate"},
        {{"frobnicate"}, "frobnicate"},
        {{}, "subcommand"},
        {{"write", "x.bin", "--format", "pdf"}, "--format"},
        {{"detect", "--chip", "Z80"}, "--chip"},
        {{"detect", "--profile", "9"}, "--profile"},
        {{"detect", "--config", "/nonexistent/k.ini"}, "--config"},
        {{"fuses", "--chip", "ATmega", "--write", "lfuse=1"}, "--write"},
    };
    for (const Case& c : cases) {
        const TRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, 64) << c.named << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(StateFile()));
}

TEST_F(CliProcess, VersionAndHelp) {
    const TRun version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("kestrin-cli ", 0), 0u) << version.out;
    const TRun help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command : {"write", "read", "verify", "erase", "detect", "fuses", "ports", "profiles", "restore"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
}

// Runs a shell command; text receives what it printed. Its exit status, -1
// when it could not be started.
int Shell(const std::string& command, std::string& text) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
    return pclose(pipe);
}

// The tool needs no Qt: none of its libraries is one.
TEST(CliProgram, LinksNoQtLibrary) {
    std::string text;
    ASSERT_EQ(Shell(std::string("readelf -d '") + KESTRIN_CLI + "' 2>&1", text), 0) << text;
    EXPECT_NE(text.find("(NEEDED)"), std::string::npos) << text;
    EXPECT_EQ(text.find("Qt"), std::string::npos) << text;
    EXPECT_EQ(text.find("libGL"), std::string::npos) << text;
}

TEST(CliProgram, ManualPageRendersWithoutWarnings) {
    std::string text;
    ASSERT_EQ(Shell(std::string("MANWIDTH=80 man --warnings -l '") + KESTRIN_CLI_MANPAGE + "' 2>&1", text), 0) << text;
    EXPECT_EQ(text.find("warning"), std::string::npos) << text;
    for (const char* section : {"SYNOPSIS", "EXIT STATUS", "--yes-i-know", "kestrin-cli write firmware.hex"})
        EXPECT_NE(text.find(section), std::string::npos) << section;
}

}  // namespace
}  // namespace kestrin::test
