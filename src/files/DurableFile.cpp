#include "files/DurableFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <fstream>
#endif

namespace kestrin {

namespace fs = std::filesystem;

namespace {

constexpr const char* kTempSuffix = ".kestrin-tmp";
std::atomic<int> InjectedWriteError{0};

fs::path PathOf(const std::string& name) { return fs::path(std::u8string(name.begin(), name.end())); }

std::string TextOf(const fs::path& path) {
    const std::u8string u = path.u8string();
    return std::string(u.begin(), u.end());
}

std::string ErrorText(int error) { return std::generic_category().message(error); }

bool Fail(std::string* error, const std::string& text) {
    if (error != nullptr) *error = text;
    return false;
}

fs::path ResolveLinks(const fs::path& target) {
    std::error_code ec;
    fs::path path = target;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(path, ec)); ++hops) {
        fs::path next = fs::read_symlink(path, ec);
        if (ec) break;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path;
}

fs::path TemporaryFor(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
#ifndef _WIN32
    const long pid = static_cast<long>(::getpid());
#else
    const long pid = 0;
#endif
    fs::path name = ".";
    name += target.filename();
    name += "." + std::to_string(pid) + "." + std::to_string(counter++) + kTempSuffix;
    return target.parent_path() / name;
}

#ifndef _WIN32

bool WriteAll(int fd, const uint8_t* data, size_t size, int& err) {
    if (const int injected = InjectedWriteError.load()) {
        err = injected;
        return false;
    }
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Write protection keeps meaning what the user set it for, also for root,
// whom the permission check lets through.
bool WriteProtected(const fs::path& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) return false;
    return ::access(target.c_str(), W_OK) != 0 || (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0);
}

bool ProcessEnded(long pid) { return pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH); }

#endif

}  // namespace

std::string ReplaceTarget(const std::string& fileName) { return TextOf(ResolveLinks(PathOf(fileName))); }

void FailDurableWritesWith(int error) { InjectedWriteError.store(error); }

bool MakeFolders(const std::string& folder, std::string* error) {
    std::error_code ec;
    const fs::path path = PathOf(folder);
    if (fs::is_directory(path, ec)) return true;
    fs::create_directories(path, ec);
    if (ec) return Fail(error, "cannot create the folder " + folder + ": " + ec.message());
    if (path.has_parent_path()) SyncFolder(TextOf(path.parent_path()));
    return true;
}

#ifndef _WIN32

bool LockFileExclusive(int fd) {
    int result = 0;
    while ((result = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    return result == 0;
}

void SyncFolder(const std::string& folder) {
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
}

bool ReplaceFileDurably(const std::string& fileName, const void* data, std::size_t size, std::string* error) {
    if (fileName.empty()) return Fail(error, "no file name");
    const fs::path target = ResolveLinks(PathOf(fileName));
    if (!target.has_filename()) return Fail(error, fileName + " is not a file name");
    if (WriteProtected(target)) return Fail(error, TextOf(target) + " is write-protected");

    const fs::path temp = TemporaryFor(target);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return Fail(error, "cannot write in " + TextOf(target.parent_path()) + ": " + ErrorText(errno));
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 07777);

    int err = 0;
    bool ok = WriteAll(fd, static_cast<const uint8_t*>(data), size, err);
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        err = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return Fail(error, "cannot write " + TextOf(target) + ": " + ErrorText(err));
    }
    SyncFolder(TextOf(target.parent_path()));
    return true;
}

int RemoveInterruptedSaves(const std::string& folder) {
    std::error_code ec;
    int removed = 0;
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(PathOf(folder), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = TextOf(it->path().filename());
        const size_t suffix = name.size() >= std::strlen(kTempSuffix) ? name.size() - std::strlen(kTempSuffix) : 0;
        if (name.empty() || name[0] != '.' || suffix == 0 || name.compare(suffix, std::string::npos, kTempSuffix) != 0)
            continue;
        // ".<name>.<pid>.<n>": the pid is the second number from the end.
        const std::string stem = name.substr(0, suffix);
        const size_t lastDot = stem.rfind('.');
        const size_t pidDot = lastDot == std::string::npos || lastDot == 0 ? std::string::npos : stem.rfind('.', lastDot - 1);
        long pid = 0;
        if (pidDot != std::string::npos) pid = std::strtol(stem.c_str() + pidDot + 1, nullptr, 10);
        std::error_code timeError;
        const auto age = now - fs::last_write_time(it->path(), timeError);
        const bool old = !timeError && age > std::chrono::hours(1);
        if (!ProcessEnded(pid) && pid != static_cast<long>(::getpid()) && !old) continue;
        std::error_code removeError;
        if (fs::remove(it->path(), removeError)) ++removed;
    }
    if (removed > 0) SyncFolder(folder);
    return removed;
}

#else

void SyncFolder(const std::string&) {}

bool LockFileExclusive(int) { return true; }

bool ReplaceFileDurably(const std::string& fileName, const void* data, std::size_t size, std::string* error) {
    if (fileName.empty()) return Fail(error, "no file name");
    const fs::path target = ResolveLinks(PathOf(fileName));
    const fs::path temp = TemporaryFor(target);
    bool ok = InjectedWriteError.load() == 0;
    if (ok) {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        ok = out.is_open() && out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size)) &&
             out.flush();
    }
    std::error_code ec;
    if (ok) {
        fs::rename(temp, target, ec);
        ok = !ec;
    }
    if (!ok) {
        fs::remove(temp, ec);
        return Fail(error, "cannot write " + fileName);
    }
    return true;
}

int RemoveInterruptedSaves(const std::string&) { return 0; }

#endif

}  // namespace kestrin
