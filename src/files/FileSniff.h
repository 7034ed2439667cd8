// What a file chosen as binary really holds. The type chosen in the dialog
// is kept; these functions only let the caller ask
// (main window) or refuse (unattended run) before a HEX, S-record or ELF file
// is written byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/FileResult.h"

namespace kestrin {

// IntelHex when the bytes are wholly Intel HEX text, SRecord when wholly
// Motorola S-record text, Elf when they begin with the ELF magic (7F "ELF"),
// else Binary. Wholly record text: at least one record line, and every line
// either blank or a record: ":" (HEX) or "S" and a digit (S-record), then
// hexadecimal digits only, an even number of them and at least a record's
// fields (10 for HEX, 8 for S-record), then blanks at most; a UTF-8 byte order
// mark in front and DOS end-of-file marks (1A) at the end are allowed. Whether
// the checksums hold is the reader's business, once the user chose it.
DataFileType SniffDataFileType(const uint8_t* bytes, std::size_t count);
inline DataFileType SniffDataFileType(const std::vector<uint8_t>& bytes) {
    return SniffDataFileType(bytes.data(), bytes.size());
}

// The sentence the main window asks with and an unattended run refuses with:
//   IntelHex  "This file holds Intel HEX records. Write it as Intel HEX?"
//   SRecord   "This file holds Motorola S-records. Write it as Motorola S-record?"
//   Elf       "This file holds an ELF program. Write it as ELF?"
//   Binary    "" (nothing to ask)
// On Yes the caller reads the file again under FilterIndexOf(type).
std::string SniffedFormatQuestion(DataFileType type);

}  // namespace kestrin
