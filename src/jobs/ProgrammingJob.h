// The programming job: one request in, one outcome out. Every front that
// runs a chip (the main window's Reload && Write, the hex view's Write µC and
// Read µC, the unattended run) goes through it, so the checks made before
// anything is sent, the way a routine's result is read and the words shown
// for it are the same everywhere.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/UnitConfig.h"
#include "devices/ProgRun.h"
#include "devices/Progress.h"

namespace kestrin {

// How a job ended. The values are the exit codes of an unattended run.
enum class TJobResult : int {
    Ok = 0,            // written (and verified, where asked) or read
    Refused = 1,       // refused before anything was sent to the chip
    VerifyFailed = 2,  // verification found a difference
    NoDevice = 3,      // the target did not answer, or the adapter went away
    Stopped = 4,       // stopped on request
};

struct TJobRequest {
    // The data of a write: a file and the type entry it was chosen under,
    // read afresh by the job, or an image already in memory (the hex view).
    std::string FileName;
    int FileType = 1;
    std::optional<std::vector<uint8_t>> Image;
    // A file chosen as binary that holds HEX or S-record text or an ELF
    // program: asked here (true: read it as that format), or, without a
    // question, refused with the question's sentence. Not asked when the type
    // was given explicitly.
    bool TypeExplicit = false;
    std::function<bool(const std::string& question)> AskFormat;

    bool EEPROM = false;
    int32_t StartAddress = 0;
    int32_t Size = 0;  // bytes to read (reads only)
    bool Verify = false;
    bool Backup = false;
    TProfile Profile;
    std::string Port;  // for the messages; the adapter is already connected
};

struct TJobOutcome {
    TJobResult Result = TJobResult::Refused;
    // The routine's code when one ran; -1 when the job was refused before.
    int32_t RoutineResult = -1;
    // The short word for a status panel ("Ok", "failed", "no device",
    // "stopped"); empty for a refusal, which has a message box instead.
    std::string Status;
    // One line that says what happened, with the detail: the refusal text,
    // "Verify failed at 0123h: wrote 5A, read 52", "the adapter went away".
    std::string Message;
    // A refusal shown as information rather than as an error ("File is empty!").
    bool Informational = false;

    // What reading the file gave (writes from a file only).
    int32_t FileResult = 0;
    int32_t FileSize = 0;

    int32_t BytesWritten = 0;
    std::optional<TDifference> FirstDifference;
    // The backup journal file of a backup that is not back in the chip (the
    // run was cut after the erase, or the restore read back differently);
    // the message names it too. Empty when every backup is back.
    std::string BackupFile;
    // A read's bytes.
    std::vector<uint8_t> Data;
    // Refused because the chip is a locked AT90S (signature 00 00 00): a chip
    // erase, which the user must agree to, unlocks it.
    bool LockedChip = false;

    int ExitCode() const { return static_cast<int>(Result); }
    bool Ok() const { return Result == TJobResult::Ok; }
};

// The texts of the refusals before a run.
extern const char* const kCantOpenText;   // "Can't open file!"
extern const char* const kFileEmptyText;  // "File is empty!"
extern const char* const kRangeText;      // "File size exceeds memory range with given start address!"

// The one range rule of every job: start + size must lie within the chip's
// memory (and within 64 KB). Empty when the block fits; else the refusal,
// naming the size, the start address and the memory size.
std::optional<std::string> RangeRefusal(uint8_t type, bool eeprom, int64_t start, int64_t size);

// Largest start address + size a block may reach in the memory (0 when the
// type has no such memory).
int64_t MemoryLimit(uint8_t type, bool eeprom);

// Reads the file (unless the request carries an image), checks the request,
// runs the write routine of the profile's type and reports.
TJobOutcome RunWriteJob(const TJobRequest& request, IProgress& progress, const TStopSignal* stop = nullptr);

// Reads Size bytes from StartAddress on out of the chosen memory.
TJobOutcome RunReadJob(const TJobRequest& request, IProgress& progress, const TStopSignal* stop = nullptr);

// The outcome of a routine that ran, from its result and its report (for
// jobs built on other routines than the write and the read).
TJobOutcome RoutineOutcome(ProgResult result, TRunReport& report);

// Why no routine can run with this profile (an unknown controller type, one
// without routines); empty when one can.
std::optional<std::string> ProfileRefusalText(const TProfile& profile);

// "Verify failed at 0123h: wrote 5A, read 52".
std::string DifferenceText(const TDifference& difference);

// A parameter block with the profile's line levels and wait times, nothing else set.
TProgParams ProfileBlock(const TProfile& profile);

// The name of a memory in messages: "Flash" or "E²PROM".
const char* MemoryName(bool eeprom);

}  // namespace kestrin
