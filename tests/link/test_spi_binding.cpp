#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "link/SPI.h"
#include "support/RecordingDriver.h"

using kestrin::Ops;
using kestrin::PortNames;
using kestrin::test::RecordingDriver;

namespace {

bool LogHas(const RecordingDriver& d, const std::string& line) {
    for (const auto& l : d.Lines())
        if (l == line) return true;
    return false;
}

void ExpectFallbacks() {
    EXPECT_FALSE(kestrin::AdapterDriverLoaded());
    EXPECT_EQ(Ops.Connect(0, 1), 4);
    EXPECT_EQ(Ops.GetFirmware(), 0);
    EXPECT_STREQ(Ops.GetPortName(0), "");
    EXPECT_EQ(Ops.GetVersion(), 0);
    EXPECT_EQ(Ops.GetNumPorts(), 0);
    std::array<uint8_t, 4> send{0xAC, 0x53, 0x00, 0x00};
    std::array<uint8_t, 4> recv{0x11, 0x22, 0x33, 0x44};
    Ops.SPIWR(send.data(), recv.data(), 4);
    EXPECT_EQ(recv, (std::array<uint8_t, 4>{0x11, 0x22, 0x33, 0x44}));
    Ops.Delay(10'000'000);  // returns at once
    Ops.CheckSerialPorts(0);
    EXPECT_TRUE(PortNames.empty());
}

}  // namespace

TEST(AdapterBinding, MissingOrIncompleteLibraryGivesFallbacks) {
    RecordingDriver nodelay(KESTRIN_NODELAY_DRIVER);
    nodelay.SetPorts({"COM1", "COM2"});
    nodelay.SetConnectResult(0);
    struct Case {
        const char* what;
        std::string path;
    };
    const std::vector<Case> cases = {
        {"no path", ""},
        {"file does not exist", "/nonexistent/folder/libVeltro.so"},
        {"library lacks Delay", KESTRIN_NODELAY_DRIVER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(kestrin::LoadAdapterDriverFrom(c.path));
        ExpectFallbacks();
    }
}

TEST(AdapterBinding, CheckSerialPortsIsBoundFromVersion17) {
    RecordingDriver rec;
    struct Case {
        int32_t version;
        bool bound;
    };
    for (const Case c : {Case{16, false}, Case{17, true}, Case{3, false}, Case{40, true}}) {
        SCOPED_TRACE(c.version);
        rec.Reset();
        rec.SetVersion(c.version);
        ASSERT_TRUE(rec.Bind());
        rec.ClearLog();
        Ops.CheckSerialPorts(5);
        EXPECT_EQ(LogHas(rec, "CheckSerialPorts 5"), c.bound);
        // The other slots are the library's whatever the version.
        Ops.Delay(1000);
        EXPECT_TRUE(LogHas(rec, "Delay 1000"));
    }
}

TEST(AdapterBinding, PortListFollowsTheSecondCount) {
    RecordingDriver rec;
    struct Case {
        const char* what;
        std::vector<std::string> names;
        bool forceCount;
        int32_t count;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"three ports", {"COM1", "COM3", "COM12"}, false, 0, {"COM1", "COM3", "COM12"}},
        {"no port", {}, false, 0, {}},
        {"zero reported", {"COM1"}, true, 0, {}},
        {"negative count", {"COM1"}, true, -3, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        rec.Reset();
        rec.SetPorts(c.names);
        if (c.forceCount) rec.SetReportedPortCount(c.count);
        ASSERT_TRUE(rec.Bind());
        EXPECT_EQ(PortNames, c.expected);
        // Binding sequence: version, count, count again, then the names in order.
        std::vector<std::string> expectedLog = {"GetVersion", "GetNumPorts"};
        if (!c.expected.empty()) {
            expectedLog.push_back("GetNumPorts");
            for (size_t i = 0; i < c.expected.size(); ++i) expectedLog.push_back("GetPortName " + std::to_string(i));
        }
        EXPECT_EQ(rec.Lines(), expectedLog);
    }
}

TEST(AdapterBinding, RebindingStartsWithAnEmptyPortList) {
    RecordingDriver rec;
    rec.SetPorts({"COM1", "COM2"});
    ASSERT_TRUE(rec.Bind());
    ASSERT_EQ(PortNames.size(), 2u);
    EXPECT_FALSE(kestrin::LoadAdapterDriverFrom(""));
    EXPECT_TRUE(PortNames.empty());
}

TEST(AdapterBinding, SearchUsesAbsoluteLibraryPathsButNeverTheWorkingDirectory) {
    RecordingDriver rec;
    rec.SetPorts({"COM7"});
    const auto recFolder = std::filesystem::path(rec.Path()).parent_path();
    const auto oldCwd = std::filesystem::current_path();
    const char* oldLlp = std::getenv("LD_LIBRARY_PATH");
    const std::string saved = oldLlp ? oldLlp : "";

    // The working directory holds a library, but it must not be taken.
    std::filesystem::current_path(recFolder);
    struct Case {
        const char* what;
        std::string llp;
        bool loads;
    };
    const std::vector<Case> cases = {
        {"relative element '.'", ".", false},
        {"empty element", ":", false},
        {"absolute folder", recFolder.string(), true},
        {"absolute folder after a relative one", ".:" + recFolder.string(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setenv("LD_LIBRARY_PATH", c.llp.c_str(), 1);
        const bool loaded = kestrin::LoadAdapterDriver();
        if (c.loads) {
            EXPECT_TRUE(loaded);
            EXPECT_EQ(std::filesystem::path(kestrin::AdapterDriverPath()).parent_path(), recFolder);
            EXPECT_EQ(PortNames, std::vector<std::string>{"COM7"});
        } else if (loaded) {
            // Only a library installed system-wide may be found, never ours in the working directory.
            EXPECT_NE(std::filesystem::path(kestrin::AdapterDriverPath()).parent_path(), recFolder);
        }
    }
    std::filesystem::current_path(oldCwd);
    if (oldLlp) setenv("LD_LIBRARY_PATH", saved.c_str(), 1);
    else unsetenv("LD_LIBRARY_PATH");
}

TEST(AdapterBinding, PipelinedTransfersComeOnlyFromADriverThatOffersThem) {
    RecordingDriver rec;
    struct Case {
        const char* what;
        std::string path;
        int32_t version;
        bool pipelined;
        bool polls;
    };
    const std::vector<Case> cases = {
        {"no library", "", 0, false, false},
        {"driver with the 21 entry points only", rec.Path(), 0, false, false},
#ifdef KESTRIN_VIRTUAL_DRIVER
        {"virtual adapter", KESTRIN_VIRTUAL_DRIVER, VELTRO_EXTENSION_POLL, true, true},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        kestrin::LoadAdapterDriverFrom(c.path);
        EXPECT_EQ(kestrin::Extensions.Version, c.version);
        EXPECT_EQ(kestrin::Extensions.Pipelined(), c.pipelined);
        EXPECT_EQ(kestrin::Extensions.SPIPoll != nullptr, c.polls);
    }
    // Rebinding to a library without them clears what an earlier one offered.
    kestrin::LoadAdapterDriverFrom(rec.Path());
    EXPECT_FALSE(kestrin::Extensions.Pipelined());
    EXPECT_EQ(kestrin::Extensions.SPIWRQueue, nullptr);
    EXPECT_EQ(kestrin::Extensions.SPIPoll, nullptr);
}
