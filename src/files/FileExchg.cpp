#include "files/FileExchg.h"

#include <limits>

#include "files/FileIo.h"
#include "files/IntelHex.h"

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

FileResult WriteBinaryFile(const std::string& fileName, const uint8_t* image, int32_t size) {
    if (fileName.empty() || image == nullptr || size <= 0) return FileNoData;
    return ReplaceFile(fileName, image, static_cast<std::size_t>(size));
}

FileResult ReadDataFile(const std::string& fileName, int filterIndex, std::vector<uint8_t>& image, int32_t& size) {
    return DataFileTypeOf(filterIndex) == DataFileType::IntelHex ? ReadIntelHexFile(fileName, image, size)
                                                                 : ReadBinaryFile(fileName, image, size);
}

FileResult WriteDataFile(const std::string& fileName, int filterIndex, const uint8_t* image, int32_t size) {
    return DataFileTypeOf(filterIndex) == DataFileType::IntelHex ? WriteIntelHexFile(fileName, image, size)
                                                                 : WriteBinaryFile(fileName, image, size);
}

}  // namespace kestrin
