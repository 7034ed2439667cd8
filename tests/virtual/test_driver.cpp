#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VirtualDriver.h"

using kestrin::Ops;
using kestrin::test::Bytes;
using kestrin::test::Exchange;
using kestrin::test::Handshake;
using kestrin::test::VirtualDriver;

namespace {

void Open(VirtualDriver&) {
    ASSERT_EQ(Ops.Connect(0, 1), VELTRO_CONNECT_OK);
    Ops.SetEnables(0, 1);
    Ops.SetLevels(0, 0, 0);
    Ops.SetCycleTime(0);
}

// AT89S8252 instructions.
Bytes Write8252(uint32_t a, uint8_t d, bool eeprom) {
    return {uint8_t(((a >> 8) << 3) | (eeprom ? 0x06 : 0x02)), uint8_t(a), d};
}
Bytes Read8252(uint32_t a, bool eeprom) { return {uint8_t(((a >> 8) << 3) | (eeprom ? 0x05 : 0x01)), uint8_t(a), 0}; }

}  // namespace

TEST(VirtualAdapter, ConnectResults) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> options;
        int32_t port;
        int32_t expected;
    };
    const std::vector<Case> cases = {
        {"default port", {}, 0, VELTRO_CONNECT_OK},
        {"second of two ports", {{"ports", "COM1,COM2"}}, 1, VELTRO_CONNECT_OK},
        {"index past the list", {}, 1, VELTRO_CONNECT_PORT_FAILED},
        {"negative index", {}, -1, VELTRO_CONNECT_PORT_FAILED},
        {"no ports at all", {{"ports", ""}}, 0, VELTRO_CONNECT_PORT_FAILED},
        {"unplugged", {{"unplugged", "1"}}, 0, VELTRO_CONNECT_NO_ADAPTER},
        {"old firmware", {{"old_firmware", "1"}}, 0, VELTRO_CONNECT_OLD_FIRMWARE},
    };
    VirtualDriver vv;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        vv.ResetAll();
        for (const auto& [k, v] : c.options) vv.Set(k, v);
        EXPECT_EQ(Ops.Connect(c.port, 1), c.expected);
    }
}

TEST(VirtualAdapter, PortsVersionAndFirmware) {
    VirtualDriver vv;
    EXPECT_GE(Ops.GetVersion(), 17);
    EXPECT_EQ(Ops.GetNumPorts(), 1);
    EXPECT_STREQ(Ops.GetPortName(0), "COM1");
    EXPECT_EQ(Ops.GetFirmware() & 0xFF, 0x21);
    vv.Set("ports", "COM3, COM12");
    vv.Set("firmware", "0x17");
    EXPECT_EQ(Ops.GetNumPorts(), 2);
    EXPECT_STREQ(Ops.GetPortName(1), "COM12");
    EXPECT_STREQ(Ops.GetPortName(2), "");
    EXPECT_EQ(Ops.GetFirmware(), 0x17);
}

TEST(VirtualAdapter, BadOptionsAreRefusedAndChangeNothing) {
    VirtualDriver vv;
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"colour", "1"},          {"chip", "AT89C2051"},   {"realtime", "maybe"},
        {"firmware", "256"},      {"firmware", "-1"},      {"stuck_bit", "flash:0x10:8:0"},
        {"stuck_bit", "rom:1:1:1"}, {"answer_from_attempt", "x"}, {"ports", "COM1,,COM2"},
    };
    for (const auto& [k, v] : bad) {
        SCOPED_TRACE(k + "=" + v);
        EXPECT_EQ(vv.TrySet(k, v), -1);
        EXPECT_FALSE(vv.LastError().empty());
    }
    EXPECT_EQ(Ops.GetFirmware(), 0x21);
    EXPECT_EQ(vv.Size(VV_FLASH), 8192);
    EXPECT_EQ(Ops.GetNumPorts(), 1);
}

TEST(VirtualAdapter, TransferRules) {
    VirtualDriver vv;
    Bytes send(17, 0xAC), recv(17, 0x11);
    // Not connected: nothing reaches a chip, 0xFF comes back.
    Ops.SetEnables(1, 1);
    Ops.SPIWR(send.data(), recv.data(), 4);
    EXPECT_EQ(Bytes(recv.begin(), recv.begin() + 4), Bytes(4, 0xFF));

    Open(vv);
    vv.ClearLog();
    recv.assign(17, 0x11);
    // More than 16 bytes is refused whole.
    EXPECT_EQ(Ops.SPIWR(send.data(), recv.data(), 17), -1);
    EXPECT_EQ(Ops.SPIW(send.data(), 17), -1);
    EXPECT_EQ(recv, Bytes(17, 0x11));
    EXPECT_EQ(Ops.SPIWR(send.data(), recv.data(), 0), 0);
    EXPECT_EQ(recv, Bytes(17, 0x11));
    EXPECT_EQ(vv.TimeMicros(), 0);
    EXPECT_EQ(vv.Log(), "");
}

