#include "devices/AvrFuses.h"

#include "devices/AvrIsp.h"
#include "devices/ProgRun.h"
#include "devices/Translatable.h"

namespace kestrin {

bool WriteFusesAVR(TEnterProgMode enterProgMode, int32_t fuseWriteTime, uint8_t high, uint8_t low) {
    if (!enterProgMode()) return false;
    SendAvr({0xAC, 0xA0, 0x00, low});
    Pause(fuseWriteTime);
    SendAvr({0xAC, 0xA8, 0x00, high});
    return true;
}

void ReadFuseBytesAVR(uint8_t& high, uint8_t& low) {
    low = ExchangeAvr({0x50, 0x00, 0x00, 0x00});
    high = ExchangeAvr({0x58, 0x08, 0x00, 0x00});
}

bool ReadFusesAVR(TEnterProgMode enterProgMode, uint8_t& high, uint8_t& low) {
    if (!enterProgMode()) return false;
    ReadFuseBytesAVR(high, low);
    return true;
}

std::string FuseBitMeaning(std::string_view name, const char* headerComment) {
    // Longest names first: BODLEVEL before BOD, BOOTRST before BOOTSZ's "BOOT".
    static const std::pair<std::string_view, const char*> kGlossary[] = {
        {"CKSEL", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "clock source")},
        {"SUT", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "start-up time after reset")},
        {"CKDIV8", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "divide the clock by 8")},
        {"CKOUT", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "clock output on the CLKO pin")},
        {"CKOPT", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "oscillator option (full swing, higher frequency)")},
        {"BODLEVEL", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "brown-out detector trigger level")},
        {"BODEN", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "brown-out detector enabled")},
        {"BODACT", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "brown-out detector in active mode")},
        {"BODPD", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "brown-out detector in sleep modes")},
        {"EESAVE", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "E²PROM kept through chip erase")},
        {"WDTON", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "watchdog timer always on")},
        {"SPIEN", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "serial programming enabled")},
        {"DWEN", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "debugWIRE enabled (takes the reset pin)")},
        {"RSTDISBL", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "reset pin becomes an I/O pin (ends serial programming)")},
        {"RSTDSBL", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "reset pin becomes an I/O pin (ends serial programming)")},
        {"SPMEN", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "self-programming (SPM) enabled")},
        {"EXTCLKEN", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "external clock input enabled")},
        {"CKSTART", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "clock start-up behaviour")},
        {"PLLCK", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "PLL as the system clock")},
        {"ULPOSCSEL", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "ultra-low-power oscillator frequency")},
        {"_32OEN", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "32 kHz oscillator enabled")},
        {"EEACC", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "E²PROM access mode")},
        {"PCEE", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "E²PROM protection")},
        {"PSCINRB", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "PSC input reset behaviour")},
        {"PSCRV", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "PSC output reset value")},
        {"Reserved", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "reserved: keep the value read")},
        {"EELOCK", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "E²PROM locked")},
        {"FRCFS", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "fast RC oscillator frequency select")},
        {"TSRDI", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "temperature shutdown reset disabled")},
        {"WDRCON", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "watchdog reset configuration")},
        {"BOOTSZ", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "boot section size")},
        {"BOOTRST", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "start at the boot loader after reset")},
        {"SELFPRGEN", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "self-programming (SPM) enabled")},
        {"JTAGEN", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "JTAG interface enabled")},
        {"OCDEN", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "on-chip debugging enabled")},
        {"BLB0", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "lock of the application section")},
        {"BLB1", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "lock of the boot section")},
        {"LB", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "memory lock (programmed: no reading back, no writing)")},
        {"HWBE", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "hardware boot pin enabled")},
        {"PSCRST", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "PSC outputs on reset")},
        {"PSC0RB", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "PSC0 reset behaviour")},
        {"PSC1RB", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "PSC1 reset behaviour")},
        {"PSC2RB", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "PSC2 reset behaviour")},
        {"S8515C", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "AT90S8515 compatibility mode")},
        {"S8535C", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "AT90S8535 compatibility mode")},
        {"M103C", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "ATmega103 compatibility mode")},
        {"M161C", QT_TRANSLATE_NOOP("kestrin::FuseBitMeaning", "ATmega161 compatibility mode")},
    };
    std::string_view bestKey;
    const char* best = nullptr;
    for (const auto& [key, meaning] : kGlossary)
        if (name.substr(0, key.size()) == key && key.size() > bestKey.size()) {
            bestKey = key;
            best = meaning;
        }
    if (best != nullptr) return best;
    return headerComment != nullptr ? headerComment : "";
}

std::array<std::string, 8> LockBitNames(uint8_t lockMask) {
    static const char* const kNames[8] = {"LB1", "LB2", "BLB01", "BLB02", "BLB11", "BLB12", "", ""};
    std::array<std::string, 8> names;
    for (size_t bit = 0; bit < names.size(); ++bit)
        if ((lockMask >> bit) & 1) names[bit] = kNames[bit];
    return names;
}

}  // namespace kestrin
