// Pieces shared by the text formats (Intel HEX, Motorola S-record): lines,
// hexadecimal digit pairs, and the text a writer builds. Internal to src/files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kestrin::records {

constexpr std::array<int8_t, 256> MakeDigitValues() {
    std::array<int8_t, 256> values{};
    values.fill(-1);
    for (int c = '0'; c <= '9'; ++c) values[c] = static_cast<int8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) values[c] = static_cast<int8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) values[c] = static_cast<int8_t>(c - 'a' + 10);
    return values;
}
inline constexpr std::array<int8_t, 256> kDigitValue = MakeDigitValues();

inline bool IsHexDigit(char c) { return kDigitValue[static_cast<unsigned char>(c)] >= 0; }

// The byte of the two digits at `digits`, or -1 when one is not a hexadecimal digit.
inline int DecodePair(const char* digits) {
    const int high = kDigitValue[static_cast<unsigned char>(digits[0])];
    const int low = kDigitValue[static_cast<unsigned char>(digits[1])];
    return (high | low) < 0 ? -1 : high * 16 + low;
}

inline constexpr char kUpperDigits[] = "0123456789ABCDEF";

inline char* PutByte(char* out, unsigned byte) {
    out[0] = kUpperDigits[(byte >> 4) & 0x0F];
    out[1] = kUpperDigits[byte & 0x0F];
    return out + 2;
}

// A text without the UTF-8 byte order mark that some editors put in front.
inline std::string_view WithoutByteOrderMark(std::string_view text) {
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    return text;
}

// Calls visit(line, number) for every line, numbered from 1; a line ends at
// CR, LF or CR LF. visit returns false to stop. No memory is taken.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
    const char* p = text.data();
    const char* const end = p + text.size();
    // The next CR and the next LF, each searched for again only once passed.
    auto next = [end](const char* from, char c) {
        const void* found = std::memchr(from, c, static_cast<std::size_t>(end - from));
        return found ? static_cast<const char*>(found) : end;
    };
    const char* cr = next(p, '\r');
    const char* lf = next(p, '\n');
    std::size_t number = 0;
    while (p < end) {
        if (cr < p) cr = next(p, '\r');
        if (lf < p) lf = next(p, '\n');
        const char* stop = cr < lf ? cr : lf;
        if (!visit(std::string_view(p, static_cast<std::size_t>(stop - p)), ++number)) return;
        p = stop;
        if (p < end && *p == '\r') ++p;
        if (p < end && *p == '\n') ++p;
    }
}

}  // namespace kestrin::records
