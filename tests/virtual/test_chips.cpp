#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ChipBench.h"

using kestrin::chips::Chip;
using kestrin::chips::MakeChip;
using kestrin::chips::Space;
using kestrin::test::ChipBench;
using kestrin::test::Ms;
using Bytes = std::vector<uint8_t>;

namespace {

// How one chip is spoken to: enable, a Flash byte write and read, and timings.
struct Protocol {
    const char* chip;
    Bytes enable;
    int answerAt;  // index of the handshake answer byte, -1 for none
    uint8_t answer;
    std::function<Bytes(uint32_t, uint8_t)> writeFlash;
    std::function<Bytes(uint32_t)> readFlash;  // data arrives in the last byte
    double writeMs;
};

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const std::vector<Protocol>& Protocols() {
    static const std::vector<Protocol> all = {
        {"AT89S8252", {0xAC, 0x53, 0x00}, -1, 0,
         [](uint32_t a, uint8_t d) { return Bytes{uint8_t(((a >> 8) << 3) | 2), uint8_t(a), d}; },
         [](uint32_t a) { return Bytes{uint8_t(((a >> 8) << 3) | 1), uint8_t(a), 0}; }, 2.5},
        {"AT89S8253", {0xAC, 0x53, 0x00, 0x00}, 2, 0x53,
         [](uint32_t a, uint8_t d) { return Bytes{0x40, uint8_t(a >> 8), uint8_t(a), d}; },
         [](uint32_t a) { return Bytes{0x20, uint8_t(a >> 8), uint8_t(a), 0}; }, 4.5},
        {"AT89S52", {0xAC, 0x53, 0x00, 0x00}, 3, 0x69,
         [](uint32_t a, uint8_t d) { return Bytes{0x40, uint8_t(a >> 8), uint8_t(a), d}; },
         [](uint32_t a) { return Bytes{0x20, uint8_t(a >> 8), uint8_t(a), 0}; }, 0.41},
        {"ATmega8", {0xAC, 0x53, 0x00, 0x00}, 2, 0x53,
         [](uint32_t a, uint8_t d) {
             const uint32_t w = a / 2;
             return Cat({{uint8_t(a & 1 ? 0x48 : 0x40), 0x00, uint8_t(w & 31), d},
                         {0x4C, uint8_t(w >> 8), uint8_t(w), 0x00}});
         },
         [](uint32_t a) { return Bytes{uint8_t(a & 1 ? 0x28 : 0x20), uint8_t(a >> 9), uint8_t(a >> 1), 0}; }, 4.5},
    };
    return all;
}

struct Session {
    explicit Session(const Protocol& p) : proto(p), chip(MakeChip(p.chip)), bench(*chip) {
        bench.Reset(true);
        bench.Send(p.enable);
    }
    uint8_t Read(uint32_t a) { return bench.Send(proto.readFlash(a)).back(); }
    void Write(uint32_t a, uint8_t d) { bench.Send(proto.writeFlash(a, d)); }
    const Protocol& proto;
    std::unique_ptr<Chip> chip;
    ChipBench bench;
};

}  // namespace

TEST(VirtualChips, WriteThenReadBackAndWriteCycle) {
    for (const auto& p : Protocols()) {
        SCOPED_TRACE(p.chip);
        Session s(p);
        ASSERT_TRUE(s.chip->ProgrammingEnabled());
        const uint64_t cycle = Ms(p.writeMs);

        s.Write(0x0123, 0x5A);
        s.Write(0x0456, 0x11);  // inside the write cycle of the first: lost
        s.bench.Wait(cycle);
        s.Write(0x0457, 0x22);  // after the full cycle: sticks
        s.bench.Wait(cycle);
        EXPECT_EQ(s.Read(0x0123), 0x5A);
        EXPECT_EQ(s.Read(0x0456), 0xFF);
        EXPECT_EQ(s.Read(0x0457), 0x22);
        EXPECT_EQ(s.chip->Memory(Space::Flash)[0x0457], 0x22);
    }
}

TEST(VirtualChips, HandshakeOnlyWhileHeldInReset) {
    for (const auto& p : Protocols()) {
        SCOPED_TRACE(p.chip);
        auto chip = MakeChip(p.chip);
        ChipBench b(*chip);
        const Bytes outside = b.Send(p.enable);
        EXPECT_EQ(outside, Bytes(p.enable.size(), 0xFF));
        EXPECT_FALSE(chip->ProgrammingEnabled());
        b.Reset(true);
        const Bytes in = b.Send(p.enable);
        EXPECT_TRUE(chip->ProgrammingEnabled());
        if (p.answerAt >= 0) {
            EXPECT_EQ(in[static_cast<size_t>(p.answerAt)], p.answer);
        }
        b.Reset(false);
        EXPECT_FALSE(chip->ProgrammingEnabled());
        // A write sent outside reset changes nothing.
        b.Send(p.writeFlash(0x10, 0x00));
        EXPECT_EQ(chip->Memory(Space::Flash)[0x10], 0xFF);
    }
}

