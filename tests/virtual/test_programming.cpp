// Kestrin's own programming routines against the virtual chips: with the
// built-in profiles' settings a write verifies, and what it wrote is in the chip.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VirtualDriver.h"
#include "devices/Unit89S8252.h"
#include "devices/Unit89S8253.h"

using kestrin::ProgResult;
using kestrin::TNullProgress;
using kestrin::TProgParams;
using kestrin::test::Bytes;
using kestrin::test::VirtualDriver;

namespace {

Bytes Image(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed ^ (i * 29 + (i >> 8)));
    return b;
}

TProgParams Params(const Bytes& image, int32_t start, bool eeprom, int32_t waitFlash, int32_t waitEeprom,
                   int32_t waitErase) {
    TProgParams p;
    p.Data = image.data();
    p.Size = static_cast<int32_t>(image.size());
    p.StartAddress = start;
    p.EEPROM = eeprom;
    p.WaitFlash = waitFlash;
    p.WaitEEPROM = waitEeprom;
    p.WaitErase = waitErase;
    p.Verify = true;
    return p;
}

void Connect(VirtualDriver&, const char* chip, VirtualDriver& vv) {
    vv.Set("chip", chip);
    ASSERT_EQ(kestrin::Ops.Connect(0, 1), 0);
    kestrin::Ops.SetEnables(0, 1);
    kestrin::Ops.SetLevels(0, 0, 0);
}

}  // namespace

TEST(VirtualProgramming, WritesWithTheBuiltInProfilesVerifyAndLand) {
    struct Case {
        const char* what;
        const char* chip;
        bool eeprom;
        int32_t start;
        size_t size;
        int32_t stored;  // address where the chip keeps the first byte
        std::function<ProgResult(const TProgParams&, TNullProgress&)> write;
        int32_t waitFlash, waitEeprom, waitErase;
    };
    auto w8252 = [](const TProgParams& p, TNullProgress& g) { return kestrin::Write89S8252(p, g); };
    auto w8253 = [](const TProgParams& p, TNullProgress& g) { return kestrin::Write89S8253(p, g); };
    auto w52 = [](const TProgParams& p, TNullProgress& g) { return kestrin::Write89S52(p, g); };
    const std::vector<Case> cases = {
        {"8252 Flash", "AT89S8252", false, 0x1F00, 200, 0x1F00, w8252, 4000, 4000, -1},
        {"8252 E2PROM past 8 KB", "AT89S8252", true, 0x20FE, 40, 0x00FE, w8252, 4000, 4000, -1},
        {"8253 Flash", "AT89S8253", false, 0x0010, 1000, 0x0010, w8253, 4500, 4500, 500000},
        {"8253 E2PROM", "AT89S8253", true, 0x0700, 256, 0x0700, w8253, 4500, 4500, 500000},
        {"S52 Flash", "AT89S52", false, 0x0110, 0x200, 0x0110, w52, 1000, -1, 500000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        VirtualDriver vv;
        Connect(vv, c.chip, vv);
        const Bytes image = Image(c.size, 0x5A);
        TNullProgress progress;
        EXPECT_EQ(c.write(Params(image, c.start, c.eeprom, c.waitFlash, c.waitEeprom, c.waitErase), progress),
                  kestrin::ProgOk);
        EXPECT_EQ(vv.Read(c.eeprom ? VV_EEPROM : VV_FLASH, c.stored, static_cast<int32_t>(c.size)), image);
        EXPECT_EQ(vv.Log().find("lost while busy"), std::string::npos) << vv.Log().substr(0, 2000);
    }
}

TEST(VirtualProgramming, BackupKeepsTheOtherMemoryAcrossTheErase) {
    VirtualDriver vv;
    Connect(vv, "AT89S8253", vv);
    const Bytes flash = Image(12288, 0x11), eeprom = Image(100, 0x22);
    vv.Write(VV_FLASH, 0, flash);
    TProgParams p = Params(eeprom, 0x40, true, 4500, 4500, 500000);
    p.Backup = true;
    TNullProgress progress;
    EXPECT_EQ(kestrin::Write89S8253(p, progress), kestrin::ProgOk);
    EXPECT_EQ(vv.Read(VV_FLASH, 0, 12288), flash);
    EXPECT_EQ(vv.Read(VV_EEPROM, 0x40, 100), eeprom);
}

TEST(VirtualProgramming, ChipFaultsShowAsTheirResults) {
    struct Case {
        const char* what;
        std::string key, value;
        int32_t waitFlash;
        ProgResult expected;
    };
    const std::vector<Case> cases = {
        {"healthy", "", "", 4500, kestrin::ProgOk},
        {"no target", "no_target", "1", 4500, kestrin::ProgNoDevice},
        {"late target", "answer_from_attempt", "4", 4500, kestrin::ProgOk},
        {"stuck bit", "stuck_bit", "flash:0x0021:6:0", 4500, kestrin::ProgVerifyFailed},
        {"pause shorter than the write cycle", "", "", 3000, kestrin::ProgVerifyFailed},
        {"profile levels against an SCK inverter", "wire_sck_inverted", "1", 4500, kestrin::ProgNoDevice},
        {"another chip on the lines", "chip", "AT89S8252", 4500, kestrin::ProgNoDevice},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        VirtualDriver vv;
        Connect(vv, "AT89S8253", vv);
        if (!c.key.empty()) vv.Set(c.key, c.value);
        const Bytes image = Image(256, 0xC3);
        TNullProgress progress;
        EXPECT_EQ(kestrin::Write89S8253(Params(image, 0, false, c.waitFlash, 4500, 500000), progress), c.expected);
    }
}

TEST(VirtualProgramming, ByteModeReadReturnsWhatTheChipHolds) {
    VirtualDriver vv;
    Connect(vv, "AT89S8252", vv);
    const Bytes eeprom = Image(2048, 0x77);
    vv.Write(VV_EEPROM, 0, eeprom);
    Bytes none;
    TProgParams p = Params(none, 0x0100, true, 4000, 4000, -1);
    p.Size = 300;
    std::vector<uint8_t> data;
    TNullProgress progress;
    ASSERT_EQ(kestrin::Read89S8252(p, progress, data), kestrin::ProgOk);
    EXPECT_EQ(data, Bytes(eeprom.begin() + 0x100, eeprom.begin() + 0x100 + 300));
}
