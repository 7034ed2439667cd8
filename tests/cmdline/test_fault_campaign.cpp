// The fault campaign: the kestrin program, run unattended on the virtual
// adapter, writes an AT89S8253 with Backup and is cut off at many points of
// the run: the power goes (the process ends with _exit after SPI transfer K,
// the chip keeps what it has) or the adapter is pulled out. The next start
// with /R=1 must put the other memory back, byte for byte.
//
// The cut points cover a whole 4 KB Flash write and a whole 2 KB E²PROM write
// (backup, erase, page writes, verify, restore and its read-back). The
// figure is printed as "N cut points, 0 bytes lost". KESTRIN_FAULT_STRIDE
// makes the campaign finer (a smaller stride) or coarser.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "virtual/VirtualDriver.h"

namespace kestrin::test {
namespace {

namespace fs = std::filesystem;

constexpr int kPowerCut = 99;  // the virtual adapter's exit code for a power loss

std::vector<uint8_t> Pattern(size_t n, unsigned seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * 31 + seed * 7 + (i >> 8)) & 0xFF);
    return v;
}

std::string Slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct TExit {
    int code = -1;
    std::string err;
};

// Runs kestrin without a display in folder's environment; thread-safe.
TExit RunKestrin(const fs::path& folder, const std::vector<std::string>& arguments) {
    std::vector<std::string> env;
    const auto replaced = [](const std::string& entry) {
        for (const char* name : {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "XDG_CONFIG_HOME=",
                                 "XDG_STATE_HOME=", "VELTRO_VIRTUAL_CONFIG=", "LD_LIBRARY_PATH="})
            if (entry.rfind(name, 0) == 0) return true;
        return false;
    };
    for (char** e = environ; *e != nullptr; ++e)
        if (!replaced(*e)) env.push_back(*e);
    env.push_back("XDG_CONFIG_HOME=" + (folder / "config").string());
    env.push_back("XDG_STATE_HOME=" + (folder / "state").string());
    env.push_back("VELTRO_VIRTUAL_CONFIG=" + (folder / "virtual.ini").string());
    env.push_back("LD_LIBRARY_PATH=" + fs::path(KESTRIN_VIRTUAL_DRIVER).parent_path().string());
    std::vector<std::string> args{KESTRIN_PROGRAM};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string errFile = (folder / "stderr.txt").string();

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(fd, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    TExit exit;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) exit.code = WEXITSTATUS(status);
    exit.err = Slurp(errFile);
    return exit;
}

std::vector<fs::path> JournalFiles(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder / "state" / "kestrin", ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".kbackup") files.push_back(it->path());
    return files;
}

struct TCutPoint {
    bool eeprom;     // the write goes to the E²PROM (the Flash is backed up)
    bool powerCut;   // power loss; else the adapter is pulled out
    int transfers;   // cut after this many SPI transfers
    // Results
    bool cut = false;
    std::string problem;
};

