// The driver, the pty and the firmware in the simulator, with a wire from
// MOSI back to MISO in place of a chip.
#include <algorithm>
#include <array>
#include <chrono>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "SimBench.h"

using kestrin::Ops;
using kestrin::test::SimBench;

namespace {

class SimLink : public SimBench {
protected:
    void SetUp() override { Start("loopback"); }

    // The simulator's shortest SCK high and low phases since the last ask
    // were no shorter than ns.
    void ExpectPhasesAtLeast(uint64_t ns) {
        std::istringstream reply(Settled("phases"));
        std::string ok;
        uint64_t high = 0, low = 0;
        reply >> ok >> high >> low;
        EXPECT_EQ(ok, "ok");
        EXPECT_GE(high, ns);
        EXPECT_GE(low, ns);
    }
};

}  // namespace

TEST_F(SimLink, IdentifiesAndEchoesThroughEveryLevelAndReadMode) {
    EXPECT_EQ(Ops.GetFirmware(), 0x14);
    struct Case {
        int sck, mosi, miso, readMode;
        bool inverted;  // the wire carries MOSI's level back, so one inversion shows
    };
    const std::vector<Case> cases = {
        {0, 0, 0, 0, false}, {0, 0, 0, 1, false}, {1, 0, 0, 1, false},
        {0, 1, 0, 0, true},  {0, 0, 1, 1, true},  {1, 1, 1, 0, false},
    };
    std::array<uint8_t, 16> send{};
    std::iota(send.begin(), send.end(), uint8_t{0xA0});
    send[0] = 0x00;
    send[1] = 0xFF;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "sck " << c.sck << " mosi " << c.mosi << " miso " << c.miso << " mode "
                                        << c.readMode);
        Ops.SetLevels(c.sck, c.mosi, c.miso);
        Ops.SetReadMode(c.readMode);
        Ops.SetEnables(1, 1);
        std::array<uint8_t, 16> receive{};
        EXPECT_EQ(Ops.SPIWR(send.data(), receive.data(), 16), 16);
        for (size_t i = 0; i < send.size(); ++i)
            EXPECT_EQ(receive[i], c.inverted ? static_cast<uint8_t>(~send[i]) : send[i]) << i;
        Ops.SetEnables(0, 1);
    }
}

TEST_F(SimLink, ClockPhasesAreLongEnoughForTheTargets) {
    struct Case {
        int readMode, cycleTime;
        uint64_t shortestNs;  // no SCK phase may be shorter
    };
    // Read mode 0: AT89S8252 from 6 MHz (24 oscillator periods), AVRs from 1 MHz;
    // read mode 1: AT89S8253 and AT89S51/52 from 6.4 MHz (8 periods); a set cycle
    // time gives half periods of that many 0.5 us.
    // Sixteenths (above VELTRO_CYCLE_FINE) speed up only the AVR runs: what
    // else the adapter clocks takes whole units up from them.
    const std::vector<Case> cases = {{0, 0, 4000}, {1, 0, 1250}, {0, 20, 10000}, {1, 3, 1500}, {0, 1, 500},
                                     {1, 1, 500},  {0, 2, 1000}, {1, 2, 1000},   {0, 260, 500}, {0, 266, 1000}};
    std::array<uint8_t, 16> send{}, receive{};
    std::iota(send.begin(), send.end(), uint8_t{0x5A});
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.readMode << " cycle " << c.cycleTime);
        Ops.SetReadMode(c.readMode);
        Ops.SetCycleTime(c.cycleTime);
        Ops.SetEnables(1, 1);
        // Transfers and writes run different bit loops; the written bytes span
        // several frames of the adapter, so the phases between frames count too.
        for (const char* kind : {"transfer", "write", "read"}) {
            SCOPED_TRACE(kind);
            const bool write = std::string(kind) == "write";
            Settled("phases");
            if (std::string(kind) == "read") {
                // One repeated byte: the adapter's read loop.
                const std::array<uint8_t, 16> zeros{};
                ASSERT_EQ(Ops.SPIWR(zeros.data(), receive.data(), 16), 16);
                EXPECT_EQ(receive, zeros);
            } else if (write) {
                std::vector<uint8_t> page(70);
                std::iota(page.begin(), page.end(), uint8_t{0x80});
                for (size_t at = 0; at < page.size(); at += 10) ASSERT_EQ(Ops.SPIW(page.data() + at, 10), 10);
            } else {
                ASSERT_EQ(Ops.SPIWR(send.data(), receive.data(), 16), 16);
                EXPECT_EQ(receive, send);
            }
            ExpectPhasesAtLeast(c.shortestNs);
        }
        Ops.SetEnables(0, 1);
    }
}

