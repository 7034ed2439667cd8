// The arithmetic behind the hex view window: hexadecimal text to numbers, the
// grid's geometry (which cell shows which byte, how wide each column is), the
// typing rules of the grid and the size edit, and the size steps. No Qt here,
// so the rules can be checked without a display.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrin {

// The window's block: up to 64 KB are shown, or the whole memory of a larger
// chip (256 KB for the ATmega2560); the buffer behind it is twice the largest.
constexpr int32_t kHexMaxSize = 0x10000;
constexpr int32_t kHexLargestSize = 0x40000;
constexpr int32_t kHexBufferSize = 2 * kHexLargestSize;

// The largest block for a chip whose memory holds `memorySize` bytes: 64 KB,
// or the memory itself when it is larger.
int32_t HexViewLimit(int64_t memorySize);

// Hex digits of the row labels for a block of `size` bytes: four up to 64 KB
// (as always), as many as the highest address needs beyond.
int AddressDigits(int32_t size);

// Grid geometry: column 0 holds the row labels, 1..16 the hex cells, 17 is an
// empty separator, 18..33 the character cells; row 0 is the header row.
constexpr int kGridColumns = 34;
constexpr int kFirstHexColumn = 1;
constexpr int kLastHexColumn = 16;
constexpr int kSeparatorColumn = 17;
constexpr int kFirstCharColumn = 18;
constexpr int kLastCharColumn = 33;
constexpr int kGridRowHeight = 18;

inline bool IsHexColumn(int column) { return column >= kFirstHexColumn && column <= kLastHexColumn; }
inline bool IsCharColumn(int column) { return column >= kFirstCharColumn && column <= kLastCharColumn; }

// Number of data rows: one per 16 bytes, and one (empty) row for size 0.
int32_t GridDataRows(int32_t size);

// Offset shown by a hex or character cell of data row `row` (1-based); -1 for other columns.
int32_t CellOffset(int column, int row);

// Grid column of the hex / character cell that shows `offset`.
inline int HexColumnOf(int32_t offset) { return kFirstHexColumn + offset % 16; }
inline int CharColumnOf(int32_t offset) { return kFirstCharColumn + offset % 16; }
inline int RowOf(int32_t offset) { return offset / 16 + 1; }

// "000x" .. "FFFx": the offset of data row `row` without its last digit, in
// `digits` hex digits with the "x" counted.
std::string RowLabel(int row, int digits = 4);

// Two upper-case hex digits.
std::string ByteHex(uint8_t value);

// The size as shown in the size edit: upper-case hex, at least four digits.
std::string SizeText(int32_t size);

// Empty text gives FF; otherwise the last two hex digits count. Characters that
// are not hex digits are skipped.
uint8_t HexTextToByte(std::string_view text);

// Empty text gives 0; otherwise the hex digits as a number. Characters that are
// not hex digits are skipped; the value saturates instead of overflowing.
int32_t HexTextToInt(std::string_view text);

// A size typed by the user, held within 0..limit.
int32_t CapSize(int32_t size, int32_t limit = kHexMaxSize);

// One click of a size spin button: step 16^tag up or down, unless the result
// would leave 0..limit, in which case the size stays.
int32_t SteppedSize(int32_t size, int tag, bool up, int32_t limit = kHexMaxSize);

// Whether a character typed into the grid in `column` is taken (Backspace always;
// character cells take the characters that fit one byte).
bool GridKeyPasses(int column, char32_t ch);

// Whether a character typed into the size edit is taken (hex digits and Backspace;
// Enter is handled by the edit itself).
bool SizeKeyPasses(char32_t ch);

// Column widths (without the one-pixel grid lines) that make the grid fill a
// client width c exactly: 4b, 16 x 2b, the rest for the separator, 16 x b,
// where b = (c - 54) div 54; row labels of more digits take b per digit from
// the separator.
struct TGridWidths {
    int Label = 0;
    int Hex = 0;
    int Separator = 0;
    int Char = 0;
};
TGridWidths GridColumnWidths(int clientWidth, int labelDigits = 4);

// Width of each of the five buttons from Clear on, and of Exit, which takes the
// rest of the panel.
struct TButtonWidths {
    int Button = 0;
    int Exit = 0;
};
TButtonWidths ButtonWidths(int panelWidth, int firstButtonLeft);

// A file name for saving: without any extension, ".hex" is appended for the
// Intel HEX type entry and ".bin" for the others; a name with an extension
// stays as it is.
std::string WithDefaultExtension(const std::string& fileName, int filterIndex);

}  // namespace kestrin
