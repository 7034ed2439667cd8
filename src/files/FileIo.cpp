#include "files/FileIo.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <system_error>

#include "files/DurableFile.h"

#ifdef _WIN32
#include <share.h>
#else
#include <cerrno>
#include <unistd.h>
#endif

namespace kestrin {

namespace fs = std::filesystem;

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Others may read the file meanwhile but not write it (where the platform can say so).
FileHandle OpenForReading(const fs::path& path) {
#ifdef _WIN32
    return FileHandle(_wfsopen(path.c_str(), L"rb", _SH_DENYWR));
#else
    return FileHandle(std::fopen(path.c_str(), "rb"));
#endif
}

}  // namespace

fs::path PathFromUtf8(std::string_view fileName) {
    return fs::path(std::u8string(fileName.begin(), fileName.end()));
}

FileResult ReadWholeFile(const std::string& fileName, std::vector<uint8_t>& contents,
                         std::uintmax_t& length, std::uintmax_t maxLength) {
    contents.clear();
    length = 0;
    if (fileName.empty()) return FileIoError;
    try {
        const fs::path path = PathFromUtf8(fileName);
        std::error_code ec;
        if (!fs::is_regular_file(path, ec)) return FileIoError;
        FileHandle file = OpenForReading(path);
        if (!file) return FileIoError;
        const std::uintmax_t measured = fs::file_size(path, ec);
        if (ec) return FileIoError;
        length = measured;
        if (measured > maxLength) return FileIoError;
        if (measured == 0) return FileOk;
        std::vector<uint8_t> buffer(measured);
        if (std::fread(buffer.data(), 1, buffer.size(), file.get()) != buffer.size()) return FileIoError;
        contents = std::move(buffer);
        return FileOk;
    } catch (const std::exception&) {  // memory for the contents, or a name the platform rejects
        contents.clear();
        return FileIoError;
    }
}

std::string ReadFileForReader(const std::string& fileName, std::vector<uint8_t>& contents) {
    std::uintmax_t length = 0;
    if (ReadWholeFile(fileName, contents, length, kMaxDataFileLength) == FileOk) return {};
    contents.clear();
    if (length > kMaxDataFileLength) return "the file is larger than 2 GB";
    return "the file cannot be opened or read";
}

FileResult ReplaceFile(const std::string& fileName, const void* data, std::size_t count) {
    if (fileName.empty()) return FileIoError;
    return ReplaceFileDurably(fileName, data, count) ? FileOk : FileIoError;
}

}  // namespace kestrin