TEST_F(SimLink, ResetLinesLedsAndRelease) {
    // lines: sck mosi rst /reset
    EXPECT_EQ(Settled("lines"), "ok 0 0 0 1");
    Ops.SetLevels(1, 0, 0);
    Ops.SetEnables(1, 1);
    EXPECT_EQ(Settled("lines"), "ok 1 0 1 0");
    Ops.SetLEDs(1, 0);
    EXPECT_EQ(Settled("leds"), "ok 1 0");
    Ops.SetLEDs(0, 1);
    EXPECT_EQ(Settled("leds"), "ok 0 1");
    Ops.SetEnables(0, 1);
    EXPECT_EQ(Settled("lines"), "ok 0 0 0 1");
    Ops.SetEnables(1, 1);
    Ops.SetReady(0);
    EXPECT_EQ(Settled("lines"), "ok 0 0 0 1");
    EXPECT_EQ(Settled("leds"), "ok 0 0");
}

TEST_F(SimLink, PausesHoldTheStreamBackAndOnlyTransfersWait) {
    Ops.SetEnables(1, 1);
    ResetStats();
    const long long start = AdapterMicros();
    ASSERT_GE(start, 0);
    // A burst far larger than the adapter's buffer, with pauses between writes.
    std::vector<uint8_t> data(67);
    std::iota(data.begin(), data.end(), uint8_t{1});
    for (int page = 0; page < 40; ++page) {
        for (size_t at = 0; at < data.size(); at += 16)
            Ops.SPIW(data.data() + at, static_cast<int32_t>(std::min<size_t>(16, data.size() - at)));
        Ops.Delay(4500);
    }
    std::array<uint8_t, 4> send{0x30, 0x01, 0x00, 0x55}, receive{};
    EXPECT_EQ(Ops.SPIWR(send.data(), receive.data(), 4), 4);
    EXPECT_EQ(receive, send);  // nothing lost or reordered on the way
    const long long end = AdapterMicros();
    ASSERT_GE(end, start);
    // The adapter paused no less than asked, however the link delivered the commands.
    EXPECT_GE(end - start, 40 * 4500);
    const VeltroSerialStats s = Stats();
    EXPECT_EQ(s.transferWaits, 1u);
    EXPECT_EQ(s.delayMicros, 40u * 4500u);
}

TEST_F(SimLink, AnUnpluggedAdapterEndsEveryCallAtOnce) {
    Ops.SetEnables(1, 1);
    sim_->Kill();
    std::array<uint8_t, 4> send{0xAC, 0x53, 0x00, 0x00};
    // The first call finds the port gone; later calls do not touch it.
    for (int attempt = 0; attempt < 32; ++attempt) {
        std::array<uint8_t, 4> receive{};
        Ops.SPIWR(send.data(), receive.data(), 4);
        EXPECT_NE(receive[2], 0x53);
        Ops.SetEnables(0, 1);
        Ops.Delay(50000);
        Ops.SetEnables(1, 1);
        Ops.Delay(50000);
    }
    EXPECT_EQ(AdapterMicros(), -1);
    EXPECT_NE(Ops.Connect(0, 1), VELTRO_CONNECT_OK);
}

TEST_F(SimLink, QueuedTransfersMatchPlainOnesAcrossTheBuffer) {
    ASSERT_TRUE(kestrin::Extensions.Pipelined());
    Ops.SetReadMode(1);
    Ops.SetEnables(1, 1);
    // Several kilobytes: more than the adapter's buffer holds, interleaved
    // with writes, as a page read sends its header and then clocks the page in.
    constexpr size_t kPages = 40, kPage = 64;
    std::vector<uint8_t> pages(kPages * kPage);
    std::iota(pages.begin(), pages.end(), uint8_t{0x21});
    std::vector<uint8_t> queued(pages.size(), 0);
    const std::array<uint8_t, 3> header{0x30, 0x00, 0x00};
    for (size_t p = 0; p < kPages; ++p) {
        ASSERT_EQ(Ops.SPIW(header.data(), 3), 3);
        ASSERT_EQ(kestrin::Extensions.SPIWRQueue(pages.data() + p * kPage, queued.data() + p * kPage, kPage),
                  static_cast<int32_t>(kPage));
    }
    EXPECT_EQ(kestrin::Extensions.SPIWRCollect(), static_cast<int32_t>(pages.size()));
    EXPECT_EQ(queued, pages);  // the wire carries MOSI back
    // A plain transfer afterwards still answers in step.
    std::array<uint8_t, 16> send{}, receive{};
    std::iota(send.begin(), send.end(), uint8_t{0x90});
    EXPECT_EQ(Ops.SPIWR(send.data(), receive.data(), 16), 16);
    EXPECT_EQ(receive, send);
    Ops.SetEnables(0, 1);
}

