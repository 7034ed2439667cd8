// Every part of the generated table on the virtual adapter: a full Flash and
// a full E²PROM image written, verified and read back, and the fuse bytes read
// and written, so that no row's sizes, pages, timing or signature are off.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "config/UnitConfig.h"
#include "devices/DeviceTable.h"
#include "devices/FuseBits.h"
#include "devices/Programmer.h"
#include "VirtualRunTest.h"

namespace kestrin::test {
namespace {

// A named bit of the fuse byte whose change keeps the part reachable over
// the serial interface; -1 when the byte has none.
int HarmlessBit(const avrparts::AvrPart& part, int byte) {
    for (int bit = 0; bit < 8; ++bit) {
        const char* name = part.fuseBits[static_cast<size_t>(byte)][static_cast<size_t>(bit)];
        if (name == nullptr) continue;
        const std::string_view n = name;
        if (n != "SPIEN" && n != "RSTDISBL" && n != "DWEN") return bit;
    }
    return -1;
}

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
        // Over the serial interface a part without fuse bytes (the AT86RF401)
        // has neither fuses nor lock bits; parts that share a signature are
        // the first of them on the wire.
        if (HasFuseWriter(device.Type) && part.fuseCount > 0 && FindDevice(device.Signature) == &device) {
            TFuseBits bits;
            ASSERT_EQ(ReadFuseBits(device.Type, {}, bits), TFuseRead::Read);
            ASSERT_EQ(bits.Device, &device);
            // One bit flipped in every fuse byte that names one (a byte whose
            // bits have no names goes back as read), and LB1 programmed: the
            // lock byte goes last, since a locked part takes no further fuse write.
            for (int i = 0; i < part.fuseCount; ++i) {
                const int bit = HarmlessBit(part, i);
                if (bit >= 0) FuseByte(bits, i) = static_cast<uint8_t>(FuseByte(bits, i) ^ (1u << bit));
            }
            if (part.lockMask & 0x01) bits.AvrLock = 0xFE;
            EXPECT_TRUE(SerialProgrammingCutOffs(device.Type, bits).empty());
            TFuseBits chip;
            EXPECT_EQ(WriteFuseBits(device.Type, {}, bits, chip), TFuseWrite::Written);
            ReleaseTarget({});
            std::vector<uint8_t> written;
            for (int i = 0; i < part.fuseCount; ++i) written.push_back(FuseByte(bits, i));
            EXPECT_EQ(vd.Read(VV_FUSES, 0, part.fuseCount), written);
            EXPECT_EQ(vd.Read(VV_LOCK, 0, 1)[0] & part.lockMask, bits.AvrLock & part.lockMask);
            TFuseBits again;
            EXPECT_EQ(ReadFuseBits(device.Type, {}, again), TFuseRead::Read);
            for (int i = 0; i < part.fuseCount; ++i) EXPECT_EQ(FuseByte(again, i), FuseByte(bits, i)) << i;
            EXPECT_EQ(again.AvrLock & part.lockMask, bits.AvrLock & part.lockMask);
        }
        EXPECT_EQ(vd.Log().find("lost while busy"), std::string::npos);
        ++parts;
    }
    EXPECT_EQ(parts, static_cast<int>(Devices().size()));
}

}  // namespace
}  // namespace kestrin::test
