// Reading avr-libc's device headers: which parts io.h knows, the macros a
// part's header defines (as the C preprocessor lists them with -dD), and the
// one table row the programmer needs from them.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace avrtable {

// One part of io.h's chain: "ATmega328P" and its macro __AVR_ATmega328P__.
struct HeaderPart {
    std::string name;
    std::string macro;
};

// The parts io.h selects a header for, in its order.
std::vector<HeaderPart> PartsOfIoHeader(const std::string& ioHeaderText);

// The macros of a preprocessor dump (-dD), in the order they were defined;
// an #undef removes a macro, a later definition replaces an earlier one.
struct MacroList {
    std::vector<std::pair<std::string, std::string>> ordered;  // name, replacement text
    std::map<std::string, std::string> last;
    bool Has(const std::string& name) const { return last.count(name) != 0; }
};
MacroList MacrosOfDump(const std::string& dumpText);

// The files the dump says were included (its line markers), in order.
std::vector<std::string> IncludedFiles(const std::string& dumpText);

// The trailing /* comments */ of FUSE_* definitions in header text:
// "WDTON" -> "Watchdog Timer Always On". The first comment of a name wins.
void CollectFuseComments(const std::string& headerText, std::map<std::string, std::string>& comments);

// The value of a macro's integer expression (numbers, other macros, _BV(),
// casts to unsigned char, ~ & | + - * << >> and parentheses); nullopt when it
// is not one.
std::optional<int64_t> Evaluate(const std::string& expression, const MacroList& macros);

enum class Family { Classic, Tiny, Mega };

struct PartRow {
    std::string name;
    Family family = Family::Mega;
    std::array<uint8_t, 3> signature{};
    uint32_t flashBytes = 0;
    uint32_t flashPageBytes = 0;  // 0: Flash written byte by byte
    uint32_t eepromBytes = 0;
    uint32_t eepromPageBytes = 0;
    int fuseCount = 0;  // fuse bytes reachable over the serial interface: 0..3
    std::array<uint8_t, 3> fuseDefaults{0xFF, 0xFF, 0xFF};
    std::array<std::array<std::string, 8>, 3> fuseBits{};  // names without FUSE_, empty: unused
    std::array<std::array<std::string, 8>, 3> fuseComments{};
    uint8_t lockMask = 0;  // lock bits in use: LB1/LB2 bits 0-1, BLB0x 2-3, BLB1x 4-5
};

// Why a part of io.h is left out of the table; empty when it is programmable
// over the SPI serial interface and its header names what the table needs.
std::string ExclusionReason(const HeaderPart& part, const MacroList& macros);

// The row of a part that is not excluded.
PartRow RowOf(const HeaderPart& part, const MacroList& macros, const std::map<std::string, std::string>& comments);

// The generated C++ source defining the table of rows.
std::string TableSource(const std::vector<PartRow>& rows);

}  // namespace avrtable
