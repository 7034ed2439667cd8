#include "production/SerialNumber.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>

#include "config/NumberText.h"

namespace kestrin {

namespace {

constexpr const char* kFormatNames[] = {"le", "be", "bcd", "dec", "hex"};

std::optional<uint64_t> ParseUnsigned(std::string_view text) { return ParseUnsignedText(text); }

// base^digits - 1, saturated at the 64-bit maximum.
uint64_t PowerLimit(uint64_t base, int digits) {
    uint64_t limit = 1;
    for (int i = 0; i < digits; ++i) {
        if (limit > std::numeric_limits<uint64_t>::max() / base) return std::numeric_limits<uint64_t>::max();
        limit *= base;
    }
    return limit - 1;
}

}  // namespace

const char* SerialFormatName(TSerialFormat format) { return kFormatNames[static_cast<int>(format)]; }

std::optional<TSerialFormat> SerialFormatByName(const std::string& name) {
    for (int i = 0; i < static_cast<int>(std::size(kFormatNames)); ++i)
        if (name == kFormatNames[i]) return static_cast<TSerialFormat>(i);
    return std::nullopt;
}

uint64_t SerialLimit(int length, TSerialFormat format) {
    switch (format) {
        case TSerialFormat::BinaryLE:
        case TSerialFormat::BinaryBE:
            return PowerLimit(256, length);
        case TSerialFormat::Bcd:
            return PowerLimit(10, 2 * length);
        case TSerialFormat::Decimal:
            return PowerLimit(10, length);
        case TSerialFormat::Hex:
            return PowerLimit(16, length);
    }
    return 0;
}

std::optional<std::string> SerialSeriesProblem(const TSerialSeries& series) {
    if (series.Length < 1 || series.Length > 8) return "the length is " + std::to_string(series.Length) + " bytes (1 to 8)";
    if (series.Address < 0 || series.Address + series.Length > 0x10000)
        return "the number does not lie within 64 KB (address " + std::to_string(series.Address) + ", " +
               std::to_string(series.Length) + " bytes)";
    if (series.Step == 0) return "the step is 0";
    const uint64_t limit = SerialLimit(series.Length, series.Format);
    if (series.First > limit)
        return "the first number " + std::to_string(series.First) + " does not fit in " + std::to_string(series.Length) +
               " bytes as " + SerialFormatName(series.Format) + " (at most " + std::to_string(limit) + ")";
    return std::nullopt;
}

std::optional<TSerialSeries> ParseSerialSeries(const std::string& text, std::string& error) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t colon; (colon = text.find(':', from)) != std::string::npos; from = colon + 1)
        parts.push_back(text.substr(from, colon - from));
    parts.push_back(text.substr(from));
    if (parts.size() != 4 && parts.size() != 5) {
        error = "\"" + text + "\" is not ADDR:LEN:FORMAT:FIRST[:STEP]";
        return std::nullopt;
    }
    TSerialSeries series;
    const auto address = ParseUnsigned(parts[0]);
    const auto length = ParseUnsigned(parts[1]);
    const auto format = SerialFormatByName(parts[2]);
    const auto first = ParseUnsigned(parts[3]);
    const auto step = parts.size() == 5 ? ParseUnsigned(parts[4]) : std::optional<uint64_t>(1);
    if (!address || *address > 0xFFFF) {
        error = "\"" + parts[0] + "\" is not an address (0 to 0xFFFF)";
    } else if (!length || *length < 1 || *length > 8) {
        error = "\"" + parts[1] + "\" is not a length (1 to 8 bytes)";
    } else if (!format) {
        error = "\"" + parts[2] + "\" is not a format (le, be, bcd, dec or hex)";
    } else if (!first) {
        error = "\"" + parts[3] + "\" is not a first number";
    } else if (!step) {
        error = "\"" + parts[4] + "\" is not a step";
    } else {
        series = {static_cast<int64_t>(*address), static_cast<int>(*length), *format, *first, *step};
        if (const auto problem = SerialSeriesProblem(series)) {
            error = *problem;
            return std::nullopt;
        }
        return series;
    }
    return std::nullopt;
}

