// kestrin-cli produce run as a production line runs it: several virtual
// adapters in parallel, chips changed in the socket, serial numbers from the
// shared counter, the log; a bad chip in the middle, Ctrl+C, a worker killed
// in the middle of a chip.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CliRun.h"
#include "support/ScratchDir.h"
#include "virtual/VirtualDriver.h"

namespace kestrin::test {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

const std::vector<uint8_t> kBlink = {0xB2, 0x90, 0x7F, 0xFA, 0x7E, 0xFA, 0xDE, 0xFE, 0xDF, 0xFA, 0x80, 0xF4};

class CliProduce : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = scratch_.Path();
        fs::create_directories(home_ / "config");
        std::ofstream(Path("blink.bin"), std::ios::binary)
            .write(reinterpret_cast<const char*>(kBlink.data()), static_cast<std::streamsize>(kBlink.size()));
    }
    fs::path Path(const std::string& name) const { return home_ / name; }
    fs::path StateLog() const { return home_ / "state" / "kestrin" / "production.log"; }

    // Virtual adapters with three ports, an ATmega8 in each socket, each
    // port's chip in a state file of its own; the chip is taken out 100 ms
    // after the LEDs show an outcome and a new one is in 1.5 s later (longer than a detection of an empty socket takes).
    void Adapter(const std::string& extra) {
        std::ofstream(Path("virtual.ini")) << "chip = ATmega8\nstate_file = " << (home_ / "{port}.state").string()
                                           << "\nports = COM1,COM2,COM3\nchip_swap = 100:1500\n" << extra;
    }
    pid_t Start(const std::vector<std::string>& args) {
        return StartCli(args,
                        {"XDG_CONFIG_HOME=" + (home_ / "config").string(), "HOME=" + home_.string(),
                         "XDG_STATE_HOME=" + (home_ / "state").string(),
                         "VELTRO_VIRTUAL_CONFIG=" + Path("virtual.ini").string(),
                         "LD_LIBRARY_PATH=" + fs::path(KESTRIN_VIRTUAL_DRIVER).parent_path().string()},
                        home_, "");
    }
    TRun Run(const std::vector<std::string>& args) { return WaitCli(Start(args), home_); }

    // The log's lines; a line that is not one whole JSON object fails the test.
    std::vector<json> Log(const fs::path& file) {
        std::vector<json> lines;
        std::istringstream in(ReadText(file));
        for (std::string line; std::getline(in, line);) {
            try {
                lines.push_back(json::parse(line));
            } catch (const std::exception& e) {
                ADD_FAILURE() << "torn line in " << file << ": " << line;
            }
        }
        return lines;
    }
    // What the last chip in a port's socket holds.
    std::vector<uint8_t> Flash(const std::string& port, int32_t address, int32_t count) {
        VirtualDriver driver;
        driver.Set("chip", "ATmega8");
        driver.Set("state_file", (home_ / (port + ".state")).string());
        return driver.Read(VV_FLASH, address, count);
    }

    ScratchDir scratch_{"kestrin-produce"};
    fs::path home_;
};

