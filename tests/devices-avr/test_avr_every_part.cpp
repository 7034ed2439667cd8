// Every part of the generated table on the virtual adapter: a full Flash and
// a full E²PROM image written, verified and read back, and the fuse bytes read
// and written, so that no row's sizes, pages, timing or signature are off.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/UnitConfig.h"
#include "devices/DeviceTable.h"
#include "devices/FuseBits.h"
#include "devices/Programmer.h"
#include "VirtualRunTest.h"

namespace kestrin::test {
namespace {

class EveryPartTest : public VirtualRunTest {
protected:
    void SetUp() override { Connected = true; }
    void TearDown() override { Connected = false; }
};

TEST_F(EveryPartTest, FullImagesAndFuseBytesRoundTripOnEveryPart) {
    int parts = 0;
    for (const TDeviceInfo& device : Devices()) {
        SCOPED_TRACE(device.Name);
        // The profile's shortest waits: the routines must take the part's own times.
        Use({device.Name, device.Type, 100, 100, 100});
        ASSERT_EQ(vd.Read(VV_SIGNATURE, 0, 3), std::vector<uint8_t>(device.Signature.begin(), device.Signature.end()));
        ASSERT_EQ(vd.Size(VV_FLASH), device.FlashSize);
        ASSERT_EQ(vd.Size(VV_EEPROM), device.EEPROMSize);
        for (bool eeprom : {false, true}) {
            const int32_t size = eeprom ? device.EEPROMSize : device.FlashSize;
            if (size == 0) continue;
            const auto image = Pattern(static_cast<size_t>(size), static_cast<uint8_t>(parts));
            ASSERT_EQ(Write(Block(image, 0, eeprom)), ProgOk) << (eeprom ? "E²PROM" : "Flash");
            EXPECT_EQ(vd.Read(eeprom ? VV_EEPROM : VV_FLASH, 0, size), image);
            std::vector<uint8_t> data;
            EXPECT_EQ(ReadByType(device.Type, Block(image, 0, eeprom), progress, data), ProgOk);
            EXPECT_EQ(data, image);
        }
        const avrparts::AvrPart& part = *device.Part;
        const std::vector<uint8_t> defaults(part.fuseDefaults.begin(), part.fuseDefaults.begin() + part.fuseCount);
        EXPECT_EQ(vd.Read(VV_FUSES, 0, part.fuseCount), defaults);
        if (HasFuseWriter(device.Type) && part.fuseCount >= 2) {
            // Bit 0 of the low byte is a clock select bit on every part: harmless to the simulation.
            TFuseBits bits;
            bits.FuseLow = static_cast<uint8_t>(part.fuseDefaults[0] ^ 0x01);
            bits.FuseHigh = part.fuseDefaults[1];
            TFuseBits chip;
            EXPECT_EQ(WriteFuseBits(device.Type, {}, bits, chip), TFuseWrite::Written);
            ReleaseTarget({});
            TFuseBits again;
            EXPECT_EQ(ReadFuseBits(device.Type, {}, again), TFuseRead::Read);
            EXPECT_EQ(again.FuseLow, bits.FuseLow);
            EXPECT_EQ(again.FuseHigh, bits.FuseHigh);
        }
        EXPECT_EQ(vd.Log().find("lost while busy"), std::string::npos);
        ++parts;
    }
    EXPECT_EQ(parts, static_cast<int>(Devices().size()));
}

}  // namespace
}  // namespace kestrin::test
