#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "files/FileExchg.h"
#include "files/FileTestSupport.h"
#include "files/SRecord.h"

namespace kestrin {
namespace {

using test::ScratchDir;

// A record line with its checksum; the address width follows the type.
std::string S(int type, uint32_t address, const std::vector<uint8_t>& data) {
    static const int kAddressBytes[] = {2, 2, 3, 4, 2, 2, 3, 4, 3, 2};
    const int addressBytes = kAddressBytes[type];
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(addressBytes + data.size() + 1)};
    for (int i = addressBytes; i-- > 0;) bytes.push_back(static_cast<uint8_t>(address >> (8 * i)));
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : bytes) sum += b;
    bytes.push_back(static_cast<uint8_t>(~sum));
    std::string line = "S" + std::to_string(type);
    char digits[3];
    for (uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        line += digits;
    }
    return line + "\r\n";
}

struct Placed {
    std::size_t at;
    std::vector<uint8_t> bytes;
};

struct ReadCase {
    const char* what;
    std::string text;
    FileResult result;
    std::size_t size;
    std::vector<Placed> placed;
    std::string problem = {};  // checked when given
};

const std::string kHeader = S(0, 0, {'h', 'd', 'r'});

TEST(SRecordRead, EdgeCases) {
    const std::vector<uint8_t> sixteen = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const ReadCase cases[] = {
        {"zero-length file", "", FileIoError, 0, {}, "the file is empty"},
        {"header and end only", kHeader + "S9030000FC\r\n", FileNoData, 0, {}, "the file holds no data record"},
        {"text without records", "Some notes\nSecond line\n", FileNoData, 0, {}},
        {"srec_motorola(5)'s own example",
         "S00600004844521B\r\nS1130000285F245F2212226A000424290008237C2A\r\nS11300100002000800082629001853812341001813\r\n"
         "S113002041E900084E42234300182342000824A952\r\nS107003000144ED492\r\nS5030004F8\r\nS9030000FC\r\n",
         FileOk, 0x34,
         {{0x00, {0x28, 0x5F, 0x24, 0x5F, 0x22, 0x12, 0x22, 0x6A, 0x00, 0x04, 0x24, 0x29, 0x00, 0x08, 0x23, 0x7C}},
          {0x10, {0x00, 0x02, 0x00, 0x08, 0x00, 0x08, 0x26, 0x29, 0x00, 0x18, 0x53, 0x81, 0x23, 0x41, 0x00, 0x18}},
          {0x20, {0x41, 0xE9, 0x00, 0x08, 0x4E, 0x42, 0x23, 0x43, 0x00, 0x18, 0x23, 0x42, 0x00, 0x08, 0x24, 0xA9}},
          {0x30, {0x00, 0x14, 0x4E, 0xD4}}}},
        {"S1 at 0030 over FF", kHeader + S(1, 0x30, {1, 2, 3}) + S(9, 0, {}), FileOk, 0x33, {{0x30, {1, 2, 3}}}},
        {"S2 above 64 KB", S(2, 0x1E000, {0xAB, 0xCD}) + S(8, 0x1E000, {}), FileOk, 0x1E002, {{0x1E000, {0xAB, 0xCD}}}},
        {"S3 with a 32-bit address", S(3, 0x3FFFE, {1, 2}) + S(7, 0, {}), FileOk, 0x40000, {{0x3FFFE, {1, 2}}}},
        {"all three data types in one file", S(1, 0, {1}) + S(2, 0x10000, {2}) + S(3, 0x20000, {3}), FileOk, 0x20001,
         {{0, {1}}, {0x10000, {2}}, {0x20000, {3}}}},
        {"later line wins", S(1, 0, {0x11, 0x22}) + S(1, 0, {0xAA, 0xBB}), FileOk, 2, {{0, {0xAA, 0xBB}}}},
        {"records in any order", S(1, 0x10, {0xDE, 0xAD}) + S(1, 0, {0x55}), FileOk, 0x12,
         {{0, {0x55}}, {0x10, {0xDE, 0xAD}}}},
        {"data after the end record counts", S(1, 0, {0x55}) + S(9, 0, {}) + S(1, 0x10, {0xDE}), FileOk, 0x11,
         {{0, {0x55}}, {0x10, {0xDE}}}},
        {"a record continues past FFFF", S(1, 0xFFF8, sixteen), FileOk, 0x10008, {{0xFFF8, sixteen}}},
        {"lower-case digits", "S1050010dead5f\r\n", FileOk, 0x12, {{0x10, {0xDE, 0xAD}}}},
        {"CR only and LF only line ends", S(1, 0, {1}).substr(0, 12) + "\r" + S(1, 1, {0xAA}).substr(0, 12) + "\n",
         FileOk, 2,
         {{0, {1}}, {1, {0xAA}}}},
        {"text lines and a leading blank are ignored", "note\r\n " + S(1, 0, {1}) + S(1, 1, {2}), FileOk, 2,
         {{1, {2}}}},
        {"anything after the checksum is ignored", "S104000055A6 ; reset\r\n", FileOk, 1, {{0, {0x55}}}},
        {"a data record without bytes places nothing", S(1, 0x100, {}) + S(1, 0, {7}), FileOk, 1, {{0, {7}}}},
        {"S5 counts the data records before it", kHeader + S(1, 0, {1}) + S(1, 1, {2}) + S(5, 2, {}) + S(9, 0, {}),
         FileOk, 2, {{0, {1, 2}}}},
        {"S6 counts with 24 bits", S(2, 0, {1}) + S(6, 1, {}) + S(8, 0, {}), FileOk, 1, {{0, {1}}}},
        {"S4 (reserved) is ignored", S(1, 0, {1}) + "S4030000FC\r\n", FileOk, 1, {{0, {1}}}},
        {"a UTF-8 byte order mark", "\xEF\xBB\xBF" + S(1, 0, {0x55}), FileOk, 1, {{0, {0x55}}}},
        {"data up to 16 MB", S(2, 0xFFFFFF, {0xEE}), FileOk, 0x1000000, {{0xFFFFFF, {0xEE}}}},
        {"data at 16 MB refused", S(3, 0x1000000, {0xEE}), FileTooLarge, 0, {},
         "data at 1000000h lies beyond the 16 MB a data file may hold"},
        {"data at FFFFFFF8h refused", S(3, 0xFFFFFFF8, sixteen), FileTooLarge, 0, {},
         "data at FFFFFFF8h lies beyond the 16 MB a data file may hold"},
        {"S5 with one record too many", S(1, 0, {1}) + S(5, 2, {}), FileChecksumError, 0, {},
         "count record on line 2 says 2 data records, the file has 1 before it"},
        {"S5 with one record lost", S(1, 0, {1}) + S(1, 1, {1}) + S(5, 1, {}), FileChecksumError, 0, {}},
        {"S6 that disagrees", S(2, 0, {1}) + S(6, 0x10001, {}), FileChecksumError, 0, {}},
        {"wrong checksum in a data record", "S104000055A5\r\n", FileChecksumError, 0, {},
         "record on line 1 fails its checksum"},
        {"wrong checksum in the header", "S00600004844521C\r\n" + S(1, 0, {1}), FileChecksumError, 0, {}},
        {"wrong checksum in the end record", S(1, 0, {1}) + "S9030000FD\r\n", FileChecksumError, 0, {}},
        {"wrong checksum after the end record", S(1, 0, {1}) + S(9, 0, {}) + "S104000055A5\r\n", FileChecksumError,
         0, {}},
        {"line ends inside the checksum", "S104000055A\r\n", FileChecksumError, 0, {},
         "record on line 1 ends before its checksum"},
        {"line ends inside the data", "S1100000AABB\r\n", FileChecksumError, 0, {}},
        {"line ends inside the count", "S1\r\n", FileChecksumError, 0, {}},
        {"count too small for the address", "S2030000FC\r\n", FileChecksumError, 0, {},
         "record on line 1 is too short for its address and checksum"},
        {"non-hex character in the data", "S1040000G5A6\r\n", FileChecksumError, 0, {},
         "record on line 1 holds a character that is not a hexadecimal digit"},
        {"non-hex character in the count", "S1G4000055A6\r\n", FileChecksumError, 0, {}},
        {"blank inside a record", "S1050000AA BB9B\r\n", FileChecksumError, 0, {}},
        {"a damaged line wins over data beyond 16 MB", S(3, 0x2000000, {1}) + "S104000055A5\r\n", FileChecksumError,
         0, {}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        DataFileContents contents;
        contents.problem = "stale";
        EXPECT_EQ(ReadSRecordText(c.text, contents), c.result);
        std::vector<uint8_t> expected;
        if (c.result == FileOk) {
            expected.assign(c.size, 0xFF);
            for (const Placed& p : c.placed) std::copy(p.bytes.begin(), p.bytes.end(), expected.begin() + p.at);
            EXPECT_EQ(contents.problem, "");
        } else {
            EXPECT_NE(contents.problem, "");
            if (!c.problem.empty()) {
                EXPECT_EQ(contents.problem, c.problem);
            }
        }
        EXPECT_TRUE(contents.image.bytes == expected) << "image of " << contents.image.bytes.size() << " bytes differs";
        EXPECT_EQ(contents.image.ranges.empty(), expected.empty());
    }
}

TEST(SRecordRead, FileResultsAndSizes) {
    ScratchDir dir;
    const std::string name = dir.Name("data.s19");
    test::Spit(name, S(1, 0x10, {0xDE, 0xAD}) + S(9, 0, {}));
    std::vector<uint8_t> image{1};
    int32_t size = 0;
    ASSERT_EQ(ReadSRecordFile(name, image, size), FileOk);
    EXPECT_EQ(size, 0x12);
    EXPECT_EQ(image.size(), 0x12u);

    test::Spit(name, "S104000055A5\r\n");
    EXPECT_EQ(ReadSRecordFile(name, image, size), FileChecksumError);
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(size, 0);
    for (const std::string& missing : {dir.Name("none.srec"), dir.Path().string(), std::string()}) {
        DataFileContents contents;
        EXPECT_EQ(ReadSRecordFile(missing, contents), FileIoError);
        EXPECT_EQ(contents.problem, "the file cannot be opened or read");
    }
}

TEST(SRecordWrite, ExactLines) {
    struct WriteCase {
        const char* what;
        std::vector<uint8_t> image;
        std::string text;
    };
    const std::string header = "S00A00004B65737472696E15\r\n";
    const WriteCase cases[] = {
        {"single byte 55", {0x55}, header + "S104000055A6\r\nS5030001FB\r\nS9030000FC\r\n"},
        {"17 bytes: a full record and one byte",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
         header + "S1130000000102030405060708090A0B0C0D0E0F74\r\nS104001010DB\r\nS5030002FA\r\nS9030000FC\r\n"},
    };
    ScratchDir dir;
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = dir.Name("out.srec");
        ASSERT_EQ(WriteSRecordFile(name, c.image.data(), static_cast<int32_t>(c.image.size())), FileOk);
        EXPECT_EQ(test::Slurp(name), c.text);
    }
    // Above 64 KB: S2 records and S8; beyond 65535 records: S6.
    std::vector<uint8_t> big(0x10001, 0x00);
    std::string text = SRecordText(big.data(), static_cast<int32_t>(big.size()));
    EXPECT_EQ(text.substr(header.size(), 4), "S214");
    EXPECT_NE(text.find("S20501000000F9\r\nS5031001EB\r\nS804000000FB\r\n"), std::string::npos);
    big.assign(0x100010, 0x00);
    text = SRecordText(big.data(), static_cast<int32_t>(big.size()));
    EXPECT_NE(text.find("\r\nS604010001F9\r\nS804000000FB\r\n"), std::string::npos);
    EXPECT_EQ(text.find("S5"), std::string::npos);
}