TEST(VirtualChips, LateTargetAnswersFromTheNthAttemptOfEachHandshake) {
    for (const auto& p : Protocols()) {
        if (p.answerAt < 0) continue;
        SCOPED_TRACE(p.chip);
        auto chip = MakeChip(p.chip);
        chip->SetAnswerFromAttempt(3);
        ChipBench b(*chip);
        std::vector<bool> answered;
        for (int attempt = 0; attempt < 6; ++attempt) {
            b.Reset(true);
            answered.push_back(b.Send(p.enable)[static_cast<size_t>(p.answerAt)] == p.answer);
            b.Reset(false);
        }
        EXPECT_EQ(answered, (std::vector<bool>{false, false, true, false, false, true}));
    }
}

TEST(VirtualChips, AddressDecodingWrapsAsTheChipDecodes) {
    struct Case {
        const char* chip;
        Bytes instruction;
        Space space;
        int address;  // -1: nothing stored
    };
    const std::vector<Case> cases = {
        {"AT89S8252", {0xFA, 0xFF, 0x12}, Space::Flash, 0x1FFF},
        {"AT89S8252", {0x02, 0x20, 0x12}, Space::Flash, 0x0020},
        {"AT89S8252", {0x06, 0xFE, 0x12}, Space::Eeprom, 0x00FE},  // 0x20FE: bit 13 dropped
        {"AT89S8252", {0x0E, 0x00, 0x12}, Space::Eeprom, 0x0100},
        {"AT89S8252", {0xFE, 0x01, 0x12}, Space::Eeprom, 0x0701},  // bits 7 and 6 ignored
        {"AT89S8253", {0x40, 0x6F, 0x12, 0x12}, Space::Flash, 0x2F12},
        {"AT89S8253", {0x40, 0x3F, 0x12, 0x12}, Space::Flash, -1},  // 0x3F12: above the 12 KB
        {"AT89S8253", {0xC0, 0xFF, 0x34, 0x12}, Space::Eeprom, 0x0734},
        {"AT89S52", {0x40, 0xFF, 0x34, 0x12}, Space::Flash, 0x1F34},
        {"ATmega8", {0xC0, 0xFF, 0xFF, 0x12}, Space::Eeprom, 0x01FF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " instruction " + std::to_string(c.instruction[0]) + " " +
                     std::to_string(c.instruction[1]));
        auto chip = MakeChip(c.chip);
        ChipBench b(*chip);
        b.Enter(std::string(c.chip) == "AT89S8252" ? 3 : 4);
        const auto before = chip->Memory(c.space);
        b.Send(c.instruction);
        const auto& after = chip->Memory(c.space);
        std::vector<int> changed;
        for (size_t i = 0; i < after.size(); ++i)
            if (after[i] != before[i]) changed.push_back(static_cast<int>(i));
        EXPECT_EQ(changed, c.address < 0 ? std::vector<int>{} : std::vector<int>{c.address});
    }
}

TEST(VirtualChips, PageWritesLandOnThePageOfTheirAddress) {
    struct Case {
        const char* chip;
        Bytes header;
        size_t pageSize;
        Space space;
        uint32_t first;
    };
    const std::vector<Case> cases = {
        {"AT89S8253", {0x50, 0x01, 0x23}, 64, Space::Flash, 0x0100},
        {"AT89S8253", {0x50, 0x2F, 0xC0}, 64, Space::Flash, 0x2FC0},
        {"AT89S8253", {0xD0, 0x07, 0xE0}, 32, Space::Eeprom, 0x07E0},
        {"AT89S8253", {0xD0, 0x0F, 0xFF}, 32, Space::Eeprom, 0x07E0},
        {"AT89S52", {0x50, 0x03}, 256, Space::Flash, 0x0300},
        {"AT89S52", {0x50, 0x23}, 256, Space::Flash, 0x0300},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " page at " + std::to_string(c.first));
        auto chip = MakeChip(c.chip);
        ChipBench b(*chip);
        b.Enter();
        Bytes page(c.pageSize);
        for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i * 7 + 1);
        b.Send(Cat({c.header, page}));
        const auto& m = chip->Memory(c.space);
        EXPECT_EQ(Bytes(m.begin() + c.first, m.begin() + c.first + c.pageSize), page);
        EXPECT_EQ(m[c.first - 1], 0xFF);
        if (c.first + c.pageSize < m.size()) {
            EXPECT_EQ(m[c.first + c.pageSize], 0xFF);
        }

        // A page read returns it, starting right after the header.
        b.Wait(Ms(5));
        Bytes read = b.Send(Cat({{uint8_t(c.header[0] == 0x50 ? 0x30 : 0xB0)},
                                 Bytes(c.header.begin() + 1, c.header.end()), Bytes(c.pageSize, 0)}));
        EXPECT_EQ(Bytes(read.begin() + static_cast<long>(c.header.size()), read.end()), page);
    }
}