class FaultCampaign : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
        root_ = tmp_.path().toStdString();
        flash_ = Pattern(12288, 3);
        eeprom_ = Pattern(2048, 5);
        // The chip before every run: both memories full of known bytes.
        VirtualDriver driver;
        driver.Set("chip", "AT89S8253");
        driver.Set("state_file", (root_ / "initial.state").string());
        ASSERT_EQ(driver.Write(VV_FLASH, 0, flash_), 12288);
        ASSERT_EQ(driver.Write(VV_EEPROM, 0, eeprom_), 2048);
        ASSERT_EQ(driver.SaveState(), 0);
        const auto flashImage = Pattern(4096, 9);
        const auto eepromImage = Pattern(2048, 11);
        std::ofstream(root_ / "flash.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(flashImage.data()), static_cast<std::streamsize>(flashImage.size()));
        std::ofstream(root_ / "eeprom.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(eepromImage.data()), static_cast<std::streamsize>(eepromImage.size()));
    }

    static void Adapter(const fs::path& folder, const std::string& fault) {
        std::ofstream(folder / "virtual.ini") << "chip = AT89S8253\nstate_file = " << (folder / "chip.state").string()
                                              << "\n" << fault;
    }

    // One cut point: the cut run, then the next start with /R=1.
    void Run(TCutPoint& point, int index) const {
        const fs::path folder = root_ / ("cut-" + std::to_string(index));
        fs::create_directories(folder);
        fs::copy_file(root_ / "initial.state", folder / "chip.state", fs::copy_options::overwrite_existing);
        Adapter(folder, std::string(point.powerCut ? "power_cut_after_transfers = " : "unplug_after_transfers = ") +
                            std::to_string(point.transfers) + "\n");
        const std::string file = (root_ / (point.eeprom ? "eeprom.bin" : "flash.bin")).string();
        const TExit first = RunKestrin(folder, {"/S=1", "/T=1", "/P=2", "/B=1", "/V=1", point.eeprom ? "/M=E" : "/M=F",
                                                "/F=" + file});
        point.cut = point.powerCut ? first.code == kPowerCut : first.code != 0;
        // A failure names the file its backup waits in.
        for (const fs::path& journal : JournalFiles(folder)) {
            if (!point.powerCut && first.err.find(journal.string()) == std::string::npos)
                point.problem += "the cut run did not name " + journal.string() + ": " + first.err;
        }
        Adapter(folder, "");
        const TExit next = RunKestrin(folder, {"/R=1", "/T=1", "/P=2"});
        if (next.code != 0) point.problem += "the restore ended with " + std::to_string(next.code) + ": " + next.err;
        if (!JournalFiles(folder).empty()) point.problem += "a journal file is left after the restore; ";
    }

    // The memory a write did not target, as the chip holds it after the restore.
    std::vector<uint8_t> OtherMemory(const TCutPoint& point, int index) const {
        const fs::path state = root_ / ("cut-" + std::to_string(index)) / "chip.state";
        const fs::path copy = root_ / "readback.state";
        fs::copy_file(state, copy, fs::copy_options::overwrite_existing);
        VirtualDriver driver;
        driver.Set("chip", "AT89S8253");
        driver.Set("state_file", copy.string());
        return point.eeprom ? driver.Read(VV_FLASH, 0, 12288) : driver.Read(VV_EEPROM, 0, 2048);
    }

    QTemporaryDir tmp_;
    fs::path root_;
    std::vector<uint8_t> flash_;
    std::vector<uint8_t> eeprom_;
};

TEST_F(FaultCampaign, NoCutPointLosesAByteOfTheOtherMemory) {
    int stride = 1;
    if (const char* s = std::getenv("KESTRIN_FAULT_STRIDE")) stride = std::max(1, std::atoi(s));
    // A Flash write of 4 KB takes about 1220 SPI transfers with Backup and
    // Verify, an E²PROM write of 2 KB about 3460: power cuts spread over both
    // (and past their ends), and a few pulled-out adapters.
    std::vector<TCutPoint> points;
    for (int k = 1; k <= 1300; k += 43 * stride) points.push_back({false, true, k, false, {}});
    for (int k = 2; k <= 3600; k += 117 * stride) points.push_back({true, true, k, false, {}});
    for (int k : {150, 400, 1100}) points.push_back({false, false, k, false, {}});
    for (int k : {500, 2000, 3000}) points.push_back({true, false, k, false, {}});

    std::atomic<size_t> next{0};
    auto worker = [&] {
        for (size_t i = next++; i < points.size(); i = next++) Run(points[i], static_cast<int>(i));
    };
    // The runs mostly wait (the unattended start's half second), so a few run at once.
    std::vector<std::thread> helpers;
    for (int i = 0; i < 3; ++i) helpers.emplace_back(worker);
    worker();
    for (std::thread& helper : helpers) helper.join();

    int cutPoints = 0;
    size_t lost = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        const TCutPoint& p = points[i];
        SCOPED_TRACE(std::string(p.eeprom ? "E²PROM" : "Flash") + " write, " + (p.powerCut ? "power cut" : "unplugged") +
                     " after transfer " + std::to_string(p.transfers));
        EXPECT_TRUE(p.problem.empty()) << p.problem;
        const std::vector<uint8_t> other = OtherMemory(p, static_cast<int>(i));
        const std::vector<uint8_t>& before = p.eeprom ? flash_ : eeprom_;
        ASSERT_EQ(other.size(), before.size());
        size_t differing = 0;
        for (size_t a = 0; a < other.size(); ++a) differing += other[a] != before[a];
        EXPECT_EQ(differing, 0u);
        lost += differing;
        if (p.cut) ++cutPoints;
    }
    std::printf("fault campaign: %d cut points, %zu bytes lost\n", cutPoints, lost);
    EXPECT_GE(cutPoints * stride, 50);
}

}  // namespace
}  // namespace kestrin::test
