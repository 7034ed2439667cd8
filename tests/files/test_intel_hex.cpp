#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "files/FileTestSupport.h"
#include "files/IntelHex.h"

namespace kestrin {
namespace {

using test::ScratchDir;

// Bytes expected at one address of an image whose other bytes are FF.
struct Placed {
    std::size_t at;
    std::vector<uint8_t> bytes;
};

struct ReadCase {
    const char* what;
    std::string text;
    FileResult result;
    std::size_t size;  // of the image on success
    std::vector<Placed> placed;
};

std::string Repeat(const std::string& text, int times) {
    std::string out;
    while (times-- > 0) out += text;
    return out;
}

const std::string k255Bytes42AtFFFF = ":FFFFFF00" + Repeat("42", 255) + "45";

const ReadCase kReadCases[] = {
    {"zero-length file", "", FileIoError, 0, {}},
    {"end record only", ":00000001FF\r\n", FileNoData, 0, {}},
    {"one empty line", "\r\n", FileNoData, 0, {}},
    {"text without records", "just a note\nnothing else", FileNoData, 0, {}},
    {"binary junk", std::string("\x00\x01\xFE\xFF\x7F", 5), FileNoData, 0, {}},
    {"end record checksum is not examined", ":00000001AB\r\n", FileNoData, 0, {}},
    {"leading blank makes a line no record", " :0100000055AA\r\n", FileNoData, 0, {}},
    {"3 bytes at 0030 over FF", ":03003000010203C7\r\n:00000001FF\r\n", FileOk, 0x33, {{0x30, {1, 2, 3}}}},
    {"later line wins", ":020000001122CB\r\n:02000000AABB99\r\n", FileOk, 2, {{0, {0xAA, 0xBB}}}},
    {"record at FFF8 continues past FFFF", ":10FFF800000102030405060708090A0B0C0D0E0F81\r\n", FileOk, 0x10008,
     {{0xFFF8, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}}}},
    {"largest image: 255 bytes at FFFF", k255Bytes42AtFFFF, FileOk, 65790, {{0xFFFF, std::vector<uint8_t>(255, 0x42)}}},
    {"type 04 with value 0 leaves data where it was", ":020000040000FA\r\n:010010005A95\r\n", FileOk, 0x11,
     {{0x10, {0x5A}}}},
    {"records in any order", ":02001000DEAD63\r\n:0100000055AA\r\n", FileOk, 0x12, {{0, {0x55}}, {0x10, {0xDE, 0xAD}}}},
    {"data after the end record counts", ":0100000055AA\n:00000001FF\n:02001000DEAD63\n", FileOk, 0x12,
     {{0, {0x55}}, {0x10, {0xDE, 0xAD}}}},
    {"text line in the middle is ignored", ":0100000055AA\r\nhello\r\n:02001000DEAD63\r\n", FileOk, 0x12,
     {{0, {0x55}}, {0x10, {0xDE, 0xAD}}}},
    {"CR only and LF only line ends", ":0100000055AA\r:02001000DEAD63\n:00000001FF", FileOk, 0x12,
     {{0, {0x55}}, {0x10, {0xDE, 0xAD}}}},
    {"lower-case digits", ":02001000dead63\r\n", FileOk, 0x12, {{0x10, {0xDE, 0xAD}}}},
    {"anything after the checksum is ignored", ":0100000055AA ; reset vector\r\n", FileOk, 1, {{0, {0x55}}}},
    {"wrong checksum in the last record", ":0100000055AA\r\n:02001000DEAD64\r\n:00000001FF\r\n", FileChecksumError, 0, {}},
    {"wrong checksum after the end record", ":0100000055AA\r\n:00000001FF\r\n:02001000DEAD62\r\n", FileChecksumError, 0, {}},
    {"line ends inside the checksum", ":0100000055AA\r\n:02001000DEAD6\r\n", FileChecksumError, 0, {}},
    {"line ends before the checksum", ":02001000DEAD\r\n", FileChecksumError, 0, {}},
    {"line ends inside the data", ":0100000055AA\r\n:10001000DEAD\r\n", FileChecksumError, 0, {}},
    {"line ends inside the header", ":0100\r\n", FileChecksumError, 0, {}},
    {"start mark alone", ":\r\n", FileChecksumError, 0, {}},
    {"end record without checksum", ":00000001\r\n", FileChecksumError, 0, {}},
    {"non-hex character in the data", ":02001000DEAG63\r\n", FileChecksumError, 0, {}},
    {"non-hex character in the count", ":0G001000DEAD63\r\n", FileChecksumError, 0, {}},
    {"non-hex character in the checksum", ":0100000055A \r\n", FileChecksumError, 0, {}},
    {"blank inside a record", ":02001000DE AD63\r\n", FileChecksumError, 0, {}},
};

TEST(IntelHexRead, EdgeCases) {
    ScratchDir dir;
    for (const ReadCase& c : kReadCases) {
        SCOPED_TRACE(c.what);
        const std::string name = dir.Name("case.hex");
        test::Spit(name, c.text);
        std::vector<uint8_t> image{9, 9};
        int32_t size = -1;
        EXPECT_EQ(ReadIntelHexFile(name, image, size), c.result);
        std::vector<uint8_t> expected;
        if (c.result == FileOk) {
            expected.assign(c.size, 0xFF);
            for (const Placed& p : c.placed) std::copy(p.bytes.begin(), p.bytes.end(), expected.begin() + p.at);
        }
        EXPECT_EQ(size, static_cast<int32_t>(expected.size()));
        EXPECT_EQ(image, expected);
    }
}

// A record line with its checksum: ":", count, address, type, data, checksum.
std::string Rec(unsigned type, unsigned address, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                                  static_cast<uint8_t>(address), static_cast<uint8_t>(type)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : bytes) sum += b;
    bytes.push_back(static_cast<uint8_t>(0x100 - (sum & 0xFF)));
    std::string line = ":";
    char digits[3];
    for (uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        line += digits;
    }
    return line + "\r\n";
}
std::string Linear(unsigned upper) { return Rec(0x04, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)}); }
std::string Segment(unsigned segment) {
    return Rec(0x02, 0, {static_cast<uint8_t>(segment >> 8), static_cast<uint8_t>(segment)});
}
std::string Data(unsigned address, const std::vector<uint8_t>& bytes) { return Rec(0x00, address, bytes); }
const std::string kEnd = ":00000001FF\r\n";