TEST(VirtualChips, AvrFlashPageIsBufferedAndProgrammedWithoutErase) {
    auto chip = MakeChip("ATmega8");
    ChipBench b(*chip);
    b.Enter();
    // Load word 1 of a page, then write the page by a word address inside it.
    b.Send({0x40, 0x00, 0x01, 0xF0, 0x48, 0x00, 0x01, 0x0F, 0x4C, 0x00, 0x25, 0x00});
    const auto& m = chip->Memory(Space::Flash);
    EXPECT_EQ(m[0x42], 0xF0);  // page of word 0x25 starts at word 0x20 = byte 0x40
    EXPECT_EQ(m[0x43], 0x0F);
    b.Wait(Ms(4.5));
    // Programming without erase only clears bits.
    b.Send({0x40, 0x00, 0x01, 0x3C, 0x4C, 0x00, 0x20, 0x00});
    EXPECT_EQ(m[0x42], 0x30);
    EXPECT_EQ(m[0x43], 0x0F);
}

TEST(VirtualChips, ChipEraseWhatItClearsAndKeeps) {
    struct Case {
        const char* chip;
        Bytes erase;
        bool eesaveProgrammed;
        bool eepromErased;
    };
    const std::vector<Case> cases = {
        {"AT89S8252", {0xAC, 0x04, 0x00}, false, true},
        {"AT89S8253", {0xAC, 0x80, 0x00, 0x00}, false, true},
        {"ATmega8", {0xAC, 0x80, 0x00, 0x00}, false, true},
        {"ATmega8", {0xAC, 0x80, 0x00, 0x00}, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + (c.eesaveProgrammed ? " EESAVE" : ""));
        auto chip = MakeChip(c.chip);
        const uint8_t data[4] = {1, 2, 3, 4};
        const uint8_t lock = 0xF8;
        chip->Write(Space::Flash, 0x100, data, 4);
        chip->Write(Space::Eeprom, 0x10, data, 4);
        chip->Write(Space::Lock, 0, &lock, 1);
        if (c.eesaveProgrammed) {
            const uint8_t high = 0xD1;
            chip->Write(Space::Fuses, 1, &high, 1);
        }
        const auto fuses = chip->Memory(Space::Fuses);
        ChipBench b(*chip);
        b.Enter(c.erase.size());
        b.Send(c.erase);
        EXPECT_TRUE(chip->Busy(b.now));
        EXPECT_EQ(chip->Memory(Space::Flash), Bytes(chip->Size(Space::Flash), 0xFF));
        EXPECT_EQ(chip->Memory(Space::Eeprom)[0x10], c.eepromErased ? 0xFF : 1);
        EXPECT_EQ(chip->Memory(Space::Lock)[0], 0xFF);
        EXPECT_EQ(chip->Memory(Space::Fuses), fuses);
    }
}

TEST(VirtualChips, ReadsDuringAWriteCycle) {
    struct Case {
        const char* chip;
        Bytes enable, write, read;
        uint8_t busyValue, finalValue;
    };
    const std::vector<Case> cases = {
        // DATA polling: the MSB of the byte being written reads inverted.
        {"AT89S8252", {0xAC, 0x53, 0x00}, {0x02, 0x10, 0x35}, {0x01, 0x10, 0x00}, 0xB5, 0x35},
        {"AT89S8253", {0xAC, 0x53, 0x00, 0x00}, {0xC0, 0x00, 0x10, 0xB5}, {0xA0, 0x00, 0x10, 0x00}, 0x35, 0xB5},
        // megaAVR: a busy E²PROM cell reads 0xFF.
        {"ATmega8", {0xAC, 0x53, 0x00, 0x00}, {0xC0, 0x00, 0x10, 0x35}, {0xA0, 0x00, 0x10, 0x00}, 0xFF, 0x35},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chip);
        auto chip = MakeChip(c.chip);
        ChipBench b(*chip);
        b.Enter(c.enable.size());
        b.Send(c.write);
        EXPECT_EQ(b.Send(c.read).back(), c.busyValue);
        b.Wait(Ms(10));
        EXPECT_EQ(b.Send(c.read).back(), c.finalValue);
    }
}

