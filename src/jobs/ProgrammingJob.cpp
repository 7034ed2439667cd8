#include "jobs/ProgrammingJob.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "devices/Programmer.h"
#include "jobs/BackupJournal.h"
#include "files/FileExchg.h"
#include "files/FileIo.h"
#include "files/FileResult.h"
#include "files/MemoryImage.h"
#include "files/FileSniff.h"

namespace kestrin {

const char* const kCantOpenText = "Can't open file!";
const char* const kFileEmptyText = "File is empty!";
const char* const kRangeText = "File size exceeds memory range with given start address!";

namespace {

// Images and start addresses are 16 bits wide on every front.
constexpr int64_t kAddressSpace = 0x10000;

TJobOutcome Refusal(std::string message, bool informational = false) {
    TJobOutcome outcome;
    outcome.Result = TJobResult::Refused;
    outcome.Message = std::move(message);
    outcome.Informational = informational;
    return outcome;
}

// What no chip can be asked: a type without routines, a memory it lacks, a
// block beyond its memory.
std::optional<std::string> ProfileRefusal(const TProfile& profile) {
    const std::string name = ControllerName(profile.Type);
    if (name.empty())
        return "The profile \"" + profile.Name + "\" has the unknown controller type " + std::to_string(profile.Type) +
               "!";
    if (!HasWriteRoutine(profile.Type)) return "Writing to the " + name + " is not supported yet!";
    return std::nullopt;
}

TProgParams ParamsFor(const TJobRequest& request, TRunReport& report, const TStopSignal* stop) {
    TProgParams params = ProfileBlock(request.Profile);
    params.StartAddress = request.StartAddress;
    params.EEPROM = request.EEPROM;
    params.Verify = request.Verify;
    params.Backup = request.Backup;
    params.Report = &report;
    params.Stop = stop;
    return params;
}

// Reads a routine's result and its report into the outcome.
void Conclude(TJobOutcome& outcome, ProgResult result, TRunReport& report, const TBackupJournal* journal = nullptr) {
    outcome.RoutineResult = result;
    outcome.BytesWritten = report.BytesWritten;
    outcome.FirstDifference = report.FirstDifference;
    // A backup that is not back in the chip is never an "Ok".
    if (report.PendingBackup && result == ProgOk) result = ProgVerifyFailed;
    switch (result) {
        case ProgOk:
            outcome.Result = TJobResult::Ok;
            outcome.Status = "Ok";
            outcome.Message = "Ok";
            break;
        case ProgVerifyFailed:
            outcome.Result = TJobResult::VerifyFailed;
            outcome.Status = ProgResultText(result);
            outcome.Message = report.FirstDifference ? DifferenceText(*report.FirstDifference)
                              : report.RestoreFailed ? "the backup read back differently after it was written back"
                                                     : "Verify failed";
            break;
        case ProgNoDevice:
            outcome.Result = TJobResult::NoDevice;
            outcome.Status = ProgResultText(result);
            outcome.Message = report.LinkLost   ? "the adapter went away during the run"
                              : report.NoAnswer ? "the target did not hold the byte written"
                                                : "no device";
            break;
        case ProgStopped:
            outcome.Result = TJobResult::Stopped;
            outcome.Status = ProgResultText(result);
            outcome.Message = "stopped";
            break;
        default:
            // Refused by the routine before anything was written.
            outcome.Result = TJobResult::Refused;
            outcome.Message = report.Refusal.empty() ? std::string(kRangeText) : report.Refusal;
            outcome.LockedChip = report.LockedChip;
            break;
    }
    if (report.PendingBackup) {
        const std::string memory = MemoryName(report.PendingBackup->EEPROM);
        if (journal != nullptr && !journal->File().empty()) {
            outcome.BackupFile = journal->File();
            outcome.Message += "; the backup of the " + memory + " is not back in the chip and is kept in " +
                               outcome.BackupFile + " (kestrin /R=1 writes it back)";
        } else {
            outcome.Message += "; the backup of the " + memory + " could not be written back";
        }
    }
    if (journal != nullptr && !journal->Leftover().empty())
        outcome.Message += "; the restored backup's file " + journal->Leftover() + " could not be removed";
}

}  // namespace

TProgParams ProfileBlock(const TProfile& profile) {
    TProgParams params;
    params.SCK = profile.SCK;
    params.MISO = profile.MISO;
    params.MOSI = profile.MOSI;
    params.WaitFlash = profile.WaitFlash;
    params.WaitEEPROM = profile.WaitEEPROM;
    params.WaitErase = profile.WaitErase;
    params.TargetClock = profile.TargetClock;
    return params;
}

const char* MemoryName(bool eeprom) { return eeprom ? "E²PROM" : "Flash"; }

std::string DifferenceText(const TDifference& difference) {
    char text[64];
    std::snprintf(text, sizeof text, "Verify failed at %04Xh: wrote %02X, read %02X",
                  static_cast<unsigned>(difference.Address), difference.Wrote, difference.Read);
    return text;
}

int64_t MemoryLimit(uint8_t type, bool eeprom) {
    // The 8051 parts address 16 bits; the AVR routines reach as far as their
    // family's largest part (the attached part is checked by its signature).
    return IsAvrType(type) ? MemorySize(type, eeprom) : std::min<int64_t>(MemorySize(type, eeprom), kAddressSpace);
}

std::optional<std::string> RangeRefusal(uint8_t type, bool eeprom, int64_t start, int64_t size) {
    const int64_t limit = MemoryLimit(type, eeprom);
    if (limit <= 0) {
        const std::string name = ControllerName(type);
        return "The " + (name.empty() ? std::string("chosen controller") : name) + " has no " + MemoryName(eeprom) +
               "!";
    }
    if (start >= 0 && size >= 0 && start + size <= limit) return std::nullopt;
    const std::string name = ControllerName(type);
    return RangeRefusalText(size, start, limit, "the " + name + "'s " + MemoryName(eeprom));
}

namespace {

// Reads the request's file into contents; a file chosen as binary whose bytes
// are HEX or S-record text or an ELF program is asked about first.
int32_t ReadRequestFile(const TJobRequest& request, DataFileContents& contents, int& fileType, std::string& refusal) {
    fileType = request.FileType;
    int32_t result = ReadDataFileContents(request.FileName, fileType, contents);
    if (result != FileOk || request.TypeExplicit || DataFileTypeOf(fileType) != DataFileType::Binary) return result;
    const DataFileType sniffed = SniffDataFileType(contents.image.bytes);
    if (sniffed == DataFileType::Binary) return result;
    const std::string question = SniffedFormatQuestion(sniffed);
    if (!request.AskFormat) {
        refusal = question;
        return result;
    }
    if (!request.AskFormat(question)) return result;
    contents = DataFileContents{};
    fileType = FilterIndexOf(sniffed);
    return ReadDataFileContents(request.FileName, fileType, contents);
}

}  // namespace

namespace {

// What a write puts into the chip, and what its file says about it.
struct TWriteImage {
    std::vector<uint8_t> Bytes;
    int32_t FileResult = FileOk;
    // A binary file that could be measured but not read: its length, for
    // "Can't open file!".
    int32_t UnreadLength = 0;
    std::string SniffRefusal;                      // a binary-typed file that holds records, not asked
    std::optional<uint32_t> Beyond;                // the first address the file gives beyond the memory
    std::optional<std::array<uint8_t, 3>> Signature;  // an ELF program's
};

TWriteImage ReadWriteImage(const TJobRequest& request) {
    TWriteImage out;
    if (request.Image) {
        out.Bytes = *request.Image;
        return out;
    }
    DataFileContents contents;
    int fileType = request.FileType;
    out.FileResult = ReadRequestFile(request, contents, fileType, out.SniffRefusal);
    if (out.FileResult == FileIoError && DataFileTypeOf(fileType) == DataFileType::Binary) {
        std::error_code error;
        const auto length = std::filesystem::file_size(PathFromUtf8(request.FileName), error);
        if (!error && length <= static_cast<std::uintmax_t>(INT32_MAX)) out.UnreadLength = static_cast<int32_t>(length);
    }
    if (out.FileResult != FileOk) return out;
    // An ELF program carries its E²PROM beside the Flash; an ELF without one
    // has nothing for the E²PROM.
    const DataFileType type = DataFileTypeOf(fileType);
    MemoryImage chosen;
    if (request.EEPROM && type == DataFileType::Elf) {
        if (contents.eeprom) chosen = std::move(*contents.eeprom);
    } else {
        chosen = std::move(contents.image);
    }
    // A file that gives addresses is refused at the first one beyond the
    // memory; a binary one by its size.
    const int64_t limit = MemoryLimit(request.Profile.Type, request.EEPROM);
    if (limit > 0 && !chosen.Empty() && type != DataFileType::Binary) {
        out.Beyond = FirstAddressBeyond(chosen, static_cast<uint32_t>(std::max(request.StartAddress, 0)),
                                        static_cast<uint32_t>(limit));
    }
    out.Bytes = std::move(chosen.bytes);
    out.Signature = contents.signature;
    return out;
}

}  // namespace

TJobOutcome RunWriteJob(const TJobRequest& request, IProgress& progress, const TStopSignal* stop) {
    TWriteImage image = ReadWriteImage(request);
    const auto size = image.Bytes.empty() ? image.UnreadLength : static_cast<int32_t>(image.Bytes.size());
    auto withFile = [&](TJobOutcome outcome) {
        outcome.FileResult = image.FileResult;
        outcome.FileSize = size;
        return outcome;
    };
    const uint8_t type = request.Profile.Type;
    if (!image.SniffRefusal.empty()) return withFile(Refusal(image.SniffRefusal));
    if (image.FileResult == FileIoError && size > 0) return withFile(Refusal(kCantOpenText));
    if (image.FileResult != FileOk || image.Bytes.empty()) return withFile(Refusal(kFileEmptyText, true));
    const bool avr = IsAvrType(type);
    if (request.StartAddress < 0 || (!avr && !image.Beyond && int64_t{request.StartAddress} + size > kAddressSpace))
        return withFile(Refusal(RangeRefusalText(size, request.StartAddress, kAddressSpace, "the address space")));
    if (auto refused = ProfileRefusal(request.Profile)) return withFile(Refusal(*refused));
    if (image.Beyond) {
        const auto limit = static_cast<uint32_t>(MemoryLimit(type, request.EEPROM));
        return withFile(Refusal(BeyondMemoryText(*image.Beyond, limit, MemoryName(request.EEPROM))));
    }
    if (auto refused = RangeRefusal(type, request.EEPROM, request.StartAddress, size))
        return withFile(Refusal(*refused));
    if (image.Signature && !avr)
        return withFile(Refusal("This ELF program is built for an AVR, not for the " + std::string(ControllerName(type)) +
                                "!"));

    TRunReport report;
    TProgParams params = ParamsFor(request, report, stop);
    params.Data = image.Bytes.data();
    params.Size = size;
    if (image.Signature) params.Signature = &*image.Signature;
    // A backup taken before the chip erase goes to disk before the erase.
    TBackupJournal journal(type, request.Port);
    params.Keeper = &journal;
    const ProgResult result = WriteByType(type, params, progress);
    TJobOutcome outcome;
    Conclude(outcome, result, report, &journal);
    return withFile(std::move(outcome));
}

TJobOutcome RunReadJob(const TJobRequest& request, IProgress& progress, const TStopSignal* stop) {
    if (request.Size < 1) return Refusal("Nothing to read: the size is 0!", true);
    if (auto refused = ProfileRefusal(request.Profile)) return Refusal(*refused);
    if (auto refused = RangeRefusal(request.Profile.Type, request.EEPROM, request.StartAddress, request.Size))
        return Refusal(*refused);
    TRunReport report;
    TProgParams params = ParamsFor(request, report, stop);
    params.Size = request.Size;
    std::vector<uint8_t> data;
    const ProgResult result = ReadByType(request.Profile.Type, params, progress, data);
    TJobOutcome outcome;
    Conclude(outcome, result, report);
    if (result == ProgOk && data.size() == static_cast<size_t>(request.Size)) {
        outcome.Data = std::move(data);
    } else if (outcome.Result == TJobResult::Ok) {
        outcome.Result = TJobResult::VerifyFailed;
        outcome.Status = ProgResultText(ProgVerifyFailed);
        outcome.Message = "the read gave fewer bytes than asked for";
    }
    return outcome;
}

TJobOutcome RoutineOutcome(ProgResult result, TRunReport& report) {
    TJobOutcome outcome;
    Conclude(outcome, result, report);
    return outcome;
}

std::optional<std::string> ProfileRefusalText(const TProfile& profile) { return ProfileRefusal(profile); }

}  // namespace kestrin