TEST(SRecordWrite, RoundTrips) {
    ScratchDir dir;
    std::mt19937 rng(1937);
    std::vector<std::size_t> sizes = {1, 15, 16, 17, 255, 256, 65535, 65536, 65537, 0x1E001, 0x40000, 0x100010};
    for (int i = 0; i < 6; ++i) sizes.push_back(1 + rng() % 0x40000);
    for (std::size_t n : sizes) {
        SCOPED_TRACE(n);
        const std::vector<uint8_t> image = test::RandomImage(rng, n);
        const std::string name = dir.Name("round.srec");
        ASSERT_EQ(WriteDataFile(name, SRecordFilterIndex, image.data(), static_cast<int32_t>(n)), FileOk);
        DataFileContents contents;
        ASSERT_EQ(ReadDataFileContents(name, SRecordFilterIndex, contents), FileOk);
        EXPECT_TRUE(contents.image.bytes == image);
        EXPECT_EQ(contents.image.ranges, (std::vector<AddressRange>{{0, static_cast<uint32_t>(n)}}));
    }
}

// srec_cat (Debian srecord), written by others, must agree with our reader and
// writer. The test command installs it; a missing one fails here, loudly.
class SRecordSrecCat : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::string(KESTRIN_SREC_CAT), "")
            << "srec_cat was not found at configure time: install Debian's srecord (scripts/packages.txt)";
    }
    static int SrecCat(const std::string& args) {
        return std::system((std::string("'") + KESTRIN_SREC_CAT + "' " + args).c_str());
    }
    static std::string Q(const std::string& name) { return "'" + name + "'"; }
    ScratchDir dir;
    std::mt19937 rng{19};
};

