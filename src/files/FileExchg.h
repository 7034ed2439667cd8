// Binary data files, and the rule that picks a data file's format: the entry
// chosen in the file dialog's type list (DataFileFilter), never the file's name
// or contents.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/FileResult.h"

namespace kestrin {

// The file's bytes are the image. FileNoData for an empty file (size 0);
// FileIoError when it cannot be opened (size 0) or not be read whole (size is
// then the file's length). The image is empty on any result but FileOk.
FileResult ReadBinaryFile(const std::string& fileName, std::vector<uint8_t>& image, int32_t& size);

// Writes exactly the image's bytes. FileNoData for an empty name, no image or a
// size of 0 (nothing is touched); FileIoError when the file cannot be written.
// An existing file is replaced only when the new one was written completely.
FileResult WriteBinaryFile(const std::string& fileName, const uint8_t* image, int32_t size);

// Reads with the reader that the dialog's type entry selects (HexFilterIndex:
// Intel HEX, any other entry: binary).
FileResult ReadDataFile(const std::string& fileName, int filterIndex, std::vector<uint8_t>& image, int32_t& size);

// Writes with the writer that the dialog's type entry selects.
FileResult WriteDataFile(const std::string& fileName, int filterIndex, const uint8_t* image, int32_t size);

}  // namespace kestrin
