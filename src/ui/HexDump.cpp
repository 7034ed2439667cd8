#include "ui/HexDump.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "files/FileResult.h"

namespace kestrin {

namespace {

int HexDigit(char32_t ch) {
    if (ch >= U'0' && ch <= U'9') return static_cast<int>(ch - U'0');
    if (ch >= U'A' && ch <= U'F') return static_cast<int>(ch - U'A') + 10;
    if (ch >= U'a' && ch <= U'f') return static_cast<int>(ch - U'a') + 10;
    return -1;
}

constexpr char32_t kBackspace = 8;
constexpr char32_t kEnter = 13;

}  // namespace

int32_t GridDataRows(int32_t size) { return size > 0 ? (size + 15) / 16 : 1; }

int32_t CellOffset(int column, int row) {
    if (row < 1) return -1;
    if (IsHexColumn(column)) return (row - 1) * 16 + (column - kFirstHexColumn);
    if (IsCharColumn(column)) return (row - 1) * 16 + (column - kFirstCharColumn);
    return -1;
}

int32_t HexViewLimit(int64_t memorySize) {
    return static_cast<int32_t>(std::clamp<int64_t>(memorySize, kHexMaxSize, kHexLargestSize));
}

int AddressDigits(int32_t size) {
    int digits = 4;
    for (int64_t reach = int64_t{1} << 16; reach < size; reach <<= 4) ++digits;
    return digits;
}

std::string RowLabel(int row, int digits) {
    const int rowDigits = std::clamp(digits, 2, 8) - 1;
    const unsigned mask = rowDigits >= 8 ? ~0u : (1u << (4 * rowDigits)) - 1;
    char text[16];
    std::snprintf(text, sizeof text, "%0*Xx", rowDigits, static_cast<unsigned>(row - 1) & mask);
    return text;
}

std::string ByteHex(uint8_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::string SizeText(int32_t size) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(std::max(size, 0)));
    return text;
}

uint8_t HexTextToByte(std::string_view text) {
    if (text.empty()) return 0xFF;
    unsigned v = 0;
    for (char c : text) {
        const int d = HexDigit(static_cast<unsigned char>(c));
        if (d >= 0) v = (v * 16 + static_cast<unsigned>(d)) % 256;
    }
    return static_cast<uint8_t>(v);
}

int32_t HexTextToInt(std::string_view text) {
    int64_t v = 0;
    for (char c : text) {
        const int d = HexDigit(static_cast<unsigned char>(c));
        if (d >= 0) v = std::min<int64_t>(v * 16 + d, std::numeric_limits<int32_t>::max());
    }
    return static_cast<int32_t>(v);
}

int32_t CapSize(int32_t size, int32_t limit) { return std::clamp(size, 0, std::max(limit, 0)); }

int32_t SteppedSize(int32_t size, int tag, bool up, int32_t limit) {
    const int32_t step = int32_t{1} << (4 * std::clamp(tag, 0, 3));
    const int32_t next = up ? size + step : size - step;
    return next >= 0 && next <= limit ? next : size;
}

bool GridKeyPasses(int column, char32_t ch) {
    if (ch == kBackspace) return true;
    if (IsHexColumn(column)) return HexDigit(ch) >= 0;
    if (column == kSeparatorColumn) return ch == kEnter;
    // A character cell holds one byte: characters beyond Latin-1 have none.
    return IsCharColumn(column) && ch <= 0xFF;
}

bool SizeKeyPasses(char32_t ch) { return ch == kBackspace || HexDigit(ch) >= 0; }

TGridWidths GridColumnWidths(int clientWidth, int labelDigits) {
    const int b = std::max((clientWidth - 54) / 54, 0);
    const int digits = std::max(labelDigits, 4);
    TGridWidths w;
    w.Label = digits * b;
    w.Hex = 2 * b;
    w.Separator = std::max(clientWidth - (48 + digits) * b - 34, 0);
    w.Char = b;
    return w;
}

TButtonWidths ButtonWidths(int panelWidth, int firstButtonLeft) {
    TButtonWidths w;
    w.Button = std::max((panelWidth - firstButtonLeft) / 6, 0);
    w.Exit = std::max(panelWidth - firstButtonLeft - 5 * w.Button, 0);
    return w;
}

std::string WithDefaultExtension(const std::string& fileName, int filterIndex) {
#ifdef _WIN32
    const size_t nameStart = fileName.find_last_of("/\\");
#else
    const size_t nameStart = fileName.find_last_of('/');
#endif
    const size_t dot = fileName.find('.', nameStart == std::string::npos ? 0 : nameStart + 1);
    if (dot != std::string::npos) return fileName;
    return fileName + (filterIndex == HexFilterIndex ? ".hex" : ".bin");
}

}  // namespace kestrin
