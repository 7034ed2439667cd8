#include "devices/AvrFuses.h"

#include "devices/AvrIsp.h"
#include "devices/ProgRun.h"

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
        {"CKSEL", "clock source"},
        {"SUT", "start-up time after reset"},
        {"CKDIV8", "divide the clock by 8"},
        {"CKOUT", "clock output on the CLKO pin"},
        {"CKOPT", "oscillator option (full swing, higher frequency)"},
        {"BODLEVEL", "brown-out detector trigger level"},
        {"BODEN", "brown-out detector enabled"},
        {"BODACT", "brown-out detector in active mode"},
        {"BODPD", "brown-out detector in sleep modes"},
        {"EESAVE", "E²PROM kept through chip erase"},
        {"WDTON", "watchdog timer always on"},
        {"SPIEN", "serial programming enabled"},
        {"DWEN", "debugWIRE enabled (takes the reset pin)"},
        {"RSTDISBL", "reset pin becomes an I/O pin (ends serial programming)"},
        {"RSTDSBL", "reset pin becomes an I/O pin (ends serial programming)"},
        {"SPMEN", "self-programming (SPM) enabled"},
        {"EXTCLKEN", "external clock input enabled"},
        {"CKSTART", "clock start-up behaviour"},
        {"PLLCK", "PLL as the system clock"},
        {"ULPOSCSEL", "ultra-low-power oscillator frequency"},
        {"_32OEN", "32 kHz oscillator enabled"},
        {"EEACC", "E²PROM access mode"},
        {"PCEE", "E²PROM protection"},
        {"PSCINRB", "PSC input reset behaviour"},
        {"PSCRV", "PSC output reset value"},
        {"Reserved", "reserved: keep the value read"},
        {"EELOCK", "E²PROM locked"},
        {"FRCFS", "fast RC oscillator frequency select"},
        {"TSRDI", "temperature shutdown reset disabled"},
        {"WDRCON", "watchdog reset configuration"},
        {"BOOTSZ", "boot section size"},
        {"BOOTRST", "start at the boot loader after reset"},
        {"SELFPRGEN", "self-programming (SPM) enabled"},
        {"JTAGEN", "JTAG interface enabled"},
        {"OCDEN", "on-chip debugging enabled"},
        {"BLB0", "lock of the application section"},
        {"BLB1", "lock of the boot section"},
        {"LB", "memory lock (programmed: no reading back, no writing)"},
        {"HWBE", "hardware boot pin enabled"},
        {"PSCRST", "PSC outputs on reset"},
        {"PSC0RB", "PSC0 reset behaviour"},
        {"PSC1RB", "PSC1 reset behaviour"},
        {"PSC2RB", "PSC2 reset behaviour"},
        {"S8515C", "AT90S8515 compatibility mode"},
        {"S8535C", "AT90S8535 compatibility mode"},
        {"M103C", "ATmega103 compatibility mode"},
        {"M161C", "ATmega161 compatibility mode"},
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