TEST_F(CliProduce, ThreeAdaptersInParallelGiveEveryGoodChipItsOwnNumber) {
    // The 15th chip of each adapter has bit 7 of its first byte stuck at 0.
    Adapter("stuck_bit = flash:0:7:0\nstuck_bit_chip = 15\n");
    const TRun run = Run({"--chip", "ATmega8", "produce", Path("blink.bin").string(), "--port", "COM1", "--port",
                          "COM2", "--port", "COM3", "--count", "30", "--serial", "0x20:4:le:1000", "--log",
                          Path("line.log").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const std::vector<json> lines = Log(Path("line.log"));
    ASSERT_EQ(lines.size(), 93u);
    std::vector<uint64_t> good;
    std::map<std::string, int> perPort;
    std::vector<uint64_t> failedNumbers;
    for (const json& line : lines) {
        EXPECT_EQ(line["chip"], "ATmega8");
        EXPECT_EQ(line["signature"], "1E 93 07");
        EXPECT_EQ(line["file"], Path("blink.bin").string());
        EXPECT_EQ(line["file_sha256"].get<std::string>().size(), 64u);
        if (line["result"] == "Ok") {
            good.push_back(line["serial"].get<uint64_t>());
            ++perPort[line["port"].get<std::string>()];
            EXPECT_TRUE(line["first_difference"].is_null());
        } else {
            EXPECT_EQ(line["result"], "failed");
            EXPECT_EQ(line["exit_code"], 2);
            EXPECT_EQ(line["first_difference"].get<std::string>().rfind("Verify failed at 0000h", 0), 0u)
                << line.dump();
            failedNumbers.push_back(line["serial"].get<uint64_t>());
        }
    }
    EXPECT_EQ(perPort, (std::map<std::string, int>{{"COM1", 30}, {"COM2", 30}, {"COM3", 30}}));
    std::sort(good.begin(), good.end());
    ASSERT_EQ(good.size(), 90u);
    for (size_t i = 0; i < good.size(); ++i) EXPECT_EQ(good[i], 1000 + i) << "distinct and consecutive";
    // Each failed chip's number went to a later chip.
    ASSERT_EQ(failedNumbers.size(), 3u);
    for (uint64_t n : failedNumbers) EXPECT_TRUE(std::binary_search(good.begin(), good.end(), n)) << n;

    // The state folder's log has the same lines (each file is appended to on
    // its own, so workers may interleave them differently); log --csv makes a row of each.
    auto sortedLines = [](const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    EXPECT_EQ(sortedLines(ReadText(StateLog())), sortedLines(ReadText(Path("line.log"))));
    const TRun csv = Run({"log", "--csv"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 94);
    EXPECT_EQ(csv.out.rfind("time,port,signature,chip,file,file_sha256,serial,result,", 0), 0u) << csv.out;

    // The chip left in each socket holds the file and its own number.
    std::set<uint64_t> lastNumbers;
    for (const std::string port : {"COM1", "COM2", "COM3"}) {
        const std::vector<uint8_t> chip = Flash(port, 0, 0x24);
        EXPECT_EQ(std::vector<uint8_t>(chip.begin(), chip.begin() + 12), kBlink) << port;
        const uint64_t number = chip[0x20] | chip[0x21] << 8 | chip[0x22] << 16 | uint64_t{chip[0x23]} << 24;
        EXPECT_TRUE(std::binary_search(good.begin(), good.end(), number)) << port << " " << number;
        lastNumbers.insert(number);
    }
    EXPECT_EQ(lastNumbers.size(), 3u);
}

TEST_F(CliProduce, OneAdapterStopsAfterItsCountOrBetweenChipsOnCtrlC) {
    Adapter("");
    const TRun counted = Run({"--chip", "ATmega8", "produce", Path("blink.bin").string(), "--count", "3"});
    ASSERT_EQ(counted.exitCode, 0) << counted.err;
    std::vector<json> lines = Log(StateLog());
    ASSERT_EQ(lines.size(), 3u);
    for (const json& line : lines) {
        EXPECT_EQ(line["result"], "Ok");
        EXPECT_EQ(line["port"], "COM1");
        EXPECT_TRUE(line["serial"].is_null());
    }

    // Without a count the line runs until Ctrl+C; the chip in hand is finished and logged.
    const pid_t pid = Start({"--chip", "ATmega8", "produce", Path("blink.bin").string(), "--port", "COM2"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (Log(StateLog()).size() < 6 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(pid, SIGINT);
    const TRun stopped = WaitCli(pid, home_);
    EXPECT_EQ(stopped.exitCode, 0) << stopped.err;
    lines = Log(StateLog());
    EXPECT_GE(lines.size(), 6u);
    for (const json& line : lines) EXPECT_EQ(line["result"], "Ok");
    EXPECT_NE(stopped.err.find("ended: "), std::string::npos) << stopped.err;
}

TEST_F(CliProduce, RefusesWhatNoChipCouldTake) {
    Adapter("");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {{"--serial", "0x20:9:le:1"}, 64, "not a length"},
        {{"--serial", "0x20:2:dec:100"}, 64, "does not fit"},
        {{"--serial", "0x20:2:bcd:1", "--start", "0x40"}, 64, "before the start address"},
        {{"--serial", "0x2000:4:le:1"}, 1, "exceeds"},
        {{"--start", "0x1FFC"}, 1, "exceeds"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--chip", "ATmega8", "produce", Path("blink.bin").string()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const TRun run = Run(args);
        SCOPED_TRACE(c.args.front() + " " + c.args[1]);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    // A refusal that only the attached part shows (its memory size) is logged as such; no chip was written.
    if (fs::exists(StateLog())) {
        for (const json& line : Log(StateLog())) EXPECT_EQ(line["result"], "refused") << line.dump();
    }
}

// The worker process of a port, among the children of the one that started it.
pid_t WorkerOf(pid_t parent, const std::string& port) {
    std::istringstream children(ReadText("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) +
                                         "/children"));
    for (pid_t child; children >> child;) {
        std::string command = ReadText("/proc/" + std::to_string(child) + "/cmdline");
        std::replace(command.begin(), command.end(), '\0', ' ');
        if (command.find("--port " + port + " --worker") != std::string::npos) return child;
    }
    return -1;
}

TEST_F(CliProduce, AWorkerKilledInTheMiddleOfAChipLeavesNoNumberTwiceAndNoTornLine) {
    // Real time: a chip takes long enough to be caught half-written.
    Adapter("realtime = 1\nchip_swap = 100:400\n");
    std::vector<uint8_t> image(2048);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + 5);
    std::ofstream(Path("big.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    const pid_t pid = Start({"--chip", "ATmega8", "produce", Path("big.bin").string(), "--port", "COM1", "--port",
                             "COM2", "--port", "COM3", "--serial", "0x1000:4:be:500"});
    // Kill COM2's worker as soon as it says it is writing its first chip.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::string held;
    while (std::chrono::steady_clock::now() < deadline && held.empty()) {
        const std::string err = ReadText(home_ / "stderr");
        size_t at = 0;
        int writes = 0;
        for (size_t from = 0; (at = err.find("COM2: 0 good, 0 failed; writing serial ", from)) != std::string::npos;
             from = at + 1) {
            ++writes;
            held = err.substr(at + 39, err.find('\n', at) - at - 39);
        }
        if (writes == 0) held.clear();
        if (held.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(held.empty()) << ReadText(home_ / "stderr");
    const pid_t worker = WorkerOf(pid, "COM2");
    ASSERT_GT(worker, 0);
    kill(worker, SIGKILL);
    // The other two go on for a while, then the line is stopped.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    kill(pid, SIGTERM);
    const TRun run = WaitCli(pid, home_);
    EXPECT_EQ(run.exitCode, 128 + SIGKILL) << run.err;

    const std::vector<json> lines = Log(StateLog());
    std::set<uint64_t> good;
    for (const json& line : lines) {
        if (line["result"] != "Ok") continue;
        EXPECT_TRUE(good.insert(line["serial"].get<uint64_t>()).second) << "number twice: " << line.dump();
        EXPECT_NE(std::to_string(line["serial"].get<uint64_t>()), held) << "the dead worker's number was handed out";
    }
    EXPECT_GE(good.size(), 2u);  // the other two adapters went on
    // The dead worker's number is kept out of the series for good.
    const std::string counter = ReadText(home_ / "state" / "kestrin" / "serial-500-1.counter");
    EXPECT_NE(counter.find("retired=" + held + " " + std::to_string(worker)), std::string::npos) << counter;
}

}  // namespace
}  // namespace kestrin::test
