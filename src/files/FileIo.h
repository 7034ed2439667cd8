// File access shared by the data-file readers and writers: UTF-8 names,
// whole-file reads, and writes that never leave a half-written target behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "files/FileResult.h"
#include "files/MemoryImage.h"

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

// ReadWholeFile for the readers, up to 2 GB (the bound their 32-bit sizes
// give). Empty on success, else the clause naming why
// ("the file cannot be opened or read"); contents are empty then.
std::string ReadFileForReader(const std::string& fileName, std::vector<uint8_t>& contents);
inline constexpr std::uintmax_t kMaxDataFileLength = 0x7FFFFFFF;

// Reads the file whole and hands its bytes to parse(bytes, count, contents);
// a file that cannot be read is FileIoError with the clause naming why.
template <typename Parse>
FileResult ReadFileWith(const std::string& fileName, DataFileContents& contents, Parse&& parse) {
    contents = DataFileContents{};
    std::vector<uint8_t> bytes;
    if (std::string problem = ReadFileForReader(fileName, bytes); !problem.empty())
        return ReadFailure(contents, FileIoError, std::move(problem));
    return parse(bytes.data(), bytes.size(), contents);
}

// Replaces the file with exactly these bytes. They go to a new file in the same
// folder first, which is renamed over the target only once every byte was
// written and the file closed, so a failure leaves an existing file as it was.
// A symbolic link is followed and stays in place; an existing file's permission
// bits are kept. FileOk or FileIoError.
FileResult ReplaceFile(const std::string& fileName, const void* data, std::size_t count);

// Writes the text a record writer makes of the image (textOf(image, size)) in
// place of the file: FileNoData for no name or image, FileTooLarge beyond
// kMaxImageSize, FileIoError when it cannot be held or written.
template <typename TextOf>
FileResult WriteTextFile(const std::string& fileName, const uint8_t* image, int32_t size, TextOf&& textOf) {
    if (fileName.empty() || image == nullptr || size <= 0) return FileNoData;
    if (static_cast<uint32_t>(size) > kMaxImageSize) return FileTooLarge;
    try {
        const std::string text = textOf(image, size);
        return ReplaceFile(fileName, text.data(), text.size());
    } catch (const std::bad_alloc&) {
        return FileIoError;
    }
}

}  // namespace kestrin