// Extended address records: 02 and 04 set the base of the records after them.
TEST(IntelHexRead, ExtendedAddresses) {
    const std::vector<uint8_t> sixteen = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const ReadCase cases[] = {
        {"the issue's file: 04 0001 moves data at 0000 to 10000h", ":020000040001F9\r\n" + Data(0, {0x5A}) + kEnd,
         FileOk, 0x10001, {{0x10000, {0x5A}}}},
        {"04 0001 moves data at 0010 to 10010h", ":020000040001F9\r\n:010010005A95\r\n", FileOk, 0x10011,
         {{0x10010, {0x5A}}}},
        {"02 1000 moves data to 10000h (segment x 16)", Segment(0x1000) + Data(0x10, {0x5A}), FileOk, 0x10011,
         {{0x10010, {0x5A}}}},
        {"02 0123 is base 1230h", Segment(0x0123) + Data(0, {0x77}), FileOk, 0x1231, {{0x1230, {0x77}}}},
        {"02 E000 reaches E0000h", Segment(0xE000) + Data(0x0002, {0x12}), FileOk, 0xE0003, {{0xE0002, {0x12}}}},
        {"the last address record wins: 04 then 02", Linear(1) + Segment(0x0100) + Data(0, {0xA1}), FileOk, 0x1001,
         {{0x1000, {0xA1}}}},
        {"the last address record wins: 02 then 04", Segment(0x0100) + Linear(2) + Data(0, {0xA2}), FileOk, 0x20001,
         {{0x20000, {0xA2}}}},
        {"a base holds only for the records after it", Data(0, {0x01}) + Linear(1) + Data(0, {0x02}), FileOk,
         0x10001, {{0, {0x01}}, {0x10000, {0x02}}}},
        {"04 0000 brings the base back", Linear(3) + Data(0, {0x03}) + Linear(0) + Data(4, {0x04}), FileOk, 0x30001,
         {{4, {0x04}}, {0x30000, {0x03}}}},
        {"records of every 64 KB in the order avr-objcopy writes them",
         Data(0, {0xAA}) + Segment(0x1000) + Data(0xE000, {0xBB}) + Segment(0x2000) + Data(0, {0xCC}) +
             Segment(0x3000) + Data(0xFFFF, {0xDD}) + kEnd,
         FileOk, 0x40000, {{0, {0xAA}}, {0x1E000, {0xBB}}, {0x20000, {0xCC}}, {0x3FFFF, {0xDD}}}},
        {"a record continues past its base's 64 KB", Linear(1) + Data(0xFFF8, sixteen), FileOk, 0x20008,
         {{0x1FFF8, sixteen}}},
        {"a later record at another base wins", Linear(1) + Data(0, {0x11}) + Segment(0x1000) + Data(0, {0x22}),
         FileOk, 0x10001, {{0x10000, {0x22}}}},
        {"lower-case 04 record", ":02000004000af0\r\n:0100000055aa\r\n", FileOk, 0xA0001, {{0xA0000, {0x55}}}},
        {"an address record without data bytes is ignored", ":00000004FC\r\n" + Data(0x10, {0x5A}), FileOk, 0x11,
         {{0x10, {0x5A}}}},
        {"start address records (03, 05) are ignored, checksum unseen",
         ":0400000300003800C0\r\n:04000005000000CD2B\r\n" + Data(0, {0x55}), FileOk, 1, {{0, {0x55}}}},
        {"an address record alone holds no data", Linear(1) + kEnd, FileNoData, 0, {}},
        {"data up to the 16 MB limit", Linear(0x00FF) + Data(0xFFFF, {0xEE}), FileOk, 0x1000000,
         {{0xFFFFFF, {0xEE}}}},
        {"data at 16 MB is refused", Linear(0x0100) + Data(0, {0xEE}), FileTooLarge, 0, {}},
        {"a record crossing 16 MB is refused", Linear(0x00FF) + Data(0xFFF8, sixteen), FileTooLarge, 0, {}},
        {"data at FFFFFFFFh is refused without overflow", Linear(0xFFFF) + Data(0xFFFF, sixteen), FileTooLarge, 0,
         {}},
        {"a far base without data after it costs nothing", Linear(0xFFFF) + Linear(0) + Data(0, {1}), FileOk, 1,
         {{0, {1}}}},
        {"04 with a wrong checksum", ":020000040001F8\r\n" + Data(0, {0x5A}), FileChecksumError, 0, {}},
        {"02 with a wrong checksum", ":020000021000ED\r\n" + Data(0, {0x5A}), FileChecksumError, 0, {}},
        {"04 of one byte", Rec(0x04, 0, {0x01}) + Data(0, {0x5A}), FileChecksumError, 0, {}},
        {"02 of four bytes", Rec(0x02, 0, {0x10, 0, 0, 0}) + Data(0, {0x5A}), FileChecksumError, 0, {}},
        {"04 cut before its checksum", ":020000040001\r\n" + Data(0, {0x5A}), FileChecksumError, 0, {}},
        {"04 cut inside its value", ":0200000400\r\n" + Data(0, {0x5A}), FileChecksumError, 0, {}},
        {"a damaged line wins over data beyond 16 MB", Linear(0x0100) + Data(0, {1}) + ":0100000055AB\r\n",
         FileChecksumError, 0, {}},
        {"a UTF-8 byte order mark before the first record", "\xEF\xBB\xBF" + Data(0, {0x55}) + kEnd, FileOk, 1,
         {{0, {0x55}}}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> image{9, 9};
        int32_t size = -1;
        EXPECT_EQ(ReadIntelHexText(c.text, image, size), c.result);
        std::vector<uint8_t> expected;
        if (c.result == FileOk) {
            expected.assign(c.size, 0xFF);
            for (const Placed& p : c.placed) std::copy(p.bytes.begin(), p.bytes.end(), expected.begin() + p.at);
        }
        EXPECT_EQ(size, static_cast<int32_t>(expected.size()));
        EXPECT_TRUE(image == expected) << "image of " << image.size() << " bytes differs";
    }
}

// The ranges tell data from padding, and every refusal names why.
TEST(IntelHexRead, RangesAndProblems) {
    DataFileContents contents;
    ASSERT_EQ(ReadIntelHexText(Data(0, {1, 2}) + Data(2, {3}) + Linear(1) + Data(0xE000, {0xFF, 0xFF}) + kEnd,
                               contents),
              FileOk);
    EXPECT_EQ(contents.image.End(), 0x1E002u);
    EXPECT_EQ(contents.image.ranges, (std::vector<AddressRange>{{0, 3}, {0x1E000, 0x1E002}}));
    EXPECT_EQ(contents.problem, "");
    EXPECT_EQ(contents.image.FirstGivenFrom(0x10000), 0x1E000u);
    EXPECT_EQ(contents.image.FirstGivenFrom(1), 1u);
    EXPECT_EQ(contents.image.FirstGivenFrom(0x1E002), std::nullopt);

    struct Refusal {
        std::string text;
        FileResult result;
        std::string problem;
    };
    const Refusal refusals[] = {
        {"", FileIoError, "the file is empty"},
        {"note\r\n" + kEnd, FileNoData, "the file holds no data record"},
        {Data(0, {1}) + "\n:0100000055AB\r\n", FileChecksumError, "record on line 3 fails its checksum"},
        {":02001000DEAG63\r\n", FileChecksumError,
         "record on line 1 holds a character that is not a hexadecimal digit"},
        {":02001000DEAD\r\n", FileChecksumError, "record on line 1 ends before its checksum"},
        {Rec(0x04, 0, {0x01}), FileChecksumError,
         "record on line 1 is an extended linear address record of another length than 2 bytes"},
        {Data(0, {1}) + Linear(0x0123) + Data(0x4560, {1}), FileTooLarge,
         "data at 1234560h lies beyond the 16 MB a data file may hold"},
        {Linear(0x00FF) + Data(0xFFF8, {1, 2, 3, 4, 5, 6, 7, 8, 9}), FileTooLarge,
         "data at 1000000h lies beyond the 16 MB a data file may hold"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.problem);
        EXPECT_EQ(ReadIntelHexText(r.text, contents), r.result);
        EXPECT_EQ(contents.problem, r.problem);
        EXPECT_TRUE(contents.image.Empty());
        EXPECT_TRUE(contents.image.ranges.empty());
    }
}

// The 16-bit writer as it always was, written out plainly: up to 64 KB the new one must match it byte for byte.
std::string Part31Text(const std::vector<uint8_t>& image) {
    std::string text;
    for (std::size_t pos = 0; pos < image.size(); pos += 16) {
        const std::size_t n = std::min<std::size_t>(16, image.size() - pos);
        text += Rec(0x00, static_cast<unsigned>(pos), std::vector<uint8_t>(image.begin() + pos, image.begin() + pos + n));
    }
    return text + kEnd;
}

TEST(IntelHexWrite, UpTo64KBAsPart31) {
    std::mt19937 rng(31);
    std::vector<std::size_t> sizes = {1, 15, 16, 17, 4096, 65535, 65536};
    for (int i = 0; i < 6; ++i) sizes.push_back(1 + rng() % 65536);
    for (std::size_t n : sizes) {
        SCOPED_TRACE(n);
        const std::vector<uint8_t> image = test::RandomImage(rng, n);
        const std::string text = IntelHexText(image.data(), static_cast<int32_t>(n));
        EXPECT_EQ(text, Part31Text(image));
        EXPECT_EQ(text.find(":02000004"), std::string::npos);
    }
}

TEST(IntelHexWrite, Beyond64KBWithLinearAddressRecords) {
    std::vector<uint8_t> image(0x10001, 0x11);
    image.back() = 0x42;
    std::string text = IntelHexText(image.data(), static_cast<int32_t>(image.size()));
    std::string expected = Part31Text(std::vector<uint8_t>(image.begin(), image.end() - 1));
    expected.resize(expected.size() - kEnd.size());
    expected += ":020000040001F9\r\n:0100000042BD\r\n" + kEnd;
    EXPECT_EQ(text, expected);

    // 256 KB: one 04 record before each further 64 KB, never one for 0.
    image.assign(0x40000, 0xFF);
    text = IntelHexText(image.data(), static_cast<int32_t>(image.size()));
    std::vector<std::size_t> at;
    for (std::size_t p = text.find(":02000004"); p != std::string::npos; p = text.find(":02000004", p + 1)) at.push_back(p);
    ASSERT_EQ(at.size(), 3u);
    EXPECT_EQ(text.substr(at[0], 15), ":020000040001F9");
    EXPECT_EQ(text.substr(at[1], 15), ":020000040002F8");
    EXPECT_EQ(text.substr(at[2], 15), ":020000040003F7");
    EXPECT_EQ(text.substr(at[0] - 45, 45), ":10FFF000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF11\r\n");
    EXPECT_EQ(text.substr(at[0] + 17, 45), ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n");
}

TEST(IntelHexWrite, RoundTripsBeyond64KB) {
    ScratchDir dir;
    std::mt19937 rng(2560);
    std::vector<std::size_t> sizes = {0x10001, 0x1E001, 0x20000, 0x3FFFF, 0x40000, 0x100000};
    for (int i = 0; i < 4; ++i) sizes.push_back(0x10000 + rng() % 0x30000);
    for (std::size_t n : sizes) {
        SCOPED_TRACE(n);
        const std::vector<uint8_t> image = test::RandomImage(rng, n);
        const std::string name = dir.Name("big.hex");
        ASSERT_EQ(WriteIntelHexFile(name, image.data(), static_cast<int32_t>(n)), FileOk);
        std::vector<uint8_t> back;
        int32_t size = 0;
        ASSERT_EQ(ReadIntelHexFile(name, back, size), FileOk);
        EXPECT_EQ(size, static_cast<int32_t>(n));
        EXPECT_TRUE(back == image);
    }
}

TEST(IntelHexWrite, ExactLines) {
    struct WriteCase {
        const char* what;
        std::vector<uint8_t> image;
        std::string text;
    };
    const WriteCase cases[] = {
        {"single byte 55", {0x55}, ":0100000055AA\r\n:00000001FF\r\n"},
        {"17 bytes: a full record and one byte",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
         ":10000000000102030405060708090A0B0C0D0E0F78\r\n:0100100010DF\r\n:00000001FF\r\n"},
        {"runs of FF are written", std::vector<uint8_t>(16, 0xFF), ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n:00000001FF\r\n"},
        {"upper-case digits", {0xDE, 0xAD}, ":02000000DEAD73\r\n:00000001FF\r\n"},
    };
    ScratchDir dir;
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = dir.Name("out.hex");
        ASSERT_EQ(WriteIntelHexFile(name, c.image.data(), static_cast<int32_t>(c.image.size())), FileOk);
        EXPECT_EQ(test::Slurp(name), c.text);
    }
}

// GNU objcopy, written by others, must agree with our reader and writer.
class IntelHexObjcopy : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string(KESTRIN_OBJCOPY).empty()) GTEST_SKIP() << "objcopy (binutils) was not found at configure time";
    }
    static int Objcopy(const std::string& args) {
        return std::system((std::string("'") + KESTRIN_OBJCOPY + "' " + args).c_str());
    }
    static std::string Quoted(const std::string& name) { return "'" + name + "'"; }
    ScratchDir dir;
    std::mt19937 rng{77};
};

