#include "production/SerialCounter.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

#include "files/DurableFile.h"
#include "jobs/BackupJournal.h"

namespace kestrin {

namespace fs = std::filesystem;

namespace {

constexpr const char* kHeader = "# Kestrin serial-number counter; changed only by Kestrin, under its lock file.";

std::optional<uint64_t> Number(std::string_view text) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// "number pid started"
std::optional<TSerialHold> ParseHold(const std::string& text) {
    std::istringstream in(text);
    std::string number, pid, started;
    in >> number >> pid >> started;
    const auto n = Number(number);
    const auto p = Number(pid);
    if (!n || !p) return std::nullopt;
    return TSerialHold{*n, static_cast<long>(*p), started == "-" ? std::string() : started};
}

std::string HoldText(const TSerialHold& hold) {
    return std::to_string(hold.Number) + " " + std::to_string(hold.Pid) + " " +
           (hold.Started.empty() ? std::string("-") : hold.Started);
}

// Empty with error set for a file that is not a counter; a missing file is a
// fresh counter at the series' first number.
std::optional<TSerialCounterState> Load(const std::string& file, const TSerialSeries& series, std::string& error) {
    TSerialCounterState state;
    state.Next = series.First;
    std::ifstream in(file);
    if (!in) {
        std::error_code ec;
        if (!fs::exists(file, ec)) return state;
        error = "the serial-number counter " + file + " cannot be read";
        return std::nullopt;
    }
    bool sawNext = false;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const size_t eq = line.find('=');
        const std::string key = line.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
        bool good = eq != std::string::npos;
        if (good && key == "next") {
            const auto n = Number(value);
            good = n.has_value();
            if (good) state.Next = *n;
            sawNext = good;
        } else if (good && key == "free") {
            const auto n = Number(value);
            good = n.has_value();
            if (good) state.Free.insert(*n);
        } else if (good && (key == "held" || key == "retired")) {
            const auto hold = ParseHold(value);
            good = hold.has_value();
            if (good) (key == "held" ? state.Held : state.Retired).push_back(*hold);
        } else {
            good = false;
        }
        if (!good) {
            error = "the serial-number counter " + file + " is damaged (\"" + line +
                    "\"); no number is handed out until it is mended";
            return std::nullopt;
        }
    }
    if (!sawNext) {
        error = "the serial-number counter " + file + " is damaged (no next number); no number is handed out until it is mended";
        return std::nullopt;
    }
    return state;
}

std::string Text(const TSerialCounterState& state) {
    std::string text = std::string(kHeader) + "\nnext=" + std::to_string(state.Next) + "\n";
    for (uint64_t n : state.Free) text += "free=" + std::to_string(n) + "\n";
    for (const TSerialHold& h : state.Held) text += "held=" + HoldText(h) + "\n";
    for (const TSerialHold& h : state.Retired) text += "retired=" + HoldText(h) + "\n";
    return text;
}

// An exclusive lock on "<counter>.lock", released when the object goes or the
// process ends in any way (so a killed process never leaves it locked).
class TCounterLock {
public:
    TCounterLock(const std::string& counterFile, std::string& error) {
#ifndef _WIN32
        const std::string name = counterFile + ".lock";
        fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) {
            error = "the lock " + name + " cannot be opened: " + std::strerror(errno);
            return;
        }
        if (!LockFileExclusive(fd_)) {
            error = "the lock " + name + " cannot be taken: " + std::strerror(errno);
            ::close(fd_);
            fd_ = -1;
        }
#else
        (void)counterFile;
        (void)error;
        fd_ = 0;
#endif
    }
    ~TCounterLock() {
#ifndef _WIN32
        if (fd_ >= 0) ::close(fd_);
#endif
    }
    TCounterLock(const TCounterLock&) = delete;
    TCounterLock& operator=(const TCounterLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

long OwnPid() {
#ifndef _WIN32
    return static_cast<long>(::getpid());
#else
    return 0;
#endif
}

}  // namespace

std::string ProductionFolder() { return BackupFolder(); }

std::string SerialCounterFile(const TSerialSeries& series, const std::string& folder) {
    const std::string name = "serial-" + std::to_string(series.First) + "-" + std::to_string(series.Step) + ".counter";
    return (fs::path(folder) / name).string();
}

std::string ProcessStartTime(long pid) {
#ifdef __linux__
    // Field 22 of /proc/<pid>/stat, after the command name in parentheses.
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return "";
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return "";
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && (fields >> field); ++i)
        if (i == 22) return field;
    return "";
#else
    (void)pid;
    return "";
#endif
}

