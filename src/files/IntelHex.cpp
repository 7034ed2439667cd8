#include "files/IntelHex.h"

#include <array>
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

// Calls `visit` for every line of the text; a line ends at CR, LF or CR LF.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        if (!visit(text.substr(start, end - start))) return;
        start = end;
        if (start < text.size() && text[start] == '\r') ++start;
        if (start < text.size() && text[start] == '\n') ++start;
    }
}

void AppendByte(std::string& out, uint8_t byte) {
    out.push_back(kUpperDigits[byte >> 4]);
    out.push_back(kUpperDigits[byte & 0x0F]);
}

}  // namespace

std::optional<uint8_t> HexPairToByte(char high, char low) {
    const int h = kDigitValue[static_cast<unsigned char>(high)];
    const int l = kDigitValue[static_cast<unsigned char>(low)];
    if (h < 0 || l < 0) return std::nullopt;
    return static_cast<uint8_t>(h * 16 + l);
}

bool ParseHexRecord(std::string_view line, THexStream& stream) {
    if (line.empty() || line[0] != ':') return true;

    // Every field up to and including the checksum must be there and hexadecimal
    // before anything is decoded: a damaged line fails instead of yielding bytes.
    constexpr std::size_t kHeaderEnd = 9;  // ":" NN AAAA TT
    if (line.size() < kHeaderEnd + 2) return false;
    const std::optional<uint8_t> count = HexPairToByte(line[1], line[2]);
    if (!count) return false;
    const std::size_t checksumAt = kHeaderEnd + 2 * std::size_t{*count};
    if (line.size() < checksumAt + 2) return false;
    for (std::size_t i = 3; i < checksumAt + 2; ++i) {
        if (kDigitValue[static_cast<unsigned char>(line[i])] < 0) return false;
    }

    const uint8_t addressHigh = *HexPairToByte(line[3], line[4]);
    const uint8_t addressLow = *HexPairToByte(line[5], line[6]);
    const uint8_t type = *HexPairToByte(line[7], line[8]);
    // Records without data bytes (the end record among them) and every record
    // type but 00 have no effect; their checksum is not examined.
    if (*count == 0 || type != 0x00) return true;

    unsigned sum = *count + addressHigh + addressLow + type;
    stream.Seek(addressHigh * 256u + addressLow);
    for (std::size_t i = kHeaderEnd; i < checksumAt; i += 2) {
        const uint8_t byte = *HexPairToByte(line[i], line[i + 1]);
        sum += byte;
        stream.Write(byte);
    }
    const uint8_t checksum = *HexPairToByte(line[checksumAt], line[checksumAt + 1]);
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
        THexStream stream;
        bool damaged = false;
        ForEachLine(text, [&](std::string_view line) {
            damaged = !ParseHexRecord(line, stream) || damaged;
            return true;
        });
        if (damaged) return FileChecksumError;
        if (stream.Size() == 0) return FileNoData;

        stream.Fill(0xFF);
        ForEachLine(text, [&](std::string_view line) { return ParseHexRecord(line, stream); });
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
    std::string text;
    // ":" + 4 header bytes + data + checksum as digits, CR LF; then the end record.
    text.reserve(static_cast<std::size_t>(size) * 2 + (size / kRecordBytes + 1) * 13 + 13);
    for (int32_t pos = 0; pos < size; pos += kRecordBytes) {
        const int32_t n = std::min(kRecordBytes, size - pos);
        const auto high = static_cast<uint8_t>(pos >> 8);
        const auto low = static_cast<uint8_t>(pos & 0xFF);
        unsigned sum = static_cast<unsigned>(n) + high + low;
        text.push_back(':');
        AppendByte(text, static_cast<uint8_t>(n));
        AppendByte(text, high);
        AppendByte(text, low);
        AppendByte(text, 0x00);
        for (int32_t i = 0; i < n; ++i) {
            sum += image[pos + i];
            AppendByte(text, image[pos + i]);
        }
        AppendByte(text, static_cast<uint8_t>(0x100 - (sum & 0xFF)));
        text += "\r\n";
    }
    text += ":00000001FF\r\n";
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