TEST_F(IntelHexObjcopy, ConvertsOurHexToTheSameBinary) {
    for (std::size_t n : {1u, 17u, 4095u, 65536u}) {
        SCOPED_TRACE(n);
        const std::vector<uint8_t> image = test::RandomImage(rng, n);
        const std::string hex = dir.Name("ours.hex"), bin = dir.Name("theirs.bin");
        ASSERT_EQ(WriteIntelHexFile(hex, image.data(), static_cast<int32_t>(n)), FileOk);
        ASSERT_EQ(Objcopy("-I ihex -O binary " + Quoted(hex) + " " + Quoted(bin)), 0);
        EXPECT_EQ(test::Slurp(bin), std::string(image.begin(), image.end()));
    }
}

TEST_F(IntelHexObjcopy, ReadsTheirHexToTheSameBytes) {
    struct Conversion {
        std::size_t size;
        unsigned offset;  // where objcopy places the data; below it the image reads FF
    };
    for (const Conversion& c : {Conversion{1, 0}, Conversion{255, 0}, Conversion{4097, 0}, Conversion{65536, 0},
                                Conversion{1000, 0x100}}) {
        SCOPED_TRACE(c.size);
        const std::vector<uint8_t> bytes = test::RandomImage(rng, c.size);
        const std::string bin = dir.Name("theirs.bin"), hex = dir.Name("theirs.hex");
        test::Spit(bin, std::string(bytes.begin(), bytes.end()));
        ASSERT_EQ(Objcopy("-I binary -O ihex --change-addresses " + std::to_string(c.offset) + " " + Quoted(bin) + " " +
                          Quoted(hex)),
                  0);
        std::vector<uint8_t> image;
        int32_t size = 0;
        ASSERT_EQ(ReadIntelHexFile(hex, image, size), FileOk);
        std::vector<uint8_t> expected(c.offset, 0xFF);
        expected.insert(expected.end(), bytes.begin(), bytes.end());
        EXPECT_EQ(size, static_cast<int32_t>(expected.size()));
        EXPECT_EQ(image, expected);
    }
}

