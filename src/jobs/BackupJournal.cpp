#include "jobs/BackupJournal.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "devices/Detect.h"
#include "devices/Programmer.h"
#include "devices/Unit89S8253.h"
#include "files/DurableFile.h"

namespace kestrin {

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[8] = {'K', 'E', 'S', 'T', 'B', 'K', 'U', 'P'};
constexpr uint16_t kVersion = 1;
constexpr const char* kExtension = ".kbackup";
constexpr size_t kFixedHeader = 8 + 2 + 1 + 1 + 4 + 4 + 8 + 2;
// The largest memory a backup is taken of (12 KB of Flash) with ample room.
constexpr uint32_t kMaxData = 1u << 20;

void Put(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t Get(const uint8_t* p, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

std::string Getenv(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string TimeText(int64_t seconds, const char* format) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

// "AT89S8253-eeprom-20250301-140211-1234-0.kbackup": sorts by time, unique per process and run.
std::string NewFileName(const TBackupRecord& record) {
    static std::atomic<unsigned> counter{0};
    const std::string name = ControllerName(record.ControllerType);
#ifndef _WIN32
    const long pid = static_cast<long>(::getpid());
#else
    const long pid = 0;
#endif
    return (name.empty() ? std::string("controller") : name) + (record.EEPROM ? "-eeprom-" : "-flash-") +
           TimeText(record.Time, "%Y%m%d-%H%M%S") + "-" + std::to_string(pid) + "-" + std::to_string(counter++) +
           kExtension;
}

TPendingBackup Damaged(TPendingBackup backup, std::string problem) {
    backup.Damaged = true;
    backup.Problem = std::move(problem);
    return backup;
}

TJobOutcome Outcome(TJobResult result, std::string status, std::string message) {
    TJobOutcome outcome;
    outcome.Result = result;
    outcome.Status = std::move(status);
    outcome.Message = std::move(message);
    return outcome;
}

}  // namespace

std::string BackupFolder() {
    std::string base = Getenv("XDG_STATE_HOME");
    if (base.empty() || !fs::path(base).is_absolute()) {
#ifdef _WIN32
        base = Getenv("LOCALAPPDATA");
#else
        const std::string home = Getenv("HOME");
        base = home.empty() ? std::string() : home + "/.local/state";
#endif
    }
    if (base.empty()) return {};
    return (fs::path(base) / "kestrin").string();
}

std::vector<uint8_t> EncodeBackup(const TBackupRecord& record) {
    const std::string port = record.Port.substr(0, 0xFFFF);
    std::vector<uint8_t> out(std::begin(kMagic), std::end(kMagic));
    out.reserve(kFixedHeader + port.size() + record.Data.size());
    Put(out, kVersion, 2);
    Put(out, record.ControllerType, 1);
    Put(out, record.EEPROM ? 1 : 0, 1);
    Put(out, record.Data.size(), 4);
    Put(out, Crc32(record.Data.data(), record.Data.size()), 4);
    Put(out, static_cast<uint64_t>(record.Time), 8);
    Put(out, port.size(), 2);
    out.insert(out.end(), port.begin(), port.end());
    out.insert(out.end(), record.Data.begin(), record.Data.end());
    return out;
}

bool WriteBackupFile(const std::string& folder, const TBackupRecord& record, std::string& file, std::string& error) {
    if (folder.empty()) {
        error = "there is no folder for it (neither XDG_STATE_HOME nor HOME is set)";
        return false;
    }
    if (!MakeFolders(folder, &error)) return false;
    const std::vector<uint8_t> bytes = EncodeBackup(record);
    const std::string path = (fs::path(folder) / NewFileName(record)).string();
    if (!ReplaceFileDurably(path, bytes.data(), bytes.size(), &error)) return false;
    file = path;
    return true;
}

TPendingBackup ReadBackupFile(const std::string& file) {
    TPendingBackup backup;
    backup.File = file;
    std::ifstream in(fs::path(file), std::ios::binary);
    if (!in) return Damaged(backup, "cannot be read");
    std::vector<uint8_t> bytes;
    bytes.resize(kFixedHeader + 0xFFFF + kMaxData + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (bytes.size() < kFixedHeader || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return Damaged(backup, "not a Kestrin backup (bad magic)");
    const uint8_t* p = bytes.data() + sizeof kMagic;
    const auto version = static_cast<uint16_t>(Get(p, 2));
    if (version != kVersion) return Damaged(backup, "unknown format version " + std::to_string(version));
    TBackupRecord& record = backup.Record;
    record.ControllerType = p[2];
    record.EEPROM = p[3] != 0;
    const auto size = static_cast<uint32_t>(Get(p + 4, 4));
    const auto crc = static_cast<uint32_t>(Get(p + 8, 4));
    record.Time = static_cast<int64_t>(Get(p + 12, 8));
    const auto portLength = static_cast<size_t>(Get(p + 20, 2));
    if (bytes.size() != kFixedHeader + portLength + size)
        return Damaged(backup, "size mismatch (" + std::to_string(bytes.size()) + " bytes in the file, " +
                                   std::to_string(kFixedHeader + portLength + size) + " in its header)");
    record.Port.assign(reinterpret_cast<const char*>(bytes.data() + kFixedHeader), portLength);
    const uint8_t* data = bytes.data() + kFixedHeader + portLength;
    if (Crc32(data, size) != crc) return Damaged(backup, "CRC mismatch");
    if (MemorySize(record.ControllerType, record.EEPROM) != static_cast<int32_t>(size))
        return Damaged(backup, "its size does not fit the controller's memory");
    record.Data.assign(data, data + size);
    return backup;
}

std::vector<TPendingBackup> FindPendingBackups(const std::string& folder) {
    std::vector<TPendingBackup> found;
    if (folder.empty()) return found;
    RemoveInterruptedSaves(folder);
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(folder), ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == kExtension && it->is_regular_file(ec)) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) found.push_back(ReadBackupFile(file.string()));
    std::stable_sort(found.begin(), found.end(), [](const TPendingBackup& a, const TPendingBackup& b) {
        return a.Record.Time < b.Record.Time;
    });
    return found;
}

bool RemoveBackupFile(const std::string& file) {
    std::error_code ec;
    if (!fs::remove(fs::path(file), ec)) return false;
    SyncFolder(fs::path(file).parent_path().string());
    return true;
}

std::string PendingBackupText(const TPendingBackup& backup) {
    if (backup.Damaged) return backup.File + " is damaged (" + backup.Problem + "); it is kept and never written back";
    const TBackupRecord& r = backup.Record;
    const std::string name = ControllerName(r.ControllerType);
    std::string text = std::string("a backup of the ") + MemoryName(r.EEPROM) + " of an " +
                       (name.empty() ? std::string("unknown controller") : name) + " (" +
                       std::to_string(r.Data.size()) + " bytes, taken " + TimeText(r.Time, "%Y-%m-%d %H:%M:%S");
    if (!r.Port.empty()) text += " on " + r.Port;
    return text + ") waits in " + backup.File;
}

TBackupJournal::TBackupJournal(uint8_t controllerType, std::string port, std::string folder)
    : type_(controllerType), port_(std::move(port)), folder_(std::move(folder)) {}

bool TBackupJournal::Keep(const TStrandedBackup& backup, std::string& reason) {
    TBackupRecord record;
    record.ControllerType = type_;
    record.EEPROM = backup.EEPROM;
    record.Time = static_cast<int64_t>(std::time(nullptr));
    record.Port = port_;
    record.Data = backup.Data;
    std::string error;
    if (WriteBackupFile(folder_, record, file_, error)) return true;
    reason = std::string("The backup of the ") + MemoryName(backup.EEPROM) + " could not be saved (" + error +
             "), so the chip was not erased and nothing was written.";
    return false;
}

void TBackupJournal::Restored() {
    if (file_.empty()) return;
    if (!RemoveBackupFile(file_)) leftover_ = file_;
    file_.clear();
}

TJobOutcome RestorePendingBackup(const TPendingBackup& backup, const TProfile& profile, IProgress& progress) {
    if (backup.Damaged)
        return Outcome(TJobResult::Refused, {}, backup.File + " is damaged (" + backup.Problem + ") and is not written back.");
    const TBackupRecord& r = backup.Record;
    const std::string wanted = ControllerName(r.ControllerType);
    if (r.ControllerType != ctAT89S8253)
        return Outcome(TJobResult::Refused, {}, "Backups of the " + wanted + " cannot be written back.");
    if (profile.Type != r.ControllerType)
        return Outcome(TJobResult::Refused, {},
                       "The backup in " + backup.File + " belongs to an " + wanted + "; choose a profile of that type.");
    const TDetected detected = DetectController(profile.SCK, profile.MISO, profile.MOSI);
    if (detected.State == TDetected::TState::Nothing)
        return Outcome(TJobResult::NoDevice, "no device", "no target answered; the backup stays in " + backup.File);
    if (detected.State != TDetected::TState::Known || detected.Type != r.ControllerType)
        return Outcome(TJobResult::Refused, {},
                       "The attached chip is " + DetectedText(detected) + ", not an " + wanted + "; the backup stays in " +
                           backup.File + ".");

    TRunReport report;
    TBackupJournal journal(r.ControllerType, r.Port);
    TProgParams params = ProfileBlock(profile);
    params.Data = r.Data.data();
    params.Size = static_cast<int32_t>(r.Data.size());
    params.EEPROM = r.EEPROM;
    params.Report = &report;
    const ProgResult result = WriteBack89S8253(params, progress);
    const std::string memory = MemoryName(r.EEPROM);
    switch (result) {
        case ProgOk: {
            TJobOutcome outcome = Outcome(TJobResult::Ok, "Ok", "the " + memory + " is back in the chip");
            if (!RemoveBackupFile(backup.File))
                outcome.Message += "; " + backup.File + " could not be removed";
            outcome.BytesWritten = params.Size;
            return outcome;
        }
        case ProgVerifyFailed:
            return Outcome(TJobResult::VerifyFailed, ProgResultText(result),
                           "the " + memory + " read back differently after the restore; the backup stays in " +
                               backup.File);
        case ProgNoDevice:
            return Outcome(TJobResult::NoDevice, ProgResultText(result),
                           std::string(report.LinkLost ? "the adapter went away" : "no device") +
                               " during the restore; the backup stays in " + backup.File);
        default:
            return Outcome(TJobResult::Refused, {}, "the backup in " + backup.File + " was not written back");
    }
}

bool SaveBackupAs(const TPendingBackup& backup, const std::string& fileName, std::string& error) {
    if (backup.Damaged) {
        error = backup.File + " is damaged (" + backup.Problem + ")";
        return false;
    }
    return ReplaceFileDurably(fileName, backup.Record.Data.data(), backup.Record.Data.size(), &error);
}

}  // namespace kestrin
