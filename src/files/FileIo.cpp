#include "files/FileIo.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <system_error>

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

// Creates a new file; fails when the name exists already.
FileHandle CreateExclusive(const fs::path& path) {
#ifdef _WIN32
    return FileHandle(_wfopen(path.c_str(), L"wbx"));
#else
    return FileHandle(std::fopen(path.c_str(), "wbx"));
#endif
}

// Writes all bytes and closes; false on any error, the close's own included
// (buffered data can still fail to reach the disk there).
bool WriteAndClose(FileHandle file, const void* data, std::size_t count) {
    bool ok = count == 0 || std::fwrite(data, 1, count, file.get()) == count;
    ok = std::fflush(file.get()) == 0 && ok;
    ok = std::ferror(file.get()) == 0 && ok;
    return std::fclose(file.release()) == 0 && ok;
}

// The file a write really replaces: the end of a chain of symbolic links, so
// that the link itself survives.
fs::path ResolveTarget(const fs::path& target) {
    std::error_code ec;
    fs::path path = target;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(path, ec)); ++hops) {
        fs::path next = fs::read_symlink(path, ec);
        if (ec) break;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path;
}

// A file that could not be opened for writing is not replaced either: write
// protection keeps meaning what the user set it for. (Where the platform has no
// such check, replacing a read-only file fails by itself.)
bool MayReplace(const fs::path& target) {
#ifdef _WIN32
    (void)target;
    return true;
#else
    return ::access(target.c_str(), W_OK) == 0 || errno == ENOENT;
#endif
}

fs::path TemporarySibling(const fs::path& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    const auto ticks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    const unsigned long long tag = (ticks * 0x9E3779B97F4A7C15ull) ^ (counter++ * 7919u + attempt);
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%012llx.tmp", tag & 0xFFFFFFFFFFFFull);
    fs::path name = target.filename();
    name += suffix;
    return target.parent_path() / (fs::path(".") += name);
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

FileResult ReplaceFile(const std::string& fileName, const void* data, std::size_t count) {
    if (fileName.empty()) return FileIoError;
    fs::path temporary;
    std::error_code ec;
    try {
        const fs::path target = ResolveTarget(PathFromUtf8(fileName));
        if (!target.has_filename() || !MayReplace(target)) return FileIoError;
        FileHandle file;
        for (unsigned attempt = 0; attempt < 8 && !file; ++attempt) {
            fs::path candidate = TemporarySibling(target, attempt);
            file = CreateExclusive(candidate);
            if (file) temporary = std::move(candidate);
        }
        if (!file) return FileIoError;
        const fs::file_status old = fs::status(target, ec);
        if (WriteAndClose(std::move(file), data, count)) {
            if (fs::is_regular_file(old)) fs::permissions(temporary, old.permissions(), ec);
            fs::rename(temporary, target, ec);
            if (!ec) return FileOk;
        }
    } catch (const std::exception&) {
    }
    if (!temporary.empty()) fs::remove(temporary, ec);
    return FileIoError;
}

}  // namespace kestrin