TEST_F(IntelHexObjcopy, AgreesBeyond64KB) {
    // Ours to theirs: objcopy makes a binary of our 04 records.
    const std::vector<uint8_t> image = test::RandomImage(rng, 0x30123);
    const std::string hex = dir.Name("ours.hex"), bin = dir.Name("theirs.bin");
    ASSERT_EQ(WriteIntelHexFile(hex, image.data(), static_cast<int32_t>(image.size())), FileOk);
    ASSERT_EQ(Objcopy("-I ihex -O binary " + Quoted(hex) + " " + Quoted(bin)), 0);
    EXPECT_TRUE(test::Slurp(bin) == std::string(image.begin(), image.end()));

    // Theirs to ours: objcopy writes extended segment records (02) below 1 MB.
    for (unsigned offset : {0x1E000u, 0x10000u, 0xFFF0u}) {
        SCOPED_TRACE(offset);
        const std::vector<uint8_t> bytes = test::RandomImage(rng, 0x2345);
        const std::string in = dir.Name("theirs-in.bin"), out = dir.Name("theirs.hex");
        test::Spit(in, std::string(bytes.begin(), bytes.end()));
        ASSERT_EQ(Objcopy("-I binary -O ihex --change-addresses " + std::to_string(offset) + " " + Quoted(in) + " " +
                          Quoted(out)),
                  0);
        if (offset >= 0x10000) {
            EXPECT_NE(test::Slurp(out).find(":02000002"), std::string::npos);
        }
        DataFileContents contents;
        ASSERT_EQ(ReadIntelHexFile(out, contents), FileOk);
        std::vector<uint8_t> expected(offset, 0xFF);
        expected.insert(expected.end(), bytes.begin(), bytes.end());
        EXPECT_TRUE(contents.image.bytes == expected);
        EXPECT_EQ(contents.image.ranges, (std::vector<AddressRange>{{offset, offset + 0x2345}}));
    }
}

}  // namespace
}  // namespace kestrin
