// Binary data files, and the rule that picks a data file's format: the entry
// chosen in the file dialog's type list (kDataFileFormats, DataFileFilter),
// never the file's name or contents (a name picks the entry only on the command
// line, FilterIndexForName; contents only ever prompt a question, FileSniff.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/FileResult.h"
#include "files/MemoryImage.h"

namespace kestrin {

// The file's bytes are the image. FileNoData for an empty file (size 0);
// FileIoError when it cannot be opened (size 0) or not be read whole (size is
// then the file's length). The image is empty on any result but FileOk.
FileResult ReadBinaryFile(const std::string& fileName, std::vector<uint8_t>& image, int32_t& size);

// Writes exactly the image's bytes. FileNoData for an empty name, no image or a
// size of 0 (nothing is touched); FileIoError when the file cannot be written.
// An existing file is replaced only when the new one was written completely.
FileResult WriteBinaryFile(const std::string& fileName, const uint8_t* image, int32_t size);

// Reads with the reader that the dialog's type entry selects (DataFileTypeOf:
// entry 2 Intel HEX, 4 Motorola S-record, 5 ELF, any other binary) and hands
// back the image alone: for ELF the Flash image (FileNoData without one); its
// E²PROM, fuses, lock and signature need ReadDataFileContents.
FileResult ReadDataFile(const std::string& fileName, int filterIndex, std::vector<uint8_t>& image, int32_t& size);

// Reads with the reader the entry selects and hands back everything the file
// holds, with the addresses it gives and, on failure, a clause naming why
// (contents.problem). Results as the selected reader's (FileResult.h).
FileResult ReadDataFileContents(const std::string& fileName, int filterIndex, DataFileContents& contents);

// The same for a binary file: the image is the file's bytes, all of them given.
FileResult ReadBinaryFile(const std::string& fileName, DataFileContents& contents);

// Writes with the writer that the dialog's type entry selects; FileFormatError
// for an entry without a writer (ELF), nothing touched.
FileResult WriteDataFile(const std::string& fileName, int filterIndex, const uint8_t* image, int32_t size);

}  // namespace kestrin