TEST(VirtualChips, FuseAndLockWritesTakeTheirTimeAndLoseWhatFollows) {
    struct Case {
        const char* chip;
        Bytes sequence;
        Space space;
        Bytes expected;
    };
    const std::vector<Case> cases = {
        // Two fuse writes back to back: the second arrives during the first one's write time.
        {"ATmega8", {0xAC, 0xA0, 0x00, 0x24, 0xAC, 0xA8, 0x00, 0xC9}, Space::Fuses, {0x24, 0xD9}},
        {"AT89S8253", {0xAC, 0x15, 0x00, 0x00, 0xAC, 0xE2, 0x00, 0x00}, Space::Fuses, {0xF5}},
        {"AT89S8253", {0xAC, 0x15, 0x00, 0x00, 0xAC, 0xE2, 0x00, 0x00}, Space::Lock, {0xFF}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " " + kestrin::chips::SpaceName(c.space));
        auto chip = MakeChip(c.chip);
        ChipBench b(*chip);
        b.Enter();
        b.Send(c.sequence);
        EXPECT_EQ(chip->Memory(c.space), c.expected);
    }

    // With the fuse write time between them both land; SPIEN stays programmed.
    auto m8 = MakeChip("ATmega8");
    ChipBench b(*m8);
    b.Reset(true);
    b.Send({0xAC, 0x53, 0x00, 0x00, 0xAC, 0xA0, 0x00, 0x24});
    b.Wait(Ms(4.5));
    b.Send({0xAC, 0xA8, 0x00, 0xFF});
    EXPECT_EQ(m8->Memory(Space::Fuses), (Bytes{0x24, 0xDF}));
    b.Wait(Ms(4.5));
    EXPECT_EQ(b.Send({0x50, 0x00, 0x00, 0x00}).back(), 0x24);
    EXPECT_EQ(b.Send({0x58, 0x08, 0x00, 0x00}).back(), 0xDF);
}

TEST(VirtualChips, LockBitsAreOneWayAndBlockWritesUntilErase) {
    struct Case {
        const char* chip;
        Bytes enable, lockLb1, write, erase;
        uint32_t address;
    };
    const std::vector<Case> cases = {
        {"AT89S8252", {0xAC, 0x53, 0x00}, {0xAC, 0x7F, 0x00}, {0x02, 0x10, 0x00}, {0xAC, 0x04, 0x00}, 0x10},
        {"AT89S8253", {0xAC, 0x53, 0x00, 0x00}, {0xAC, 0xE6, 0x00, 0x00}, {0x40, 0x00, 0x10, 0x00},
         {0xAC, 0x80, 0x00, 0x00}, 0x10},
        {"AT89S52", {0xAC, 0x53, 0x00, 0x00}, {0xAC, 0xE1, 0x00, 0x00}, {0x40, 0x00, 0x10, 0x00},
         {0xAC, 0x80, 0x00, 0x00}, 0x10},
        {"ATmega8", {0xAC, 0x53, 0x00, 0x00}, {0xAC, 0xE0, 0x00, 0xFE}, {0xC0, 0x00, 0x10, 0x00},
         {0xAC, 0x80, 0x00, 0x00}, 0x10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chip);
        auto chip = MakeChip(c.chip);
        const Space s = std::string(c.chip) == "ATmega8" ? Space::Eeprom : Space::Flash;
        ChipBench b(*chip);
        b.Enter(c.enable.size());
        b.Send(c.lockLb1);
        b.Wait(Ms(5));
        EXPECT_EQ(chip->Memory(Space::Lock)[0] & 1, 0) << "LB1 programmed";
        b.Send(c.write);
        b.Wait(Ms(10));
        EXPECT_EQ(chip->Memory(s)[c.address], 0xFF) << "write refused while locked";
        b.Send(c.erase);
        b.Wait(Ms(600));
        EXPECT_EQ(chip->Memory(Space::Lock)[0], 0xFF);
        b.Send(c.write);
        EXPECT_EQ(chip->Memory(s)[c.address], 0x00);
    }
}

