#include "files/FileExchg.h"

#include <limits>

#include "files/ElfFile.h"
#include "files/FileIo.h"
#include "files/IntelHex.h"
#include "files/SRecord.h"

namespace kestrin {

FileResult ReadBinaryFile(const std::string& fileName, std::vector<uint8_t>& image, int32_t& size) {
    image.clear();
    size = 0;
    constexpr auto kMaxSize = static_cast<std::uintmax_t>(std::numeric_limits<int32_t>::max());
    std::uintmax_t length = 0;
    const FileResult read = ReadWholeFile(fileName, image, length, kMaxSize);
    // A length the size cannot hold counts as one that cannot be determined.
    if (length > kMaxSize) return FileIoError;
    size = static_cast<int32_t>(length);
    if (read != FileOk) return FileIoError;
    return length == 0 ? FileNoData : FileOk;
}

FileResult ReadBinaryFile(const std::string& fileName, DataFileContents& contents) {
    contents = DataFileContents{};
    int32_t size = 0;
    const FileResult result = ReadBinaryFile(fileName, contents.image.bytes, size);
    if (result == FileOk) {
        contents.image.ranges.push_back({0, static_cast<uint32_t>(size)});
    } else {
        contents.problem = result == FileNoData ? "the file is empty"
                           : size > 0           ? "the file cannot be read whole"
                                                : "the file cannot be opened or read";
    }
    return result;
}

FileResult WriteBinaryFile(const std::string& fileName, const uint8_t* image, int32_t size) {
    if (fileName.empty() || image == nullptr || size <= 0) return FileNoData;
    return ReplaceFile(fileName, image, static_cast<std::size_t>(size));
}

FileResult ReadDataFileContents(const std::string& fileName, int filterIndex, DataFileContents& contents) {
    switch (DataFileTypeOf(filterIndex)) {
        case DataFileType::IntelHex: return ReadIntelHexFile(fileName, contents);
        case DataFileType::SRecord: return ReadSRecordFile(fileName, contents);
        case DataFileType::Elf: return ReadElfFile(fileName, contents);
        case DataFileType::Binary: break;
    }
    return ReadBinaryFile(fileName, contents);
}

FileResult ReadDataFile(const std::string& fileName, int filterIndex, std::vector<uint8_t>& image, int32_t& size) {
    switch (DataFileTypeOf(filterIndex)) {
        case DataFileType::IntelHex: return ReadIntelHexFile(fileName, image, size);
        case DataFileType::SRecord: return ReadSRecordFile(fileName, image, size);
        case DataFileType::Elf: return ReadElfFile(fileName, image, size);
        case DataFileType::Binary: break;
    }
    return ReadBinaryFile(fileName, image, size);
}

FileResult WriteDataFile(const std::string& fileName, int filterIndex, const uint8_t* image, int32_t size) {
    switch (DataFileTypeOf(filterIndex)) {
        case DataFileType::IntelHex: return WriteIntelHexFile(fileName, image, size);
        case DataFileType::SRecord: return WriteSRecordFile(fileName, image, size);
        case DataFileType::Elf: return FileFormatError;
        case DataFileType::Binary: break;
    }
    return WriteBinaryFile(fileName, image, size);
}

}  // namespace kestrin
