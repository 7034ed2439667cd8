// File access shared by the data-file readers and writers: UTF-8 names,
// whole-file reads, and writes that never leave a half-written target behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "files/FileResult.h"

namespace kestrin {

// File names reach the core as UTF-8, whatever the platform's own encoding is.
std::filesystem::path PathFromUtf8(std::string_view fileName);

// Reads a regular file whole. `length` is the file's length once it could be
// opened and measured (also when the reading itself fails), else 0.
// FileIoError when the name is empty, the path is not a regular file (a folder,
// a device or a pipe, nothing that could block), or the file cannot be opened,
// measured, held in memory or read whole, or is longer than maxLength (then
// nothing is read); FileOk otherwise, an empty file included.
FileResult ReadWholeFile(const std::string& fileName, std::vector<uint8_t>& contents,
                         std::uintmax_t& length, std::uintmax_t maxLength);

// ReadWholeFile for the readers, up to 2 GB (the bound Parts 3.1 and 3.2 give
// through their 32-bit sizes). Empty on success, else the clause naming why
// ("the file cannot be opened or read"); contents are empty then.
std::string ReadFileForReader(const std::string& fileName, std::vector<uint8_t>& contents);
inline constexpr std::uintmax_t kMaxDataFileLength = 0x7FFFFFFF;

// Replaces the file with exactly these bytes. They go to a new file in the same
// folder first, which is renamed over the target only once every byte was
// written and the file closed, so a failure leaves an existing file as it was.
// A symbolic link is followed and stays in place; an existing file's permission
// bits are kept. FileOk or FileIoError.
FileResult ReplaceFile(const std::string& fileName, const void* data, std::size_t count);

}  // namespace kestrin
