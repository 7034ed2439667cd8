// ELF files as avr-gcc links them (devices.md part 4b), read with Debian's libelf.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/FileResult.h"
#include "files/MemoryImage.h"

namespace kestrin {

// Where avr-libc's linker scripts load each memory (load addresses, LMA).
inline constexpr uint32_t kElfRamBase = 0x800000;        // .data's run address: nothing to program
inline constexpr uint32_t kElfEepromBase = 0x810000;     // .eeprom
inline constexpr uint32_t kElfFuseBase = 0x820000;       // .fuse: low, high, extended
inline constexpr uint32_t kElfLockBase = 0x830000;       // .lock
inline constexpr uint32_t kElfSignatureBase = 0x840000;  // .signature: SIGNATURE_2, _1, _0
inline constexpr uint32_t kElfWindowEnd = 0x850000;
inline constexpr uint32_t kElfMaxFuses = 16;             // ATmega: 3, XMEGA: 6

// Reads a linked AVR program (32-bit little-endian ELF, type EXEC, machine
// AVR). Every allocated section with contents is placed by its load address,
// which the program header holding the section gives (the section's own
// address without one): below 0x800000 into the Flash image, from 0x810000 into
// the E²PROM image, from 0x820000 the fuses, at 0x830000 the lock byte, at
// 0x840000 the signature (see DataFileContents). Sections without contents
// (.bss, .noinit) and sections that are not allocated (debug information,
// symbols, .comment) are passed over. A file without section headers is read
// by its loadable program headers instead.
//   FileIoError       the file cannot be opened or read
//   FileNoData        nothing to program: no Flash, E²PROM, fuse or lock bytes
//   FileFormatError   contents.problem names why: not an ELF file, a 64-bit or
//                     big-endian one, not a linked AVR program, damaged
//                     headers or a section outside the file, sections whose
//                     load addresses overlap, a section in RAM or beyond
//                     0x850000 (bytes no chip memory takes), fuses with a gap
//                     or more than 16, a lock section other than 1 byte or a
//                     signature section other than 3 bytes at its address
FileResult ReadElfFile(const std::string& fileName, DataFileContents& contents);
FileResult ReadElfBytes(const uint8_t* data, std::size_t size, DataFileContents& contents);

// The Flash image alone, as ReadIntelHexFile returns one; FileNoData when the
// file has no Flash bytes.
FileResult ReadElfFile(const std::string& fileName, std::vector<uint8_t>& image, int32_t& size);

}  // namespace kestrin
