#include "files/IntelHex.h"

#include <array>
#include <cstring>
#include <new>

#include "files/FileIo.h"

namespace kestrin {

namespace {

constexpr std::array<int8_t, 256> MakeDigitValues() {
    std::array<int8_t, 256> values{};
    values.fill(-1);
    for (int c = '0'; c <= '9'; ++c) values[c] = static_cast<int8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) values[c] = static_cast<int8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) values[c] = static_cast<int8_t>(c - 'a' + 10);
    return values;
}
constexpr std::array<int8_t, 256> kDigitValue = MakeDigitValues();

constexpr char kUpperDigits[] = "0123456789ABCDEF";

// The text's lines; a line ends at CR, LF or CR LF.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    if (text.empty()) return lines;
    lines.reserve(text.size() / 32 + 1);
    const char* p = text.data();
    const char* const end = p + text.size();
    // The next CR and the next LF, each searched for again only once passed.
    auto next = [end](const char* from, char c) {
        const void* found = std::memchr(from, c, static_cast<std::size_t>(end - from));
        return found ? static_cast<const char*>(found) : end;
    };
    const char* cr = next(p, '\r');
    const char* lf = next(p, '\n');
    while (p < end) {
        if (cr < p) cr = next(p, '\r');
        if (lf < p) lf = next(p, '\n');
        const char* stop = std::min(cr, lf);
        lines.emplace_back(p, static_cast<std::size_t>(stop - p));
        p = stop;
        if (p < end && *p == '\r') ++p;
        if (p < end && *p == '\n') ++p;
    }
    return lines;
}

// The byte of the two digits at `digits`, or -1 when one is not a hexadecimal digit.
inline int DecodePair(const char* digits) {
    const int high = kDigitValue[static_cast<unsigned char>(digits[0])];
    const int low = kDigitValue[static_cast<unsigned char>(digits[1])];
    return (high | low) < 0 ? -1 : high * 16 + low;
}

char* PutByte(char* out, unsigned byte) {
    out[0] = kUpperDigits[(byte >> 4) & 0x0F];
    out[1] = kUpperDigits[byte & 0x0F];
    return out + 2;
}

}  // namespace

std::optional<uint8_t> HexPairToByte(char high, char low) {
    const char digits[2] = {high, low};
    const int byte = DecodePair(digits);
    if (byte < 0) return std::nullopt;
    return static_cast<uint8_t>(byte);
}

bool ParseHexRecord(std::string_view line, THexStream& stream) {
    if (line.empty() || line[0] != ':') return true;

    // The byte count gives the record's length. Every field up to and including
    // the checksum must be there and hexadecimal before anything reaches the
    // stream: a damaged line fails instead of yielding bytes.
    if (line.size() < 3) return false;
    const int count = DecodePair(&line[1]);
    if (count < 0) return false;
    const std::size_t recordBytes = static_cast<std::size_t>(count) + 5;  // count, address (2), type, data, checksum
    if (line.size() < 1 + 2 * recordBytes) return false;
    std::array<uint8_t, 255 + 5> record;
    unsigned sum = 0;
    int invalid = 0;
    for (std::size_t i = 0; i < recordBytes; ++i) {
        const int byte = DecodePair(&line[1 + 2 * i]);
        invalid |= byte;
        record[i] = static_cast<uint8_t>(byte);
        sum += record[i];
    }
    if (invalid < 0) return false;

    // Records without data bytes (the end record among them) and every record
    // type but 00 have no effect; their checksum is not examined.
    const uint8_t type = record[3];
    if (count == 0 || type != 0x00) return true;

    const uint8_t checksum = record[recordBytes - 1];
    sum -= checksum;
    stream.Seek(record[1] * 256u + record[2]);
    stream.Write(&record[4], static_cast<std::size_t>(count));
    return static_cast<uint8_t>(256 - (sum & 0xFF)) == checksum;
}

FileResult ReadIntelHexText(std::string_view text, std::vector<uint8_t>& image, int32_t& size) {
    image.clear();
    size = 0;
    if (text.empty()) return FileIoError;

    try {
        // The first pass learns the image's length, so that every byte no record
        // covers can be set to FF before the second pass places the records.
        // A line's answer does not depend on the stream, so a damaged line found
        // here fails the file whatever else it holds.
        const std::vector<std::string_view> lines = SplitLines(text);
        THexStream stream;
        bool damaged = false;
        for (std::string_view line : lines) damaged = !ParseHexRecord(line, stream) || damaged;
        if (damaged) return FileChecksumError;
        if (stream.Size() == 0) return FileNoData;

        stream.Fill(0xFF);
        for (std::string_view line : lines) {
            if (!ParseHexRecord(line, stream)) return FileChecksumError;
        }
        image = stream.Take();
        size = static_cast<int32_t>(image.size());
        return FileOk;
    } catch (const std::bad_alloc&) {
        image.clear();
        return FileIoError;
    }
}

FileResult ReadIntelHexFile(const std::string& fileName, std::vector<uint8_t>& image, int32_t& size) {
    image.clear();
    size = 0;
    std::vector<uint8_t> contents;
    std::uintmax_t length = 0;
    // The same bound as a binary file's size; records of any image fit many times over.
    constexpr std::uintmax_t kMaxTextLength = 0x7FFFFFFF;
    if (ReadWholeFile(fileName, contents, length, kMaxTextLength) != FileOk) return FileIoError;
    const std::string_view text(reinterpret_cast<const char*>(contents.data()), contents.size());
    return ReadIntelHexText(text, image, size);
}

std::string IntelHexText(const uint8_t* image, int32_t size) {
    constexpr int32_t kRecordBytes = 16;
    constexpr std::string_view kEndRecord = ":00000001FF\r\n";
    // A record line is ":", count, address, type and checksum (five bytes as
    // digits) and CR LF around its data digits.
    constexpr std::size_t kLineFrame = 1 + 2 * 5 + 2;
    const std::size_t lines = static_cast<std::size_t>((size + kRecordBytes - 1) / kRecordBytes);
    std::string text(static_cast<std::size_t>(size) * 2 + lines * kLineFrame + kEndRecord.size(), '\0');
    char* out = text.data();
    for (int32_t pos = 0; pos < size; pos += kRecordBytes) {
        const int32_t n = std::min(kRecordBytes, size - pos);
        const unsigned high = static_cast<unsigned>(pos) >> 8 & 0xFF;
        const unsigned low = static_cast<unsigned>(pos) & 0xFF;
        unsigned sum = static_cast<unsigned>(n) + high + low;
        *out++ = ':';
        out = PutByte(out, static_cast<unsigned>(n));
        out = PutByte(out, high);
        out = PutByte(out, low);
        out = PutByte(out, 0x00);
        for (int32_t i = 0; i < n; ++i) {
            sum += image[pos + i];
            out = PutByte(out, image[pos + i]);
        }
        out = PutByte(out, 0x100 - (sum & 0xFF));
        *out++ = '\r';
        *out++ = '\n';
    }
    std::copy(kEndRecord.begin(), kEndRecord.end(), out);
    return text;
}

FileResult WriteIntelHexFile(const std::string& fileName, const uint8_t* image, int32_t size) {
    if (fileName.empty() || image == nullptr || size <= 0) return FileNoData;
    if (size > kMaxHexWriteSize) return FileIoError;
    try {
        const std::string text = IntelHexText(image, size);
        return ReplaceFile(fileName, text.data(), text.size());
    } catch (const std::bad_alloc&) {
        return FileIoError;
    }
}

}  // namespace kestrin