TEST(VirtualChips, SignatureAndStatusReads) {
    struct Case {
        const char* chip;
        Bytes instruction;
        uint8_t expected;
    };
    const std::vector<Case> cases = {
        {"AT89S8253", {0x28, 0x00, 0x30, 0x00}, 0x1E}, {"AT89S8253", {0x28, 0x00, 0x31, 0x00}, 0x73},
        {"AT89S8253", {0x21, 0x00, 0x00, 0x00}, 0xFA}, {"AT89S8253", {0x24, 0x00, 0x00, 0x00}, 0xFF},
        {"AT89S52", {0x28, 0x00, 0x00, 0x00}, 0x1E},   {"AT89S52", {0x28, 0x01, 0x00, 0x00}, 0x52},
        {"AT89S52", {0x28, 0x02, 0x00, 0x00}, 0x06},   {"AT89S52", {0x24, 0x00, 0x00, 0x00}, 0x00},
        {"ATmega8", {0x30, 0x00, 0x00, 0x00}, 0x1E},   {"ATmega8", {0x30, 0x00, 0x01, 0x00}, 0x93},
        {"ATmega8", {0x30, 0x00, 0x02, 0x00}, 0x07},   {"ATmega8", {0x58, 0x00, 0x00, 0x00}, 0xFF},
        {"ATmega8", {0x58, 0x08, 0x00, 0x00}, 0xD9},   {"ATmega328P", {0x30, 0x00, 0x02, 0x00}, 0x0F},
        {"ATmega328P", {0x50, 0x08, 0x00, 0x00}, 0xFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " " + std::to_string(c.instruction[0]) + " " +
                     std::to_string(c.instruction[2]));
        auto chip = MakeChip(c.chip);
        ChipBench b(*chip);
        b.Enter();
        EXPECT_EQ(b.Send(c.instruction).back(), c.expected);
    }
}

TEST(VirtualChips, At89S8253UserFuseCanSwitchSerialProgrammingOff) {
    auto chip = MakeChip("AT89S8253");
    ChipBench b(*chip);
    b.Reset(true);
    EXPECT_EQ(b.Send({0xAC, 0x53, 0x00, 0x00})[2], 0x53);
    b.Send({0xAC, 0x11, 0x00, 0x00});  // F1 = 1: serial programming disabled
    b.Wait(Ms(5));
    b.Reset(false);
    b.Reset(true);
    EXPECT_NE(b.Send({0xAC, 0x53, 0x00, 0x00})[2], 0x53);
    EXPECT_FALSE(chip->ProgrammingEnabled());
}

TEST(VirtualChips, Atmega328pEepromPageAndReadyPoll) {
    auto chip = MakeChip("ATmega328P");
    ChipBench b(*chip);
    b.Enter();
    // Only the loaded bytes of the 4-byte page change.
    b.Send({0xC1, 0x00, 0x01, 0xAA, 0xC1, 0x00, 0x03, 0xBB, 0xC2, 0x00, 0x12, 0x00});
    EXPECT_EQ(b.Send({0xF0, 0x00, 0x00, 0x00}).back() & 1, 1);
    b.Wait(Ms(3.6));
    EXPECT_EQ(b.Send({0xF0, 0x00, 0x00, 0x00}).back() & 1, 0);
    const auto& e = chip->Memory(Space::Eeprom);
    EXPECT_EQ(Bytes(e.begin() + 0x10, e.begin() + 0x14), (Bytes{0xFF, 0xAA, 0xFF, 0xBB}));
}

TEST(VirtualChips, StuckBitKeepsItsValue) {
    auto chip = MakeChip("AT89S8252");
    chip->AddStuckBit(Space::Flash, 0x20, 3, false);
    EXPECT_EQ(chip->Memory(Space::Flash)[0x20], 0xF7);
    const uint8_t v = 0x08;
    chip->Write(Space::Flash, 0x20, &v, 1);
    EXPECT_EQ(chip->Memory(Space::Flash)[0x20], 0x00);
    chip->ClearStuckBits();
    chip->Write(Space::Flash, 0x20, &v, 1);
    EXPECT_EQ(chip->Memory(Space::Flash)[0x20], 0x08);
}

TEST(VirtualChips, FactoryKnowsTheNamesItLists) {
    for (const auto& name : kestrin::chips::ChipNames()) {
        auto chip = MakeChip(name);
        ASSERT_NE(chip, nullptr) << name;
        EXPECT_EQ(chip->Name(), name);
        EXPECT_EQ(chip->Memory(Space::Flash), Bytes(chip->Size(Space::Flash), 0xFF));
    }
    EXPECT_NE(MakeChip("at89s8253"), nullptr);
    EXPECT_EQ(MakeChip("AT89S99"), nullptr);
}
