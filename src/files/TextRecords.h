// Pieces shared by the text formats (Intel HEX, Motorola S-record): lines,
// hexadecimal digit pairs, and the text a writer builds. Internal to src/files.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "files/FileResult.h"
#include "files/MemoryImage.h"

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

// What a reader's first pass learns before any memory is taken: where the
// image ends, the first address beyond the limit, and the damaged line that
// fails the file whatever else it holds.
struct FirstPass {
    uint64_t end = 0;
    std::optional<uint64_t> beyond;
    std::string damage;

    // A data record from first up to last (exclusive).
    void Data(uint64_t first, uint64_t last, uint32_t limit) {
        if (last > limit) {
            if (!beyond) beyond = std::max<uint64_t>(first, limit);
        } else {
            end = std::max(end, last);
        }
    }

    // The file's failure, or FileOk when the image can be taken.
    FileResult Failure(uint32_t limit, DataFileContents& contents) const {
        if (!damage.empty()) return ReadFailure(contents, FileChecksumError, damage);
        if (beyond) return ReadFailure(contents, FileTooLarge, BeyondLimitText(*beyond, limit));
        if (end == 0) return ReadFailure(contents, FileNoData, "the file holds no data record");
        return FileOk;
    }
};

// The second pass: takes the image up to end at once, all FF, and lets
// place(builder) put the records into it.
template <typename Place>
FileResult BuildImage(uint64_t end, DataFileContents& contents, Place&& place) {
    try {
        ImageBuilder builder(static_cast<uint32_t>(end));
        place(builder);
        contents.image = builder.Finish();
        return FileOk;
    } catch (const std::bad_alloc&) {
        return ReadFailure(contents, FileIoError, "there is not enough memory for the image");
    }
}

// The bytes of count digit pairs, checked by the first pass, into out.
inline void DecodeData(const char* digits, uint32_t count, uint8_t* out) {
    for (uint32_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(DecodePair(digits + 2 * i));
}

}  // namespace kestrin::records
