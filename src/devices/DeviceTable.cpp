#include "devices/DeviceTable.h"

#include <strings.h>

#include <algorithm>

namespace kestrin {

namespace {

constexpr std::array<uint8_t, 2> kReadsFF{0xFF, 0xFF};
// Classic AT90S parts show a Flash byte being written as 7F, an E²PROM byte
// as 80 and then 7F; the AT90S1200 reads FF, or 00 and then FF.
constexpr std::array<uint8_t, 2> kClassicFlash{0x7F, 0x7F};
constexpr std::array<uint8_t, 2> kClassicEEPROM{0x80, 0x7F};
constexpr std::array<uint8_t, 2> k1200EEPROM{0x00, 0xFF};

// Write times of the classic parts depend on the supply voltage; these are the
// values at 2.7 V, which also hold at 5 V.
const std::array kDevices{
    //          name      type       signature          Flash  page  E²PROM page poll   echo  Flash  E²PROM erase
    TDeviceInfo{"AT90S1200", ctAT90xx, {0x1E, 0x90, 0x01}, 1024, 0, 64, 0, false, false, 9000, 9000, 20000, kReadsFF,
                k1200EEPROM},
    TDeviceInfo{"AT90S2313", ctAT90xx, {0x1E, 0x91, 0x01}, 2048, 0, 128, 0, false, true, 9000, 9000, 20000,
                kClassicFlash, kClassicEEPROM},
    TDeviceInfo{"AT90S8515", ctAT90xx, {0x1E, 0x93, 0x01}, 8192, 0, 512, 0, false, true, 9000, 9000, 20000,
                kClassicFlash, kClassicEEPROM},
    TDeviceInfo{"ATtiny13", ctATtiny, {0x1E, 0x90, 0x07}, 1024, 32, 64, 4, true, true, 4500, 4000, 4000, kReadsFF, kReadsFF},
    TDeviceInfo{"ATtiny2313", ctATtiny, {0x1E, 0x91, 0x0A}, 2048, 32, 128, 4, true, true, 4500, 4000, 9000, kReadsFF,
                kReadsFF},
    TDeviceInfo{"ATtiny25", ctATtiny, {0x1E, 0x91, 0x08}, 2048, 32, 128, 4, true, true, 4500, 4000, 4500, kReadsFF, kReadsFF},
    TDeviceInfo{"ATtiny45", ctATtiny, {0x1E, 0x92, 0x06}, 4096, 64, 256, 4, true, true, 4500, 4000, 4500, kReadsFF, kReadsFF},
    TDeviceInfo{"ATtiny85", ctATtiny, {0x1E, 0x93, 0x0B}, 8192, 64, 512, 4, true, true, 4500, 4000, 4500, kReadsFF, kReadsFF},
    TDeviceInfo{"ATtiny44", ctATtiny, {0x1E, 0x92, 0x07}, 4096, 64, 256, 4, true, true, 4500, 4000, 4500, kReadsFF, kReadsFF},
    TDeviceInfo{"ATtiny84", ctATtiny, {0x1E, 0x93, 0x0C}, 8192, 64, 512, 4, true, true, 4500, 4000, 4500, kReadsFF, kReadsFF},
    TDeviceInfo{"ATmega8", ctATmega, {0x1E, 0x93, 0x07}, 8192, 64, 512, 0, false, true, 4500, 9000, 9000, kReadsFF, kReadsFF},
    TDeviceInfo{"ATmega16", ctATmega, {0x1E, 0x94, 0x03}, 16384, 128, 512, 4, true, true, 4500, 9000, 9000, kReadsFF,
                kReadsFF},
    TDeviceInfo{"ATmega32", ctATmega, {0x1E, 0x95, 0x02}, 32768, 128, 1024, 4, true, true, 4500, 9000, 9000, kReadsFF,
                kReadsFF},
    TDeviceInfo{"ATmega48", ctATmega, {0x1E, 0x92, 0x05}, 4096, 64, 256, 4, true, true, 4500, 3600, 45000, kReadsFF,
                kReadsFF},
    TDeviceInfo{"ATmega88", ctATmega, {0x1E, 0x93, 0x0A}, 8192, 64, 512, 4, true, true, 4500, 3600, 9000, kReadsFF, kReadsFF},
    TDeviceInfo{"ATmega168", ctATmega, {0x1E, 0x94, 0x06}, 16384, 128, 512, 4, true, true, 4500, 3600, 9000, kReadsFF,
                kReadsFF},
    TDeviceInfo{"ATmega328P", ctATmega, {0x1E, 0x95, 0x0F}, 32768, 128, 1024, 4, true, true, 4500, 3600, 9000, kReadsFF,
                kReadsFF},
    TDeviceInfo{"ATmega64", ctATmega, {0x1E, 0x96, 0x02}, 65536, 256, 2048, 0, true, true, 4500, 9000, 9000, kReadsFF,
                kReadsFF},
    TDeviceInfo{"ATmega128", ctATmega, {0x1E, 0x97, 0x02}, 131072, 256, 4096, 0, true, true, 5000, 10000, 10000, kReadsFF,
                kReadsFF},
    TDeviceInfo{"ATmega644P", ctATmega, {0x1E, 0x96, 0x0A}, 65536, 256, 2048, 8, true, true, 4500, 9000, 55000, kReadsFF,
                kReadsFF},
    TDeviceInfo{"ATmega2560", ctATmega, {0x1E, 0x98, 0x01}, 262144, 256, 4096, 8, true, true, 4500, 9000, 9000, kReadsFF,
                kReadsFF},
};

}  // namespace

std::span<const TDeviceInfo> Devices() { return kDevices; }

const TDeviceInfo* FindDevice(const TSignature& signature) {
    const auto it = std::find_if(kDevices.begin(), kDevices.end(),
                                 [&](const TDeviceInfo& d) { return d.Signature == signature; });
    return it == kDevices.end() ? nullptr : &*it;
}

const TDeviceInfo* FindDevice(std::string_view name) {
    const auto it = std::find_if(kDevices.begin(), kDevices.end(), [&](const TDeviceInfo& d) {
        const std::string_view n = d.Name;
        return n.size() == name.size() && strncasecmp(n.data(), name.data(), n.size()) == 0;
    });
    return it == kDevices.end() ? nullptr : &*it;
}

int32_t LargestMemory(uint8_t type, bool eeprom) {
    int32_t largest = 0;
    for (const TDeviceInfo& d : kDevices)
        if (d.Type == type) largest = std::max(largest, eeprom ? d.EEPROMSize : d.FlashSize);
    return largest;
}

}  // namespace kestrin
