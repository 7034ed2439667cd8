// The bytes a serial number becomes in each format, the numbers each length
// can hold, the --serial text and the profile's keys.
#include <gtest/gtest.h>

#include <limits>

#include "production/SerialNumber.h"

namespace kestrin {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

TEST(SerialNumber, EncodesEachFormatAndRefusesWhatDoesNotFit) {
    struct Case {
        TSerialFormat format;
        int length;
        uint64_t value;
        std::optional<std::vector<uint8_t>> bytes;  // empty: refused
    };
    const uint64_t max = std::numeric_limits<uint64_t>::max();
    const Case cases[] = {
        {TSerialFormat::BinaryLE, 4, 0x12345678, Bytes({0x78, 0x56, 0x34, 0x12})},
        {TSerialFormat::BinaryBE, 4, 0x12345678, Bytes({0x12, 0x34, 0x56, 0x78})},
        {TSerialFormat::BinaryLE, 1, 255, Bytes({0xFF})},
        {TSerialFormat::BinaryLE, 1, 256, std::nullopt},
        {TSerialFormat::BinaryBE, 2, 65536, std::nullopt},
        {TSerialFormat::BinaryLE, 8, max, Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
        {TSerialFormat::Bcd, 3, 123456, Bytes({0x12, 0x34, 0x56})},
        {TSerialFormat::Bcd, 2, 7, Bytes({0x00, 0x07})},
        {TSerialFormat::Bcd, 2, 9999, Bytes({0x99, 0x99})},
        {TSerialFormat::Bcd, 2, 10000, std::nullopt},
        {TSerialFormat::Decimal, 6, 4711, Bytes({'0', '0', '4', '7', '1', '1'})},
        {TSerialFormat::Decimal, 3, 999, Bytes({'9', '9', '9'})},
        {TSerialFormat::Decimal, 3, 1000, std::nullopt},
        {TSerialFormat::Decimal, 8, 99999999, Bytes({'9', '9', '9', '9', '9', '9', '9', '9'})},
        {TSerialFormat::Hex, 4, 0xBEEF, Bytes({'B', 'E', 'E', 'F'})},
        {TSerialFormat::Hex, 5, 0xA, Bytes({'0', '0', '0', '0', 'A'})},
        {TSerialFormat::Hex, 2, 0x100, std::nullopt},
    };
    for (const Case& c : cases) {
        TSerialSeries series;
        series.Format = c.format;
        series.Length = c.length;
        std::string error;
        const auto bytes = EncodeSerial(series, c.value, error);
        SCOPED_TRACE(std::string(SerialFormatName(c.format)) + " " + std::to_string(c.length) + " " +
                     std::to_string(c.value));
        EXPECT_EQ(bytes, c.bytes);
        EXPECT_EQ(error.empty(), c.bytes.has_value()) << error;
    }
}

TEST(SerialNumber, ReadsTheSerialOptionAndNamesWhatIsWrong) {
    struct Case {
        const char* text;
        std::optional<TSerialSeries> series;
        const char* error;  // part of the message
    };
    const Case cases[] = {
        {"0x1FF0:4:le:1000", TSerialSeries{0x1FF0, 4, TSerialFormat::BinaryLE, 1000, 1}, ""},
        {"16:2:bcd:0x10:5", TSerialSeries{16, 2, TSerialFormat::Bcd, 16, 5}, ""},
        {"0:8:dec:12345678", TSerialSeries{0, 8, TSerialFormat::Decimal, 12345678, 1}, ""},
        {"0xFFFC:4:be:1", TSerialSeries{0xFFFC, 4, TSerialFormat::BinaryBE, 1, 1}, ""},
        {"0xFFFD:4:be:1", std::nullopt, "within 64 KB"},
        {"0x10000:1:le:1", std::nullopt, "not an address"},
        {"0:9:le:1", std::nullopt, "not a length"},
        {"0:0:le:1", std::nullopt, "not a length"},
        {"0:2:ascii:1", std::nullopt, "not a format"},
        {"0:2:dec:100", std::nullopt, "does not fit"},
        {"0:1:hex:16", std::nullopt, "does not fit"},
        {"0:2:le:1:0", std::nullopt, "step is 0"},
        {"0:2:le", std::nullopt, "ADDR:LEN:FORMAT:FIRST"},
        {"0:2:le:x1", std::nullopt, "not a first number"},
        {"0:2:le:-1", std::nullopt, "not a first number"},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto series = ParseSerialSeries(c.text, error);
        SCOPED_TRACE(c.text);
        EXPECT_EQ(series, c.series);
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

TEST(SerialNumber, IsPatchedIntoTheImageAtItsChipAddress) {
    const TSerialSeries series{0x104, 3, TSerialFormat::Decimal, 1, 1};
    std::string error;
    // Inside the image, which starts at chip address 0x100.
    std::vector<uint8_t> image(16, 0x11);
    ASSERT_TRUE(PatchSerial(image, 0x100, series, 42, error)) << error;
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 4, image.begin() + 7), Bytes({'0', '4', '2'}));
    EXPECT_EQ(image.size(), 16u);
    EXPECT_EQ(image[3], 0x11);
    EXPECT_EQ(image[7], 0x11);
    // Beyond its end: erased bytes fill the gap.
    std::vector<uint8_t> shortImage(2, 0x22);
    ASSERT_TRUE(PatchSerial(shortImage, 0x100, series, 7, error));
    EXPECT_EQ(shortImage, Bytes({0x22, 0x22, 0xFF, 0xFF, '0', '0', '7'}));
    // Before it, or too large: refused, the image untouched.
    std::vector<uint8_t> untouched(4, 0x33);
    EXPECT_FALSE(PatchSerial(untouched, 0x200, series, 1, error));
    EXPECT_FALSE(PatchSerial(untouched, 0x100, series, 1000, error));
    EXPECT_EQ(untouched, std::vector<uint8_t>(4, 0x33));
}

TEST(SerialNumber, LivesInTheProfileKeysAndIsAbsentWithoutThem) {
    TProfile profile;
    std::string error;
    EXPECT_FALSE(ProfileSerial(profile, error));
    EXPECT_EQ(error, "");
    const TSerialSeries series{0x7F0, 4, TSerialFormat::Hex, 0xA000, 2};
    SetProfileSerial(profile, series);
    EXPECT_EQ(profile.SerialFormat, "hex");
    EXPECT_EQ(ProfileSerial(profile, error), series);
    // A hand-edited profile whose first number does not fit says so.
    profile.SerialFirst = "0x10000";
    EXPECT_FALSE(ProfileSerial(profile, error));
    EXPECT_NE(error.find("does not fit"), std::string::npos) << error;
    SetProfileSerial(profile, std::nullopt);
    EXPECT_EQ(profile, TProfile{});
}

}  // namespace
}  // namespace kestrin