// A poll runs on the adapter: it ends at the first answer that reads ready,
// or once its pauses reach the limit, and the stream goes on after it in
// order, without the host waiting for any of it.
TEST_F(SimLink, PollsRunOnTheAdapterUntilReadyOrTheLimit) {
    ASSERT_NE(kestrin::Extensions.SPIPoll, nullptr);
    // The loopback target answers each byte with itself: byte 4 reads 00.
    const std::array<uint8_t, 4> poll{0xF0, 0x00, 0x00, 0x00};
    struct Case {
        const char* what;
        int32_t mask, value, step, limit;
        long long atLeastUs;  // the adapter's time for poll and transfer
        bool early;           // well before the limit (a slow host only adds time)
    };
    // At the slow clock one poll clocks for 256 us: 41 polls and 40 pauses, or 5 and 4.
    const std::vector<Case> cases = {
        {"ready at once", 0x01, 0x00, 500, 20000, 0, true},
        {"never ready: gives up after the limit", 0xFF, 0x5A, 500, 20000, 20000 + 41 * 256, false},
        {"never ready, a limit between two steps", 0x01, 0x01, 3000, 10000, 12000 + 5 * 256, false},
        {"no limit: one poll", 0xFF, 0x5A, 500, 0, 0, true},
    };
    Ops.SetEnables(1, 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ResetStats();
        const long long start = AdapterMicros();
        ASSERT_EQ(kestrin::Extensions.SPIPoll(poll.data(), 4, 3, c.mask, c.value, c.step, c.limit), 4);
        std::array<uint8_t, 4> send{0x30, 0x01, 0x02, 0x03}, receive{};
        EXPECT_EQ(Ops.SPIWR(send.data(), receive.data(), 4), 4);
        EXPECT_EQ(receive, send);
        const long long took = AdapterMicros() - start;
        EXPECT_GE(took, c.atLeastUs);
        if (c.early) {
            EXPECT_LT(took, 15000);
        }
        EXPECT_EQ(Stats().pollCalls, 1u);
        EXPECT_EQ(Stats().transferWaits, 1u);  // the transfer after it, not the poll
    }
    // Arguments no adapter takes.
    EXPECT_LT(kestrin::Extensions.SPIPoll(poll.data(), 0, 0, 1, 0, 500, 1000), 0);
    EXPECT_LT(kestrin::Extensions.SPIPoll(poll.data(), 4, 4, 1, 0, 500, 1000), 0);
    EXPECT_LT(kestrin::Extensions.SPIPoll(poll.data(), 4, 3, 1, 0, 70000, 1000), 0);
    Ops.SetEnables(0, 1);
}

