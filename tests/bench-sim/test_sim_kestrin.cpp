// Kestrin itself, unattended from its command line, through the serial driver,
// the pty and the firmware in the simulator, into a simulated chip.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "SimAdapter.h"

extern char** environ;

namespace kestrin::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::vector<uint8_t> Image(size_t size, uint8_t seed) {
    std::vector<uint8_t> v(size);
    uint32_t x = 0x2545F491u ^ seed;
    for (auto& b : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return v;
}

// A user profile as the settings file stores it.
struct Profile {
    int type;
    bool sck, miso, mosi;
    int waitFlash, waitEEPROM, waitErase;
};

// One run of the kestrin executable; killed if it is still there when the test ends.
class KestrinProcess {
public:
    KestrinProcess(const std::vector<std::string>& args, const std::vector<std::string>& env) {
        std::vector<std::string> all = {KESTRIN_EXECUTABLE};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> envStrings = env;
        for (char** e = environ; *e != nullptr; ++e) envStrings.emplace_back(*e);
        std::vector<char*> envp;
        for (auto& e : envStrings) envp.push_back(e.data());
        envp.push_back(nullptr);
        if (posix_spawn(&pid_, KESTRIN_EXECUTABLE, nullptr, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    }
    ~KestrinProcess() { Kill(); }
    KestrinProcess(const KestrinProcess&) = delete;
    KestrinProcess& operator=(const KestrinProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // The exit code; -1 when the program did not end within the time (it is then killed)
    // or ended by a signal.
    int WaitExit(std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        while (pid_ > 0) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (Clock::now() >= end) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        Kill();
        return -1;
    }
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

class SimKestrin : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kestrin-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        home_ = dir;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(home_, ec);
    }

    void StartSim(const std::string& chip) {
        sim_.reset();  // one simulator at a time
        sim_ = std::make_unique<sim::SimAdapter>(chip);
    }

    // A settings file with the given user profiles after the two built-in ones.
    void WriteSettings(const std::vector<Profile>& profiles) {
        std::ofstream ini(home_ / "Kestrin.ini");
        ini << "[Settings]\nCOMIndex=0\nProfiles=" << profiles.size() << "\n";
        for (size_t i = 0; i < profiles.size(); ++i) {
            const Profile& p = profiles[i];
            ini << "[" << i << "]\nName=bench " << i << "\nInfo=simulated bench\nType=" << p.type
                << "\nSCK=" << p.sck << "\nMISO=" << p.miso << "\nMOSI=" << p.mosi << "\nWaitFlash=" << p.waitFlash
                << "\nWaitEEPROM=" << p.waitEEPROM << "\nWaitErase=" << p.waitErase << "\n";
        }
    }

    fs::path WriteImage(const std::vector<uint8_t>& image) {
        const fs::path file = home_ / "image.bin";
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        return file;
    }

    // Starts kestrin with the serial driver; ports: what VELTRO_PORTS names (the
    // simulator's pty when empty).
    std::unique_ptr<KestrinProcess> Run(const std::vector<std::string>& args, std::string ports = "") {
        if (ports.empty()) ports = sim_->PtyPath();
        auto p = std::make_unique<KestrinProcess>(
            args, std::vector<std::string>{"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + home_.string(),
                                           "HOME=" + home_.string(), "VELTRO_PORTS=" + ports,
                                           std::string("LD_LIBRARY_PATH=") + KESTRIN_SERIAL_DRIVER_DIR});
        EXPECT_TRUE(p->Started());
        return p;
    }

    std::vector<uint8_t> ChipMemory(const std::string& space, int32_t address, size_t count) {
        std::vector<unsigned char> bytes;
        const std::string reply =
            sim_->Command("read " + space + " " + std::to_string(address) + " " + std::to_string(count));
        EXPECT_TRUE(sim::ParseHexReply(reply, bytes)) << reply;
        return {bytes.begin(), bytes.end()};
    }

    // The adapter holds the target in reset (RST high or /RESET low).
    bool TargetInReset() {
        std::istringstream lines(sim_->Command("lines"));  // "ok sck mosi rst /reset"
        std::string ok;
        int sck = 0, mosi = 0, rst = 0, nreset = 1;
        lines >> ok >> sck >> mosi >> rst >> nreset;
        return ok == "ok" && (rst == 1 || nreset == 0);
    }

    // Waits until a programming run holds the target in reset.
    bool WaitForRun(std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        while (Clock::now() < end) {
            if (TargetInReset()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    fs::path home_;
    std::unique_ptr<sim::SimAdapter> sim_;
};

constexpr auto kRunLimit = std::chrono::seconds(120);

// Exit codes of an unattended run.
constexpr int kExitOk = 0, kExitRefused = 1, kExitVerifyFailed = 2, kExitNoDevice = 3;

TEST_F(SimKestrin, UnattendedWritesEachPageModeAndByteModeChip) {
    struct Case {
        const char* chip;
        const char* profile;  // /P= of the built-in or user profile
        std::vector<Profile> user;
        size_t size;
        int32_t start;
    };
    const std::vector<Case> cases = {
        {"AT89S8252", "1", {}, 300, 0x0100},
        {"AT89S8253", "2", {}, 2000, 0x0000},
        {"AT89S52", "3", {{5, false, false, false, 500, -1, 500000}}, 1500, 0x0200},
        {"ATmega8", "3", {{3, false, false, false, 4500, 9000, 10000}}, 700, 0x0100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chip);
        StartSim(c.chip);
        WriteSettings(c.user);
        const auto image = Image(c.size, static_cast<uint8_t>(c.size));
        const fs::path file = WriteImage(image);
        auto kestrin = Run({"/F=" + file.string(), std::string("/P=") + c.profile, "/A=" + std::to_string(c.start),
                            "/V=1", "/T=1", "/S=1"});
        EXPECT_EQ(kestrin->WaitExit(kRunLimit), kExitOk);
        EXPECT_EQ(ChipMemory("flash", c.start, image.size()), image);
        sim_.reset();
    }
}

TEST_F(SimKestrin, WrongLineLevelsFailVerificationAndAnEmptyConnectorIsNoDevice) {
    struct Case {
        const char* what;
        const char* chip;
        Profile profile;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {"MISO inverted", "AT89S8252", {0, false, true, false, 4000, 4000, -1}, kExitNoDevice},
        {"SCK quiescent high", "AT89S8252", {0, true, false, false, 4000, 4000, -1}, kExitNoDevice},
        {"right levels", "AT89S8252", {0, false, false, false, 4000, 4000, -1}, kExitOk},
        {"nothing on the connector", "none", {4, false, false, false, 4500, 4500, 500000}, kExitNoDevice},
    };
    const auto image = Image(48, 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StartSim(c.chip);
        WriteSettings({c.profile});
        const fs::path file = WriteImage(image);
        auto kestrin = Run({"/F=" + file.string(), "/P=3", "/V=1", "/T=1", "/S=1"});
        EXPECT_EQ(kestrin->WaitExit(kRunLimit), c.exitCode);
        sim_.reset();
    }
}

TEST_F(SimKestrin, PortChosenByItsName) {
    StartSim("AT89S8252");
    WriteSettings({});
    const auto image = Image(32, 3);
    const fs::path file = WriteImage(image);
    // The list holds a missing device first; the stored port (the first) cannot be opened.
    const std::string ports = "/dev/aaa-veltro-missing," + sim_->PtyPath();
    const std::string name = sim_->PtyPath().substr(5);  // "pts/N", as the driver names it
    auto refused = Run({"/F=" + file.string(), "/P=1", "/T=1", "/S=1"}, ports);
    EXPECT_EQ(refused->WaitExit(kRunLimit), kExitRefused);
    auto chosen = Run({"/C=" + name, "/F=" + file.string(), "/P=1", "/V=1", "/T=1", "/S=1"}, ports);
    EXPECT_EQ(chosen->WaitExit(kRunLimit), kExitOk);
    EXPECT_EQ(ChipMemory("flash", 0, image.size()), image);
}

TEST_F(SimKestrin, AnUnpluggedAdapterEndsTheUnattendedRun) {
    StartSim("AT89S8253");
    WriteSettings({});
    const fs::path file = WriteImage(Image(8192, 2));
    auto kestrin = Run({"/F=" + file.string(), "/P=2", "/V=1", "/T=1", "/S=1"});
    // Pull the plug once the run holds the chip in reset.
    ASSERT_TRUE(WaitForRun(kRunLimit));
    sim_->Kill();
    const int code = kestrin->WaitExit(kRunLimit);
    EXPECT_TRUE(code == kExitVerifyFailed || code == kExitNoDevice) << "exit code " << code;
}

}  // namespace
}  // namespace kestrin::test
