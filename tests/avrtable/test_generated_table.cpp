// The table the build generated from avr-libc: what every row must satisfy,
// and the bits of the parts whose fuses were once mislabelled.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "AvrParts.h"
#include "devices/DeviceTable.h"

using namespace kestrin;
using namespace kestrin::avrparts;

namespace {

std::string BitName(const AvrPart& p, int byte, int bit) {
    const char* n = p.fuseBits[static_cast<size_t>(byte)][static_cast<size_t>(bit)];
    return n == nullptr ? "" : n;
}

bool Programmed(const AvrPart& p, int byte, int bit) { return (p.fuseDefaults[static_cast<size_t>(byte)] >> bit & 1) == 0; }

TEST(GeneratedTable, HoldsTheSerialProgrammedPartsOnlyEachOnce) {
    const auto parts = AllAvrParts();
    ASSERT_GT(parts.size(), 150u);
    std::set<std::string> names;
    for (const AvrPart& p : parts) {
        const std::string name = p.name;
        EXPECT_TRUE(names.insert(name).second) << name << " twice";
        EXPECT_NE(name.rfind("ATxmega", 0), 0u) << name;
        for (const char* tpi : {"ATtiny4", "ATtiny5", "ATtiny9", "ATtiny10", "ATtiny20", "ATtiny40"})
            EXPECT_NE(name, tpi);
    }
}

// Rules every row keeps; a fuse bit read from the wrong byte of its header,
// or a size from the wrong macro, breaks one of them.
TEST(GeneratedTable, EveryRowIsConsistent) {
    for (const AvrPart& p : AllAvrParts()) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(p.signature[0], 0x1E);
        EXPECT_GE(p.flashBytes, 1024u);
        if (p.flashPageBytes != 0) {
            EXPECT_EQ(p.flashBytes % p.flashPageBytes, 0u);
        }
        if (p.eepromPageBytes != 0) {
            EXPECT_EQ(p.eepromBytes % p.eepromPageBytes, 0u);
        }
        EXPECT_LE(p.fuseCount, 3);
        std::set<std::string> bits;
        for (int byte = 0; byte < 3; ++byte)
            for (int bit = 0; bit < 8; ++bit) {
                const std::string name = BitName(p, byte, bit);
                if (byte >= p.fuseCount) {
                    EXPECT_EQ(name, "") << "byte " << byte;
                    continue;
                }
                if (name.empty()) continue;
                EXPECT_TRUE(bits.insert(name).second) << name << " twice";
                // Parts leave the factory reachable over the serial interface.
                if (name == "SPIEN") {
                    EXPECT_TRUE(Programmed(p, byte, bit)) << "SPIEN not programmed by default";
                }
                if (name == "RSTDISBL" || name == "DWEN") {
                    EXPECT_FALSE(Programmed(p, byte, bit)) << name;
                }
            }
        const AvrTiming t = TimingOf(p);
        EXPECT_GT(t.flashUs, 0u);
        EXPECT_GT(t.eraseUs, 0u);
        EXPECT_GT(t.fuseUs, 0u);
        if (p.family == AvrFamily::Classic) {
            EXPECT_EQ(p.fuseCount, 0);
        }
        if (p.flashPageBytes == 0) {
            EXPECT_FALSE(t.busyPoll) << "a byte-mode part is polled by its cell";
        }
    }
}

struct KnownBit {
    const char* part;
    int byte;
    int bit;
    const char* name;
};

TEST(GeneratedTable, FuseBitsSitWhereTheDatasheetsPutThem) {
    const KnownBit known[] = {
        {"ATmega328P", 1, 4, "WDTON"},   {"ATmega328P", 1, 7, "RSTDISBL"}, {"ATmega328P", 1, 6, "DWEN"},
        {"ATmega328P", 0, 7, "CKDIV8"},  {"ATmega8", 1, 4, "CKOPT"},       {"ATmega8", 1, 5, "SPIEN"},
        {"ATtiny13", 0, 4, "CKDIV8"},    {"ATtiny13", 0, 5, "WDTON"},      {"ATtiny13", 0, 6, "EESAVE"},
        {"ATtiny13", 1, 0, "RSTDISBL"},  {"ATtiny13", 1, 3, "DWEN"},       {"ATtiny2313", 0, 7, "CKDIV8"},
        {"ATtiny85", 0, 7, "CKDIV8"},    {"ATtiny85", 1, 7, "RSTDISBL"},   {"ATmega2560", 1, 6, "JTAGEN"},
        {"ATmega2560", 2, 0, "BODLEVEL0"},
    };
    for (const KnownBit& k : known) {
        const AvrPart* p = FindAvrPart(k.part);
        ASSERT_NE(p, nullptr) << k.part;
        EXPECT_EQ(BitName(*p, k.byte, k.bit), k.name) << k.part << " byte " << k.byte << " bit " << k.bit;
        EXPECT_EQ(FuseBitOf(*p, k.byte, k.name), k.bit) << k.part;
    }
}

TEST(GeneratedTable, DeviceTableNamesPartsBySignatureWithTheirTimes) {
    struct Row {
        TSignature signature;
        const char* name;
        uint8_t type;
        int32_t flashPage;
        int32_t eepromPage;
        bool echoes;
        std::array<uint8_t, 2> flashBusy;
    } const rows[] = {
        {{0x1E, 0x95, 0x0F}, "ATmega328P", ctATmega, 128, 4, true, {0xFF, 0xFF}},
        {{0x1E, 0x90, 0x07}, "ATtiny13", ctATtiny, 32, 4, true, {0xFF, 0xFF}},
        {{0x1E, 0x93, 0x07}, "ATmega8", ctATmega, 64, 0, true, {0xFF, 0xFF}},
        {{0x1E, 0x91, 0x01}, "AT90S2313", ctAT90xx, 0, 0, true, {0x7F, 0x7F}},
        // Busy Flash reads 7F on the AT90S1200 as well; it never echoes the enable.
        {{0x1E, 0x90, 0x01}, "AT90S1200", ctAT90xx, 0, 0, false, {0x7F, 0x7F}},
        {{0x1E, 0x98, 0x01}, "ATmega2560", ctATmega, 256, 8, true, {0xFF, 0xFF}},
    };
    for (const Row& r : rows) {
        const TDeviceInfo* d = FindDevice(r.signature);
        ASSERT_NE(d, nullptr) << r.name;
        EXPECT_STREQ(d->Name, r.name);
        EXPECT_EQ(d->Type, r.type) << r.name;
        EXPECT_EQ(d->FlashPage, r.flashPage) << r.name;
        EXPECT_EQ(d->EEPROMPage, r.eepromPage) << r.name;
        EXPECT_EQ(d->Echoes, r.echoes) << r.name;
        EXPECT_EQ(d->FlashBusy, r.flashBusy) << r.name;
        EXPECT_EQ(FindDevice(std::string_view(r.name)), d);
    }
    EXPECT_EQ(FindDevice(TSignature{0x1E, 0x95, 0x99}), nullptr);
}

}  // namespace