TEST(VirtualAdapter, VirtualClockCountsDelaysAndTransfers) {
    VirtualDriver vv;
    Open(vv);
    Ops.Delay(1000);
    Ops.Delay(-5);
    const Bytes b(10, 0);
    Ops.SPIW(b.data(), 10);
    EXPECT_EQ(vv.TimeMicros(), 1000 + 10 * 64);  // read mode 0 until told otherwise
    vv.Set("byte_time_us", "20");
    Ops.SPIW(b.data(), 5);
    EXPECT_EQ(vv.TimeMicros(), 1640 + 5 * 20);
}

TEST(VirtualAdapter, BytesTakeSixteenPhasesOfTheAdaptersClock) {
    struct Case {
        int32_t readMode, cycleTime;
        int64_t byteMicros;
    };
    // Automatic clock: 4 us phases in read mode 0, 1.25 us in read mode 1; a
    // set cycle time gives phases of that many 0.5 us in either mode.
    const std::vector<Case> cases = {{0, 0, 64}, {1, 0, 20}, {0, 1, 8}, {1, 4, 32}, {1, 1, 8}};
    VirtualDriver vv;
    Open(vv);
    const Bytes send(16, 0x5A);
    Bytes receive(16, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.readMode << " cycle " << c.cycleTime);
        Ops.SetReadMode(c.readMode);
        Ops.SetCycleTime(c.cycleTime);
        const int64_t before = vv.TimeMicros();
        Ops.SPIWR(send.data(), receive.data(), 16);
        EXPECT_EQ(vv.TimeMicros() - before, 16 * c.byteMicros);
    }
}

TEST(VirtualAdapter, HandshakeAnswersRetriesAndFaults) {
    struct Case {
        const char* chip;
        int answerAt;
        uint8_t answer;
        std::string fault, value;
        int expectedAttempt;
    };
    const std::vector<Case> cases = {
        {"AT89S8253", 2, 0x53, "", "", 1},
        {"AT89S52", 3, 0x69, "", "", 1},
        {"ATmega8", 2, 0x53, "", "", 1},
        {"AT89S8253", 2, 0x53, "answer_from_attempt", "5", 5},
        {"ATmega8", 2, 0x53, "answer_from_attempt", "32", 32},
        {"AT89S52", 3, 0x69, "answer_from_attempt", "33", 0},
        {"AT89S8253", 2, 0x53, "no_target", "1", 0},
        // The AT89S52 puts its answer in the fourth byte; a 0x53 in the third does not count.
        {"AT89S8253", 3, 0x69, "", "", 0},
    };
    VirtualDriver vv;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " " + c.fault + "=" + c.value + " answer at " +
                     std::to_string(c.answerAt));
        vv.ResetAll();
        vv.Set("chip", c.chip);
        if (!c.fault.empty()) vv.Set(c.fault, c.value);
        Open(vv);
        EXPECT_EQ(Handshake(c.answerAt, c.answer), c.expectedAttempt);
        Ops.SetEnables(0, 1);
    }
}

TEST(VirtualAdapter, NoTargetReadsFF) {
    VirtualDriver vv;
    vv.Set("chip", "AT89S8253");
    vv.Write(VV_FLASH, 0, {0x12, 0x34});
    vv.Set("no_target", "1");
    Open(vv);
    Ops.SetEnables(1, 1);
    EXPECT_EQ(Exchange({0xAC, 0x53, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00}), Bytes(8, 0xFF));
    EXPECT_EQ(vv.Log(), "");
}

TEST(VirtualAdapter, LevelOptionsMustMatchTheWiring) {
    struct Case {
        const char* what;
        std::vector<std::string> wiring;  // inverted lines
        int sck, mosi, miso;
        bool answers;
    };
    const std::vector<Case> cases = {
        {"plain wiring, plain levels", {}, 0, 0, 0, true},
        {"SCK rests high on plain wiring", {}, 1, 0, 0, false},
        {"MOSI inverted on plain wiring", {}, 0, 1, 0, false},
        {"MISO inverted on plain wiring", {}, 0, 0, 1, false},
        {"inverter on SCK, SCK high", {"wire_sck_inverted"}, 1, 0, 0, true},
        {"inverter on SCK, SCK low", {"wire_sck_inverted"}, 0, 0, 0, false},
        {"inverters on MOSI and MISO", {"wire_mosi_inverted", "wire_miso_inverted"}, 0, 1, 1, true},
        {"inverter on MISO only, both inverted", {"wire_miso_inverted"}, 0, 1, 1, false},
    };
    VirtualDriver vv;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        vv.ResetAll();
        vv.Set("chip", "AT89S8253");
        for (const auto& w : c.wiring) vv.Set(w, "1");
        ASSERT_EQ(Ops.Connect(0, 1), 0);
        Ops.SetEnables(0, 1);
        Ops.SetLevels(c.sck, c.mosi, c.miso);
        EXPECT_EQ(Handshake(2, 0x53) != 0, c.answers);
        Ops.SetEnables(0, 1);
    }
}

