#include <gtest/gtest.h>

#include <algorithm>
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
    {"type 04 does not move data", ":020000040001F9\r\n:010010005A95\r\n", FileOk, 0x11, {{0x10, {0x5A}}}},
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

}  // namespace
}  // namespace kestrin