TEST_F(SRecordSrecCat, ReadsOurFilesToTheSameBytes) {
    for (std::size_t n : {1u, 17u, 65536u, 0x1E123u, 0x40000u}) {
        SCOPED_TRACE(n);
        const std::vector<uint8_t> image = test::RandomImage(rng, n);
        const std::string srec = dir.Name("ours.srec"), bin = dir.Name("theirs.bin");
        ASSERT_EQ(WriteSRecordFile(srec, image.data(), static_cast<int32_t>(n)), FileOk);
        ASSERT_EQ(SrecCat(Q(srec) + " -motorola -o " + Q(bin) + " -binary"), 0);
        EXPECT_TRUE(test::Slurp(bin) == std::string(image.begin(), image.end()));
    }
}

TEST_F(SRecordSrecCat, WeReadTheirFilesToTheSameBytes) {
    struct Conversion {
        std::size_t size;
        unsigned offset;
        const char* options;  // srec_cat's output options
    };
    for (const Conversion& c : {Conversion{100, 0, "-motorola"}, Conversion{65536, 0, "-motorola"},
                                Conversion{0x1234, 0x1E000, "-motorola"}, Conversion{0x1234, 0x1E000, "-motorola -address-length=4"},
                                Conversion{70000, 0x100, "-motorola -data-only"},
                                Conversion{300, 0x30000, "-motorola -line-length=100"},
                                Conversion{0x40000, 0, "-motorola"}}) {
        SCOPED_TRACE(std::to_string(c.size) + " at " + std::to_string(c.offset) + " " + c.options);
        const std::vector<uint8_t> bytes = test::RandomImage(rng, c.size);
        const std::string bin = dir.Name("in.bin"), srec = dir.Name("theirs.s37");
        test::Spit(bin, std::string(bytes.begin(), bytes.end()));
        ASSERT_EQ(SrecCat(Q(bin) + " -binary -offset " + std::to_string(c.offset) + " -o " + Q(srec) + " " + c.options),
                  0);
        DataFileContents contents;
        ASSERT_EQ(ReadSRecordFile(srec, contents), FileOk) << contents.problem;
        std::vector<uint8_t> expected(c.offset, 0xFF);
        expected.insert(expected.end(), bytes.begin(), bytes.end());
        EXPECT_TRUE(contents.image.bytes == expected);
        EXPECT_EQ(contents.image.ranges,
                  (std::vector<AddressRange>{{c.offset, static_cast<uint32_t>(c.offset + c.size)}}));
    }
}

}  // namespace
}  // namespace kestrin
