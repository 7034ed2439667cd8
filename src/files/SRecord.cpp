#include "files/SRecord.h"

#include <algorithm>
#include <array>

#include "files/FileIo.h"
#include "files/TextRecords.h"

namespace kestrin {

namespace {

using records::DecodePair;
using records::PutByte;

// Address bytes of each record type; S4 is reserved and read as having none.
constexpr std::array<uint8_t, 10> kAddressBytes = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

struct SLine {
    enum Kind { Ignored, Data, Count, Damaged } kind = Ignored;
    const char* why = nullptr;   // Damaged
    uint32_t address = 0;        // Data: the address; Count: the count
    uint32_t count = 0;          // Data: bytes
    const char* data = nullptr;  // Data: the first data digit
};

SLine ParseLine(std::string_view line) {
    SLine out;
    if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9') return out;
    const int type = line[1] - '0';
    out.kind = SLine::Damaged;
    if (line.size() < 4) {
        out.why = "ends before its checksum";
        return out;
    }
    const int count = DecodePair(&line[2]);  // bytes of address, data and checksum
    if (count < 0) {
        out.why = "holds a character that is not a hexadecimal digit";
        return out;
    }
    if (line.size() < 4 + 2 * static_cast<std::size_t>(count)) {
        out.why = "ends before its checksum";
        return out;
    }
    const unsigned addressBytes = kAddressBytes[static_cast<std::size_t>(type)];
    if (static_cast<unsigned>(count) < addressBytes + 1) {
        out.why = "is too short for its address and checksum";
        return out;
    }
    std::array<uint8_t, 255> record;
    unsigned sum = static_cast<unsigned>(count);
    int invalid = 0;
    for (int i = 0; i < count; ++i) {
        const int byte = DecodePair(&line[4 + 2 * static_cast<std::size_t>(i)]);
        invalid |= byte;
        record[static_cast<std::size_t>(i)] = static_cast<uint8_t>(byte);
        sum += static_cast<uint8_t>(byte);
    }
    if (invalid < 0) {
        out.why = "holds a character that is not a hexadecimal digit";
        return out;
    }
    const uint8_t checksum = record[static_cast<std::size_t>(count - 1)];
    sum -= checksum;
    if (static_cast<uint8_t>(~sum) != checksum) {
        out.why = "fails its checksum";
        return out;
    }
    uint32_t address = 0;
    for (unsigned i = 0; i < addressBytes; ++i) address = address << 8 | record[i];
    switch (type) {
        case 1:
        case 2:
        case 3:
            out.kind = SLine::Data;
            out.address = address;
            out.count = static_cast<uint32_t>(count) - addressBytes - 1;
            out.data = &line[4 + 2 * addressBytes];
            return out;
        case 5:
        case 6:
            out.kind = SLine::Count;
            out.address = address;
            return out;
        default:
            out.kind = SLine::Ignored;
            return out;
    }
}

}  // namespace

FileResult ReadSRecordText(std::string_view text, DataFileContents& contents, uint32_t maxImageSize) {
    contents = DataFileContents{};
    maxImageSize = std::min(maxImageSize, kMaxImageSize);
    if (text.empty()) return ReadFailure(contents, FileIoError, "the file is empty");
    text = records::WithoutByteOrderMark(text);

    // As the Intel HEX reader: a first pass checks every line and learns the
    // image's end, a second places the records into the image taken at once.
    records::FirstPass pass;
    uint64_t dataRecords = 0;
    records::ForEachLine(text, [&](std::string_view line, std::size_t number) {
        const SLine record = ParseLine(line);
        switch (record.kind) {
            case SLine::Ignored: break;
            case SLine::Damaged:
                pass.damage = "record on line " + std::to_string(number) + " " + record.why;
                return false;
            case SLine::Count:
                if (record.address != dataRecords) {
                    pass.damage = "count record on line " + std::to_string(number) + " says " +
                                  std::to_string(record.address) + " data records, the file has " +
                                  std::to_string(dataRecords) + " before it";
                    return false;
                }
                break;
            case SLine::Data:
                ++dataRecords;
                if (record.count != 0) pass.Data(record.address, uint64_t{record.address} + record.count, maxImageSize);
                break;
        }
        return true;
    });
    if (const FileResult failed = pass.Failure(maxImageSize, contents); failed != FileOk) return failed;

    return records::BuildImage(pass.end, contents, [&](ImageBuilder& builder) {
        records::ForEachLine(text, [&](std::string_view line, std::size_t) {
            const SLine record = ParseLine(line);
            if (record.kind == SLine::Data && record.count != 0)
                records::DecodeData(record.data, record.count, builder.Place(record.address, record.count));
            return true;
        });
    });
}

FileResult ReadSRecordFile(const std::string& fileName, DataFileContents& contents) {
    return ReadFileWith(fileName, contents, [](const uint8_t* text, std::size_t count, DataFileContents& out) {
        return ReadSRecordText(std::string_view(reinterpret_cast<const char*>(text), count), out);
    });
}

FileResult ReadSRecordFile(const std::string& fileName, std::vector<uint8_t>& image, int32_t& size) {
    DataFileContents contents;
    return ImageOnly(ReadSRecordFile(fileName, contents), contents, image, size);
}

std::string SRecordText(const uint8_t* image, int32_t size) {
    constexpr int32_t kRecordBytes = 16;
    constexpr uint8_t kHeader[] = {'K', 'e', 's', 't', 'r', 'i', 'n'};
    const auto total = static_cast<uint32_t>(size);
    // The narrowest address that holds every address of the image.
    const unsigned addressBytes = total <= 0x10000 ? 2 : total <= 0x1000000 ? 3 : 4;
    const char dataType = addressBytes == 2 ? '1' : addressBytes == 3 ? '2' : '3';
    const char endType = addressBytes == 2 ? '9' : addressBytes == 3 ? '8' : '7';
    const uint32_t dataRecords = (total + kRecordBytes - 1) / kRecordBytes;
    const unsigned countBytes = dataRecords <= 0xFFFF ? 2 : 3;

    // "S", type, count, address, data, checksum as digits, CR LF.
    auto lineLength = [](unsigned address, unsigned data) { return 2 + 2 * (1 + address + data + 1) + 2; };
    std::string text;
    text.reserve(lineLength(2, sizeof kHeader) + dataRecords * lineLength(addressBytes, 0) + total * 2 +
                 lineLength(countBytes, 0) + lineLength(addressBytes, 0));
    auto putRecord = [&text](char type, unsigned addressBytes, uint32_t address, const uint8_t* data, unsigned n) {
        char line[2 + 2 * (1 + 4 + 255) + 2];
        char* out = line;
        *out++ = 'S';
        *out++ = type;
        unsigned sum = addressBytes + n + 1;
        out = PutByte(out, sum);
        for (unsigned i = addressBytes; i-- > 0;) {
            const unsigned byte = address >> (8 * i) & 0xFF;
            sum += byte;
            out = PutByte(out, byte);
        }
        for (unsigned i = 0; i < n; ++i) {
            sum += data[i];
            out = PutByte(out, data[i]);
        }
        out = PutByte(out, ~sum & 0xFF);
        *out++ = '\r';
        *out++ = '\n';
        text.append(line, static_cast<std::size_t>(out - line));
    };
    putRecord('0', 2, 0, kHeader, sizeof kHeader);
    for (uint32_t pos = 0; pos < total; pos += kRecordBytes) {
        putRecord(dataType, addressBytes, pos, image + pos, std::min<uint32_t>(kRecordBytes, total - pos));
    }
    putRecord(countBytes == 2 ? '5' : '6', countBytes, dataRecords, nullptr, 0);
    putRecord(endType, addressBytes, 0, nullptr, 0);
    return text;
}

FileResult WriteSRecordFile(const std::string& fileName, const uint8_t* image, int32_t size) {
    return WriteTextFile(fileName, image, size, SRecordText);
}

}  // namespace kestrin
