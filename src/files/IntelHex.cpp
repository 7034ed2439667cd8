#include "files/IntelHex.h"

#include <algorithm>
#include <array>

#include "files/FileIo.h"
#include "files/TextRecords.h"

namespace kestrin {

namespace {

using records::DecodePair;
using records::PutByte;

// What one line is to the reader.
struct HexLine {
    enum Kind { Ignored, Data, Base, Damaged } kind = Ignored;
    const char* why = nullptr;  // Damaged: the clause after "record on line N"
    uint32_t address = 0;       // Data: the 16-bit address; Base: the new base
    uint32_t count = 0;         // Data: bytes
    const char* data = nullptr; // Data: the first data digit
};

// Every field up to and including the checksum must be there and hexadecimal,
// in every record line, before anything else is looked at.
HexLine ParseLine(std::string_view line) {
    HexLine out;
    if (line.empty() || line[0] != ':') return out;
    out.kind = HexLine::Damaged;
    if (line.size() < 3) {
        out.why = "ends before its checksum";
        return out;
    }
    const int count = DecodePair(&line[1]);
    if (count < 0) {
        out.why = "holds a character that is not a hexadecimal digit";
        return out;
    }
    const std::size_t recordBytes = static_cast<std::size_t>(count) + 5;  // count, address (2), type, data, checksum
    if (line.size() < 1 + 2 * recordBytes) {
        out.why = "ends before its checksum";
        return out;
    }
    std::array<uint8_t, 255 + 5> record;
    unsigned sum = 0;
    int invalid = 0;
    for (std::size_t i = 0; i < recordBytes; ++i) {
        const int byte = DecodePair(&line[1 + 2 * i]);
        invalid |= byte;
        record[i] = static_cast<uint8_t>(byte);
        sum += record[i];
    }
    if (invalid < 0) {
        out.why = "holds a character that is not a hexadecimal digit";
        return out;
    }
    // Records without data bytes (the end record among them) and the types that
    // carry nothing for an image have no effect; their checksum is not examined.
    const uint8_t type = record[3];
    if (count == 0 || (type != 0x00 && type != 0x02 && type != 0x04)) {
        out.kind = HexLine::Ignored;
        return out;
    }
    if ((sum & 0xFF) != 0) {  // all bytes, checksum included, add up to 0 modulo 256
        out.why = "fails its checksum";
        return out;
    }
    if (type == 0x00) {
        out.kind = HexLine::Data;
        out.address = record[1] * 256u + record[2];
        out.count = static_cast<uint32_t>(count);
        out.data = &line[9];
        return out;
    }
    if (count != 2) {
        out.why = type == 0x02 ? "is an extended segment address record of another length than 2 bytes"
                               : "is an extended linear address record of another length than 2 bytes";
        return out;
    }
    const uint32_t value = record[4] * 256u + record[5];
    out.kind = HexLine::Base;
    out.address = type == 0x02 ? value << 4 : value << 16;
    return out;
}

std::string LineClause(std::size_t number, const char* why) {
    return "record on line " + std::to_string(number) + " " + why;
}

}  // namespace

std::optional<uint8_t> HexPairToByte(char high, char low) {
    const char digits[2] = {high, low};
    const int byte = DecodePair(digits);
    if (byte < 0) return std::nullopt;
    return static_cast<uint8_t>(byte);
}

FileResult ReadIntelHexText(std::string_view text, DataFileContents& contents, uint32_t maxImageSize) {
    contents = DataFileContents{};
    maxImageSize = std::min(maxImageSize, kMaxImageSize);
    if (text.empty()) return ReadFailure(contents, FileIoError, "the file is empty");
    text = records::WithoutByteOrderMark(text);

    // The first pass checks every line and learns the image's end, so that the
    // image is taken once, all FF, before the second pass places the records.
    // A damaged line fails the file whatever else it holds, the lines after it
    // and addresses beyond the limit included.
    records::FirstPass pass;
    uint64_t base = 0;
    records::ForEachLine(text, [&](std::string_view line, std::size_t number) {
        const HexLine record = ParseLine(line);
        switch (record.kind) {
            case HexLine::Ignored: break;
            case HexLine::Damaged: pass.damage = LineClause(number, record.why); return false;
            case HexLine::Base: base = record.address; break;
            case HexLine::Data: pass.Data(base + record.address, base + record.address + record.count, maxImageSize); break;
        }
        return true;
    });
    if (const FileResult failed = pass.Failure(maxImageSize, contents); failed != FileOk) return failed;

    return records::BuildImage(pass.end, contents, [&](ImageBuilder& builder) {
        base = 0;
        records::ForEachLine(text, [&](std::string_view line, std::size_t) {
            const HexLine record = ParseLine(line);
            if (record.kind == HexLine::Base) {
                base = record.address;
            } else if (record.kind == HexLine::Data) {
                records::DecodeData(record.data, record.count,
                                    builder.Place(static_cast<uint32_t>(base + record.address), record.count));
            }
            return true;
        });
    });
}

FileResult ReadIntelHexText(std::string_view text, std::vector<uint8_t>& image, int32_t& size) {
    DataFileContents contents;
    const FileResult result = ReadIntelHexText(text, contents);
    image = std::move(contents.image.bytes);
    size = static_cast<int32_t>(image.size());
    return result;
}

FileResult ReadIntelHexFile(const std::string& fileName, DataFileContents& contents) {
    return ReadFileWith(fileName, contents, [](const uint8_t* text, std::size_t count, DataFileContents& out) {
        return ReadIntelHexText(std::string_view(reinterpret_cast<const char*>(text), count), out);
    });
}

FileResult ReadIntelHexFile(const std::string& fileName, std::vector<uint8_t>& image, int32_t& size) {
    DataFileContents contents;
    return ImageOnly(ReadIntelHexFile(fileName, contents), contents, image, size);
}

std::string IntelHexText(const uint8_t* image, int32_t size) {
    constexpr int32_t kRecordBytes = 16;
    constexpr std::string_view kEndRecord = ":00000001FF\r\n";
    // A record line is ":", count, address, type and checksum (five bytes as
    // digits) and CR LF around its data digits; an address record holds 2 bytes.
    constexpr std::size_t kLineFrame = 1 + 2 * 5 + 2;
    const std::size_t lines = static_cast<std::size_t>((size + kRecordBytes - 1) / kRecordBytes);
    const std::size_t addressRecords = static_cast<std::size_t>((size - 1) / 0x10000);
    std::string text(static_cast<std::size_t>(size) * 2 + lines * kLineFrame + addressRecords * (kLineFrame + 4) +
                         kEndRecord.size(),
                     '\0');
    char* out = text.data();
    auto putRecord = [&out](unsigned type, unsigned address, const uint8_t* data, unsigned n) {
        unsigned sum = n + (address >> 8) + (address & 0xFF) + type;
        *out++ = ':';
        out = PutByte(out, n);
        out = PutByte(out, address >> 8);
        out = PutByte(out, address & 0xFF);
        out = PutByte(out, type);
        for (unsigned i = 0; i < n; ++i) {
            sum += data[i];
            out = PutByte(out, data[i]);
        }
        out = PutByte(out, 0x100 - (sum & 0xFF));
        *out++ = '\r';
        *out++ = '\n';
    };
    for (int32_t pos = 0; pos < size; pos += kRecordBytes) {
        const auto position = static_cast<uint32_t>(pos);
        // Records never cross a 64 KB boundary: 16 divides 65536.
        if (position != 0 && position % 0x10000 == 0) {
            const uint8_t upper[2] = {static_cast<uint8_t>(position >> 24), static_cast<uint8_t>(position >> 16)};
            putRecord(0x04, 0, upper, 2);
        }
        const auto n = static_cast<unsigned>(std::min(kRecordBytes, size - pos));
        putRecord(0x00, position & 0xFFFF, image + pos, n);
    }
    std::copy(kEndRecord.begin(), kEndRecord.end(), out);
    return text;
}

FileResult WriteIntelHexFile(const std::string& fileName, const uint8_t* image, int32_t size) {
    return WriteTextFile(fileName, image, size, IntelHexText);
}

}  // namespace kestrin