std::string SerialSeriesText(const TSerialSeries& series) {
    char address[16];
    std::snprintf(address, sizeof address, "0x%04llX", static_cast<unsigned long long>(series.Address));
    return std::string(address) + ":" + std::to_string(series.Length) + ":" + SerialFormatName(series.Format) + ":" +
           std::to_string(series.First) + ":" + std::to_string(series.Step);
}

std::optional<std::vector<uint8_t>> EncodeSerial(const TSerialSeries& series, uint64_t value, std::string& error) {
    if (series.Length < 1 || series.Length > 8 || value > SerialLimit(series.Length, series.Format)) {
        error = "serial number " + std::to_string(value) + " does not fit in " + std::to_string(series.Length) +
                " bytes as " + SerialFormatName(series.Format);
        return std::nullopt;
    }
    const size_t n = static_cast<size_t>(series.Length);
    std::vector<uint8_t> bytes(n);
    uint64_t rest = value;
    // Every format but little-endian binary puts the most significant part first.
    for (size_t i = 0; i < n; ++i) {
        uint8_t& byte = series.Format == TSerialFormat::BinaryLE ? bytes[i] : bytes[n - 1 - i];
        switch (series.Format) {
            case TSerialFormat::BinaryLE:
            case TSerialFormat::BinaryBE:
                byte = static_cast<uint8_t>(rest & 0xFF);
                rest >>= 8;
                break;
            case TSerialFormat::Bcd:
                byte = static_cast<uint8_t>((rest % 10) | ((rest / 10 % 10) << 4));
                rest /= 100;
                break;
            case TSerialFormat::Decimal:
                byte = static_cast<uint8_t>('0' + rest % 10);
                rest /= 10;
                break;
            case TSerialFormat::Hex:
                byte = static_cast<uint8_t>("0123456789ABCDEF"[rest & 0xF]);
                rest >>= 4;
                break;
        }
    }
    return bytes;
}

bool PatchSerial(std::vector<uint8_t>& image, int64_t start, const TSerialSeries& series, uint64_t value,
                 std::string& error) {
    if (series.Address < start) {
        error = "the serial number's address lies before the data's start address";
        return false;
    }
    const auto bytes = EncodeSerial(series, value, error);
    if (!bytes) return false;
    const size_t offset = static_cast<size_t>(series.Address - start);
    if (image.size() < offset + bytes->size()) image.resize(offset + bytes->size(), 0xFF);
    std::copy(bytes->begin(), bytes->end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
}

std::optional<TSerialSeries> ProfileSerial(const TProfile& profile, std::string& error) {
    error.clear();
    if (profile.SerialFormat.empty()) return std::nullopt;
    const std::string text = std::to_string(profile.SerialAddress) + ":" + std::to_string(profile.SerialLength) + ":" +
                             profile.SerialFormat + ":" + (profile.SerialFirst.empty() ? "1" : profile.SerialFirst) +
                             ":" + (profile.SerialStep.empty() ? "1" : profile.SerialStep);
    auto series = ParseSerialSeries(text, error);
    if (!series) error = "the profile's serial number: " + error;
    return series;
}

void SetProfileSerial(TProfile& profile, const std::optional<TSerialSeries>& series) {
    if (!series) {
        profile.SerialFormat.clear();
        profile.SerialAddress = 0;
        profile.SerialLength = 0;
        profile.SerialFirst.clear();
        profile.SerialStep.clear();
        return;
    }
    profile.SerialFormat = SerialFormatName(series->Format);
    profile.SerialAddress = static_cast<int32_t>(series->Address);
    profile.SerialLength = series->Length;
    profile.SerialFirst = std::to_string(series->First);
    profile.SerialStep = std::to_string(series->Step);
}

}  // namespace kestrin
