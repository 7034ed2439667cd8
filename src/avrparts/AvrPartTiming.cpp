// Write times and polling of the AVR parts: one default per family and the
// parts that differ from it, each with where its figure comes from. Times are
// the least that hold over the whole supply range, in microseconds.
#include <algorithm>
#include <string_view>

#include "AvrParts.h"

namespace kestrin::avrparts {

namespace {

constexpr std::array<uint8_t, 2> kReadsFF{0xFF, 0xFF};
// A classic part shows a Flash byte being written as 7F, an E²PROM byte as 80
// and then 7F (AT90S2313 datasheet 0839, "Data Polling").
constexpr std::array<uint8_t, 2> kClassicFlash{0x7F, 0x7F};
constexpr std::array<uint8_t, 2> kClassicEEPROM{0x80, 0x7F};

//                               Flash E²PROM erase  fuse  poll   echo  EE pages
// megaAVR: ATmega8 datasheet 2486, Table 98 (tWD_FLASH 4.5, tWD_EEPROM 9.0, tWD_ERASE 9.0, tWD_FUSE 4.5 ms).
constexpr AvrTiming kMega{4500, 9000, 9000, 4500, true, true, true, kReadsFF, kReadsFF};
// tinyAVR: ATtiny25/45/85 datasheet 2586, "Serial Programming Characteristics" (4.5 / 4.0 / 4.5 / 4.5 ms).
constexpr AvrTiming kTiny{4500, 4000, 4500, 4500, true, true, true, kReadsFF, kReadsFF};
// AT90S: AT90S2313 datasheet 0839, tWD_PROG and tWD_ERASE at 2.7 V (the 5 V figures are shorter);
// no ready/busy poll, byte writes only.
constexpr AvrTiming kClassic{9000, 9000, 20000, 9000, false, true, false, kClassicFlash, kClassicEEPROM};

struct Exception {
    // The parts' names, separated by spaces; "ATmega48*" stands for every
    // name that starts with ATmega48.
    std::string_view names;
    void (*apply)(AvrTiming&);
};

bool Names(std::string_view list, std::string_view name) {
    while (!list.empty()) {
        const size_t end = std::min(list.find(' '), list.size());
        const std::string_view entry = list.substr(0, end);
        if (!entry.empty() && entry.back() == '*' ? name.substr(0, entry.size() - 1) == entry.substr(0, entry.size() - 1)
                                                  : name == entry)
            return true;
        list.remove_prefix(std::min(end + 1, list.size()));
    }
    return false;
}

// Every matching line applies, in order.
const Exception kExceptions[] = {
    // AT90S1200 datasheet 0838, pp. 45-46: it never echoes the enable; a busy
    // Flash byte reads 7F like the other classic parts, a busy E²PROM byte 00 and then FF.
    {"AT90S1200", [](AvrTiming& t) { t.echoes = false; t.eepromBusy = {0x00, 0xFF}; }},
    // ATmega8 datasheet 2486, Table 98: no ready/busy poll, no E²PROM page instructions.
    {"ATmega8 ATmega8A", [](AvrTiming& t) { t.busyPoll = false; t.eepromPages = false; }},
    // The first megaAVRs' serial instruction tables (ATmega103, 161, 163, 323,
    // 8515, 8535) have neither; waiting is never wrong.
    {"ATmega103 ATmega161 ATmega163 ATmega323 ATmega8515 ATmega8535",
     [](AvrTiming& t) { t.busyPoll = false; t.eepromPages = false; }},
    // ATmega64 2490R Table 128, ATmega128A 8151H Table 26-14: E²PROM by bytes only.
    {"ATmega64 ATmega64A", [](AvrTiming& t) { t.eepromPages = false; }},
    {"ATmega128 ATmega128A", [](AvrTiming& t) { t.eepromPages = false; t.flashUs = 5000; t.eepromUs = 10000; t.eraseUs = 10000; }},
    // ATmega48A-328P datasheet DS40002061A, Table 28-18: tWD_EEPROM 3.6 ms.
    {"ATmega48*", [](AvrTiming& t) { t.eepromUs = 3600; t.eraseUs = 45000; }},  // avrdude's m48 erase time
    {"ATmega88*", [](AvrTiming& t) { t.eepromUs = 3600; }},
    {"ATmega168*", [](AvrTiming& t) { t.eepromUs = 3600; }},
    {"ATmega328*", [](AvrTiming& t) { t.eepromUs = 3600; }},
    // ATmega644 2593O Table 25-16; avrdude's 644P: erase 55 ms, fuse 9 ms.
    {"ATmega644*", [](AvrTiming& t) { t.eraseUs = 55000; t.fuseUs = 9000; }},
    // ATmega640/1280/2560 2549Q p.353 and avrdude: fuse 9 ms.
    {"ATmega640 ATmega1280 ATmega1281 ATmega2560 ATmega2561", [](AvrTiming& t) { t.fuseUs = 9000; }},
    // ATtiny13: avrdude's erase 4 ms. ATtiny2313 2543H Tables 77/78 and avrdude: erase 9 ms.
    {"ATtiny13*", [](AvrTiming& t) { t.eraseUs = 4000; }},
    {"ATtiny2313*", [](AvrTiming& t) { t.eraseUs = 9000; }},
    // ATtiny25-85 and 24-84: avrdude's fuse write 9 ms.
    {"ATtiny25 ATtiny45 ATtiny85 ATtiny24 ATtiny24A ATtiny44 ATtiny44A ATtiny84 ATtiny84A",
     [](AvrTiming& t) { t.fuseUs = 9000; }},
    // The ATtiny12, 15 and 22 write their Flash byte by byte like an AT90S
    // (ATtiny12 datasheet 1006, "Serial Programming"): no poll, no pages, and
    // the classic busy readings. The ATtiny26 (1477) has no ready/busy poll either.
    {"ATtiny12 ATtiny15 ATtiny22", [](AvrTiming& t) { t = kClassic; }},
    {"ATtiny26", [](AvrTiming& t) { t.busyPoll = false; t.eepromPages = false; t.eraseUs = 9000; }},
};

}  // namespace

AvrTiming TimingOf(const AvrPart& part) {
    AvrTiming t = part.family == AvrFamily::Classic ? kClassic : part.family == AvrFamily::Tiny ? kTiny : kMega;
    for (const Exception& e : kExceptions)
        if (Names(e.names, part.name)) e.apply(t);
    if (part.eepromPageBytes == 0) t.eepromPages = false;
    // A part that writes its Flash byte by byte (the AT86RF401, the ATmega103)
    // is told done by the cell it writes, as the classic parts are.
    if (part.flashPageBytes == 0) t.busyPoll = false;
    return t;
}

}  // namespace kestrin::avrparts