// Runs of AVR reads go to the adapter as a start address and a count; what
// the wire carries back shows that the adapter clocked out the very bytes
// the driver was given, at every clock, read mode and line level, and with
// phases no shorter than the clock asks for.
TEST_F(SimLink, AvrRunsReachTheWireUnchanged) {
    std::vector<uint8_t> stream = {0x4D, 0x00, 0x00, 0x00};
    auto put = [&](uint8_t op, uint16_t address, uint8_t data) {
        stream.insert(stream.end(), {op, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), data});
    };
    for (uint16_t i = 0; i < 40; ++i) put(i & 1 ? 0x28 : 0x20, static_cast<uint16_t>(0x3FEC + i / 2), 0x00);
    for (uint16_t i = 0; i < 6; ++i) put(0xA0, static_cast<uint16_t>(0x00FD + i), 0x00);
    for (uint16_t i = 0; i < 3; ++i) put(0x20, i, 0x00);  // too short for a frame of its own
    struct Case {
        int mosi, miso, readMode, cycleTime;
        uint64_t shortestNs;
    };
    const std::vector<Case> cases = {{0, 0, 0, 1, 500},   {0, 0, 0, 2, 1000},  {0, 0, 0, 0, 4000},
                                     {0, 0, 1, 1, 500},   {1, 0, 0, 1, 500},   {0, 1, 0, 2, 1000},
                                     {0, 0, 0, 260, 250}, {1, 0, 0, 260, 250}, {0, 1, 0, 260, 250},
                                     {0, 0, 1, 260, 500}, {0, 0, 0, 261, 500}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mosi " << c.mosi << " miso " << c.miso << " mode " << c.readMode
                                        << " cycle " << c.cycleTime);
        Ops.SetLevels(0, c.mosi, c.miso);
        Ops.SetReadMode(c.readMode);
        Ops.SetCycleTime(c.cycleTime);
        Ops.SetEnables(1, 1);
        Settled("phases");
        ResetStats();
        std::vector<uint8_t> back(stream.size(), 0x55);
        ASSERT_EQ(kestrin::Extensions.SPIWRQueue(stream.data(), back.data(), static_cast<int32_t>(stream.size())),
                  static_cast<int32_t>(stream.size()));
        ASSERT_EQ(kestrin::Extensions.SPIWRCollect(), static_cast<int32_t>(stream.size()));
        const bool inverted = c.mosi != c.miso;
        for (size_t i = 0; i < stream.size(); ++i)
            ASSERT_EQ(back[i], inverted ? static_cast<uint8_t>(~stream[i]) : stream[i]) << i;
        // The reads went out compact: far fewer bytes than they clock.
        EXPECT_LT(Stats().bytesOut, stream.size() / 2);
        ExpectPhasesAtLeast(c.shortestNs);
        Ops.SetEnables(0, 1);
    }
    Ops.SetLevels(0, 0, 0);
    Ops.SetCycleTime(0);
}

namespace {

// A fresh simulator per case, started with the environment the case names.
class SimLinkRate : public SimBench {
protected:
    void SetUp() override {}
    void StartWith(const char* converterMax, const char* driverMax) {
        SetOrClear("VELTRO_SIM_MAX_BAUD", converterMax);
        SetOrClear("VELTRO_LINK_RATE", driverMax);
        Start("loopback");
        unsetenv("VELTRO_SIM_MAX_BAUD");
    }
    void TearDown() override {
        SimBench::TearDown();
        unsetenv("VELTRO_LINK_RATE");
    }
    static void SetOrClear(const char* name, const char* value) {
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
};

}  // namespace

TEST_F(SimLinkRate, DriverAndFirmwareAgreeOnTheFastestRateTheLineCarries) {
    const struct {
        const char* what;
        const char* converterMax;  // VELTRO_SIM_MAX_BAUD
        const char* driverMax;     // VELTRO_LINK_RATE
        uint64_t baud;
    } cases[] = {
        {"both ends at full speed", nullptr, nullptr, 2000000},
        {"a converter up to 1 Mbaud", "1000000", nullptr, 1000000},
        {"a converter that carries only the start rate", "500000", nullptr, 500000},
        {"a driver told to keep the start rate", nullptr, "500000", 500000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StartWith(c.converterMax, c.driverMax);
        EXPECT_EQ(Stats().linkBaud, c.baud);
        std::istringstream rate(Settled("baud"));
        std::string ok;
        uint64_t firmwareBaud = 0;
        rate >> ok >> firmwareBaud;
        EXPECT_EQ(firmwareBaud, c.baud);

        // The link carries transfers both ways at that rate.
        std::array<uint8_t, 40> send{}, receive{};
        std::iota(send.begin(), send.end(), uint8_t{0x31});
        Ops.SetReadMode(1);
        Ops.SetEnables(1, 1);
        ASSERT_EQ(Ops.SPIWR(send.data(), receive.data(), 16), 16);
        EXPECT_TRUE(std::equal(send.begin(), send.begin() + 16, receive.begin()));

        // Closing the link leaves the adapter at the start rate for the next
        // program (it switches just after its answer, which the driver has seen).
        Ops.Disconnect();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        do {
            std::istringstream after(sim_->Command("baud"));
            after >> ok >> firmwareBaud;
        } while (firmwareBaud != 500000u && std::chrono::steady_clock::now() < deadline);
        EXPECT_EQ(firmwareBaud, 500000u);
        ASSERT_EQ(Ops.Connect(0, 1), VELTRO_CONNECT_OK);
        TearDown();
    }
}