bool HolderAlive(const TSerialHold& hold) {
#ifndef _WIN32
    if (hold.Pid <= 0) return false;
    if (::kill(static_cast<pid_t>(hold.Pid), 0) != 0 && errno != EPERM) return false;
#ifdef __linux__
    // A killed process its parent has not reaped yet is a zombie: dead all the same.
    std::ifstream in("/proc/" + std::to_string(hold.Pid) + "/stat");
    std::string stat;
    if (std::getline(in, stat)) {
        const size_t close = stat.rfind(')');
        if (close != std::string::npos && close + 2 < stat.size() && (stat[close + 2] == 'Z' || stat[close + 2] == 'X'))
            return false;
    }
#endif
    if (hold.Started.empty()) return true;
    const std::string started = ProcessStartTime(hold.Pid);
    return started.empty() || started == hold.Started;
#else
    (void)hold;
    return true;
#endif
}

TSerialCounter::TSerialCounter(std::string file, const TSerialSeries& series) : file_(std::move(file)), series_(series) {}

template <class Change>
bool TSerialCounter::Update(std::string& error, Change change) {
    newlyRetired_.clear();
    const std::string folder = fs::path(file_).parent_path().string();
    if (!folder.empty() && !MakeFolders(folder, &error)) return false;
    TCounterLock lock(file_, error);
    if (!lock.Held()) return false;
    auto state = Load(file_, series_, error);
    if (!state) return false;
    // Holders that ended without a word: their numbers are retired for good.
    for (auto it = state->Held.begin(); it != state->Held.end();) {
        if (HolderAlive(*it)) {
            ++it;
            continue;
        }
        newlyRetired_.push_back(*it);
        state->Retired.push_back(*it);
        it = state->Held.erase(it);
    }
    if (!change(*state)) return false;
    const std::string text = Text(*state);
    if (!ReplaceFileDurably(file_, text.data(), text.size(), &error)) {
        error = "the serial-number counter " + file_ + " cannot be written: " + error;
        return false;
    }
    return true;
}

std::optional<uint64_t> TSerialCounter::Take(std::string& error) {
    std::optional<uint64_t> taken;
    const bool ok = Update(error, [&](TSerialCounterState& state) {
        uint64_t number = 0;
        if (!state.Free.empty()) {
            number = *state.Free.begin();
            state.Free.erase(state.Free.begin());
        } else {
            number = state.Next;
            const uint64_t limit = SerialLimit(series_.Length, series_.Format);
            if (number > limit) {
                error = "the serial numbers are used up: " + std::to_string(number) + " does not fit in " +
                        std::to_string(series_.Length) + " bytes as " + SerialFormatName(series_.Format);
                return false;
            }
            // Past the last number the counter stays beyond the limit, so it never wraps round.
            state.Next = number > UINT64_MAX - series_.Step ? UINT64_MAX : number + series_.Step;
        }
        const long pid = OwnPid();
        state.Held.push_back({number, pid, ProcessStartTime(pid)});
        taken = number;
        return true;
    });
    return ok ? taken : std::nullopt;
}

bool TSerialCounter::Consume(uint64_t number, std::string& error) {
    return Update(error, [&](TSerialCounterState& state) {
        std::erase_if(state.Held, [&](const TSerialHold& h) { return h.Number == number && h.Pid == OwnPid(); });
        return true;
    });
}

bool TSerialCounter::GiveBack(uint64_t number, std::string& error) {
    return Update(error, [&](TSerialCounterState& state) {
        const auto before = state.Held.size();
        std::erase_if(state.Held, [&](const TSerialHold& h) { return h.Number == number && h.Pid == OwnPid(); });
        // Only a number this process held goes back; anything else would hand out one twice.
        if (state.Held.size() != before) state.Free.insert(number);
        return true;
    });
}

std::optional<TSerialCounterState> TSerialCounter::State(std::string& error) const {
    TCounterLock lock(file_, error);
    if (!lock.Held()) return std::nullopt;
    return Load(file_, series_, error);
}

std::optional<uint64_t> TSerialCounter::Peek(std::string& error) const {
    std::error_code ec;
    if (!fs::exists(file_, ec)) return series_.First;
    auto state = State(error);
    if (!state) return std::nullopt;
    if (!state->Free.empty()) return *state->Free.begin();
    if (state->Next > SerialLimit(series_.Length, series_.Format)) {
        error = "the serial numbers are used up";
        return std::nullopt;
    }
    return state->Next;
}

std::optional<uint64_t> NextSerialNumber(const TProfile& profile) {
    std::string error;
    const auto series = ProfileSerial(profile, error);
    if (!series) return std::nullopt;
    return TSerialCounter(SerialCounterFile(*series), *series).Peek(error);
}

}  // namespace kestrin
