// Serial numbers of a production run: where in the chip a number goes, how
// its bytes are formed, and the series it is taken from (first value, step).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/UnitConfig.h"

namespace kestrin {

enum class TSerialFormat {
    BinaryLE,  // "le": binary, least significant byte first
    BinaryBE,  // "be": binary, most significant byte first
    Bcd,       // "bcd": packed BCD, two digits a byte, most significant first
    Decimal,   // "dec": ASCII decimal digits, zero-padded to the length
    Hex,       // "hex": ASCII upper-case hexadecimal digits, zero-padded
};

struct TSerialSeries {
    int64_t Address = 0;  // chip address of the first byte
    int Length = 4;       // bytes, 1 to 8
    TSerialFormat Format = TSerialFormat::BinaryLE;
    uint64_t First = 1;
    uint64_t Step = 1;

    bool operator==(const TSerialSeries&) const = default;
};

// "le", "be", "bcd", "dec", "hex".
const char* SerialFormatName(TSerialFormat format);
std::optional<TSerialFormat> SerialFormatByName(const std::string& name);

// The largest number the length and format can hold.
uint64_t SerialLimit(int length, TSerialFormat format);

// What is wrong with a series (a length outside 1..8, a step of 0, a first
// number that does not fit, an address beyond 64 KB); empty when it is sound.
std::optional<std::string> SerialSeriesProblem(const TSerialSeries& series);

// Reads "ADDR:LEN:FORMAT:FIRST[:STEP]" (numbers decimal or 0x hex), as
// --serial takes it; the error names what is wrong.
std::optional<TSerialSeries> ParseSerialSeries(const std::string& text, std::string& error);
// The same text back.
std::string SerialSeriesText(const TSerialSeries& series);

// The bytes of value in the series' format; empty with error set when it
// does not fit.
std::optional<std::vector<uint8_t>> EncodeSerial(const TSerialSeries& series, uint64_t value, std::string& error);

// Writes the number into an image that starts at chip address start; the
// image grows with 0xFF (erased) bytes when the number lies beyond its end.
// False with error set when the number lies before the image or does not fit.
bool PatchSerial(std::vector<uint8_t>& image, int64_t start, const TSerialSeries& series, uint64_t value,
                 std::string& error);

// The profile's serial-number settings; empty when it uses none (no
// SerialFormat key) or when they are unsound (error set then).
std::optional<TSerialSeries> ProfileSerial(const TProfile& profile, std::string& error);
// Stores a series in the profile's settings (or clears them for none).
void SetProfileSerial(TProfile& profile, const std::optional<TSerialSeries>& series);

}  // namespace kestrin