TEST(VirtualAdapter, ByteModeWriteAndReadBackWithAddressWrap) {
    VirtualDriver vv;
    vv.Set("chip", "AT89S8252");
    Open(vv);
    Ops.SetEnables(1, 1);
    Ops.Delay(1000);
    Bytes enable = {0xAC, 0x53, 0x00};
    Ops.SPIW(enable.data(), 3);
    struct Cell {
        uint32_t address;
        bool eeprom;
        uint8_t value;
        int32_t stored;  // where the chip keeps it
    };
    const std::vector<Cell> cells = {
        {0x0000, false, 0x01, 0x0000}, {0x1FFF, false, 0x02, 0x1FFF}, {0x2005, false, 0x03, 0x0005},
        {0x20FE, true, 0x04, 0x00FE},  {0x2100, true, 0x05, 0x0100},  {0x07FF, true, 0x06, 0x07FF},
    };
    for (const auto& c : cells) {
        const Bytes w = Write8252(c.address, c.value, c.eeprom);
        Ops.SPIW(w.data(), 3);
        Ops.Delay(4000);
    }
    Bytes reads;
    for (const auto& c : cells) {
        const Bytes r = Read8252(c.address, c.eeprom);
        reads.insert(reads.end(), r.begin(), r.end());
    }
    const Bytes got = Exchange(reads);
    for (size_t i = 0; i < cells.size(); ++i) {
        SCOPED_TRACE(cells[i].address);
        EXPECT_EQ(got[3 * i + 2], cells[i].value);
        EXPECT_EQ(vv.Read(cells[i].eeprom ? VV_EEPROM : VV_FLASH, cells[i].stored, 1), Bytes{cells[i].value});
    }
}

TEST(VirtualAdapter, AWriteInsideTheWriteCycleIsLost) {
    struct Case {
        int32_t pause;
        bool allStick;
    };
    // The AT89S8252 needs 2.5 ms per byte; 3 bytes of transfer take 150 µs.
    for (const Case c : {Case{0, false}, Case{1000, false}, Case{2400, false}, Case{2500, true}, Case{4000, true}}) {
        SCOPED_TRACE(c.pause);
        VirtualDriver vv;
        vv.Set("chip", "AT89S8252");
        Open(vv);
        Ops.SetEnables(1, 1);
        Ops.Delay(1000);
        const Bytes enable = {0xAC, 0x53, 0x00};
        Ops.SPIW(enable.data(), 3);
        for (uint32_t a = 0; a < 8; ++a) {
            const Bytes w = Write8252(a, uint8_t(0x10 + a), false);
            Ops.SPIW(w.data(), 3);
            Ops.Delay(c.pause);
        }
        const Bytes stored = vv.Read(VV_FLASH, 0, 8);
        int stuck = 0;
        for (uint32_t a = 0; a < 8; ++a) stuck += stored[a] == 0x10 + a;
        if (c.allStick) {
            EXPECT_EQ(stuck, 8);
        } else {
            EXPECT_GE(stuck, 1);
            EXPECT_LT(stuck, 8);
            EXPECT_NE(vv.Log().find("lost while busy"), std::string::npos);
        }
    }
}

TEST(VirtualAdapter, StuckBitShowsAsAReadDifference) {
    VirtualDriver vv;
    vv.Set("chip", "AT89S8252");
    vv.Set("stuck_bit", "flash:0x0003:0:1");
    Open(vv);
    Ops.SetEnables(1, 1);
    const Bytes enable = {0xAC, 0x53, 0x00};
    Ops.SPIW(enable.data(), 3);
    const Bytes w = Write8252(3, 0x00, false);
    Ops.SPIW(w.data(), 3);
    Ops.Delay(4000);
    EXPECT_EQ(Exchange(Read8252(3, false))[2], 0x01);
}

TEST(VirtualAdapter, AdapterCallsAreLogged) {
    VirtualDriver vv;
    Open(vv);
    Ops.SetReadMode(1);
    Ops.SetLEDs(1, 0);
    Ops.SetReady(0);
    Ops.Disconnect();
    const std::string log = vv.AdapterLog();
    for (const char* line : {"Connect 0 1 -> 0", "SetReadMode 1", "SetLEDs 1 0", "SetReady 0", "Disconnect"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
}
