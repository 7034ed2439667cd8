// The frame shared by every programming routine: the parameter block, the
// result codes, the opening and closing of a run, the programming-enable
// handshakes, instruction transport and the elapsed-time text.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devices/Progress.h"

namespace kestrin {

class TStopSignal;
struct TRunReport;
class IBackupKeeper;

struct TProgParams {
    const uint8_t* Data = nullptr;  // the image; Data[0] is the byte for StartAddress
    int32_t Size = 0;
    int32_t StartAddress = 0;
    bool EEPROM = false;  // true: data memory (E²PROM); false: program memory (Flash)
    bool SCK = false;
    bool MISO = false;
    bool MOSI = false;
    int32_t WaitFlash = 0;   // microseconds
    int32_t WaitEEPROM = 0;  // microseconds
    int32_t WaitErase = 0;   // microseconds
    bool Verify = false;
    bool Backup = false;
    // AVR runs: the target's clock in MHz (1, 8, 16), -1 to find it from the
    // fuses, 0 for the adapter's slow clock (see devices/AvrClock.h).
    int32_t TargetClock = 0;
    // How the caller follows the run, beside the result code: where the
    // routine records what it did, and the caller's request to stop. Both may
    // be null.
    TRunReport* Report = nullptr;
    const TStopSignal* Stop = nullptr;
    // The signature the data was built for (an ELF program's); an AVR routine
    // refuses a chip that answers another one before it writes anything.
    const std::array<uint8_t, 3>* Signature = nullptr;
    // Where a backup of the memory a chip erase would clear is kept outside
    // the program (the backup journal). Null: the copy lives in memory only.
    IBackupKeeper* Keeper = nullptr;
};

enum ProgResult : int32_t {
    ProgOk = 0,            // done (and verified, where asked)
    ProgNoData = 1,        // nothing to write, or a block the routine refuses; the adapter was not touched
    ProgVerifyFailed = 2,  // verification found a difference
    ProgNoDevice = 3,      // the target did not answer, or the adapter went away
    ProgStopped = 4,       // the caller asked the run to stop
};

// A request to stop a run, set from a signal handler, another thread or the
// window's Stop button. A run stops at the next page, chunk or byte.
class TStopSignal {
public:
    void Request() { requested_.store(true); }
    void Clear() { requested_.store(false); }
    bool Requested() const { return requested_.load(); }

private:
    std::atomic<bool> requested_{false};
};

// The first byte that read back differently from what was written.
struct TDifference {
    int32_t Address = 0;
    uint8_t Wrote = 0;
    uint8_t Read = 0;
};

// A copy of the memory a writer is not writing, taken before the chip erase
// cleared it (AT89S8253): while it has not been written back, it is the only
// copy of that memory.
struct TStrandedBackup {
    bool EEPROM = false;  // true: the E²PROM's 2 KB; false: the 12 KB of Flash
    std::vector<uint8_t> Data;
};

// Keeps a backup on disk for as long as it is not back in the chip, so that
// a crash, a cut link or a power loss after the erase cannot lose it.
class IBackupKeeper {
public:
    virtual ~IBackupKeeper() = default;
    // Called with the copy before the chip erase. False, with the reason,
    // forbids the erase: the run ends with ProgNoData and the chip untouched.
    virtual bool Keep(const TStrandedBackup& backup, std::string& reason) = 0;
    // Called once the copy is back in the chip and read back the same.
    virtual void Restored() = 0;
};

// What a routine records about its run for the caller.
struct TRunReport {
    int32_t BytesWritten = 0;
    std::optional<TDifference> FirstDifference;
    // Set from the moment a backup was taken until it is back in the chip.
    std::optional<TStrandedBackup> PendingBackup;
    // A refusal that only the routine could make (the attached part is
    // smaller than the block); the text names sizes and addresses.
    std::string Refusal;
    bool LinkLost = false;   // the driver reported the adapter gone
    bool Stopped = false;    // the run ended on the caller's request
    bool NoAnswer = false;   // the target did not take what was written (no chip on the connector)
    // The backup was written back but read back differently.
    bool RestoreFailed = false;
    // An AT90S answered the enable but its signature reads 00 00 00: both lock
    // bits are programmed. Only a chip erase unlocks it; nothing was written.
    bool LockedChip = false;
};

// Why a run ended early. Thrown inside a routine when the adapter is lost or
// a stop is taken, caught by the routine's entry point (GuardRun), so callers
// only ever see result codes.
struct TRunAborted {
    // BackupNotKept: the backup could not be kept before the erase (the
    // reason is in the report's Refusal); nothing was erased.
    enum class TWhy { LinkLost, Stopped, NoAnswer, BackupNotKept } Why;
};

// Runs a routine's body and turns an early end into its result code
// (ProgNoDevice or ProgStopped), noting the reason in the report.
template <typename Body>
ProgResult GuardRun(const TProgParams& params, Body&& body) {
    try {
        return body();
    } catch (const TRunAborted& aborted) {
        if (params.Report != nullptr) {
            params.Report->LinkLost |= aborted.Why == TRunAborted::TWhy::LinkLost;
            params.Report->Stopped |= aborted.Why == TRunAborted::TWhy::Stopped;
            params.Report->NoAnswer |= aborted.Why == TRunAborted::TWhy::NoAnswer;
        }
        if (aborted.Why == TRunAborted::TWhy::BackupNotKept) return ProgNoData;
        return aborted.Why == TRunAborted::TWhy::Stopped ? ProgStopped : ProgNoDevice;
    }
}

// The refusal of a block that does not fit its memory: names the size, the
// start address and the memory ("the AT89S8253's Flash") with its size.
std::string RangeRefusalText(int64_t size, int64_t start, int64_t memorySize, const std::string& memory);

// Compares what was read back with what was written and notes the first
// difference in the report. address is the chip address of written[0].
bool SameBytes(const TProgParams& params, int32_t address, const uint8_t* written, const uint8_t* read, size_t count);

// The status text the windows show for a result: "Ok", "file is empty", "failed", "no device".
// Any other value shows as "failed".
const char* ProgResultText(int32_t result);

// Elapsed time as seconds with one decimal and a fixed comma: 12.34 s gives "12,3s".
std::string ElapsedText(double seconds);

// ---- time base ----

// Runs are timed on a monotonic clock, so a change of the wall clock cannot
// show a negative or jumping elapsed time.
using TRunClock = std::chrono::steady_clock;
TRunClock::time_point RunStartTime();
double SecondsSince(TRunClock::time_point start);

// ---- transport ----

// Largest byte count the driver accepts in one SPIW or SPIWR call.
constexpr size_t kMaxTransfer = 16;

// Sends bytes to the target as one continuous stream, cut into calls of at
// most kMaxTransfer bytes; nothing is read back. A driver that reports the
// adapter gone (a negative result) ends the current run at once; outside a
// run the loss is only counted (LinkFailures). False when the link failed.
bool SendBytes(const uint8_t* bytes, size_t count);

// Like SendBytes, but stores in receive[i] the byte clocked in while bytes[i]
// went out.
bool ExchangeBytes(const uint8_t* bytes, uint8_t* receive, size_t count);

// Checks a driver call's result. A driver that reports the adapter gone (a
// negative result) ends the current run at once: nothing sent after it
// reaches the chip, and a verify of what it reads would only compare stale
// bytes. Outside a run the loss is only counted. False when the link failed.
bool Delivered(int32_t driverResult);

// How many transfers the driver has refused since the program started. A
// caller outside a run (the fuse dialog, Detect) compares it before and after.
uint64_t LinkFailures();

// Sends a 4-byte instruction made of three bytes and a zero, and returns the
// byte clocked in with the fourth: the answer of the 4-byte read instructions.
uint8_t ReadInstruction(uint8_t b1, uint8_t b2, uint8_t b3);

// A programmed pause. A negative wait (a profile without that wait) pauses not at all.
void Pause(int32_t microseconds);

// Sends an instruction of three bytes and a zero until the byte clocked in
// with the zero, ANDed with mask, equals value, with a pause of step after
// each answer that does not, and gives up once the pauses add up to limit.
// Whether the chip got ready is not returned: the caller verifies what it
// wrote. A driver that can poll on the adapter runs the loop there, without
// a round trip per poll; the chip sees the same bytes and pauses either way.
void PollInstruction(uint8_t b1, uint8_t b2, uint8_t b3, uint8_t mask, uint8_t value, int32_t step, int64_t limit);

// ---- programming-enable handshake ----

constexpr int kHandshakeAttempts = 32;

// How a family is brought into its programming state and how it answers
// the programming-enable instruction AC 53 00 00.
struct THandshake {
    int32_t Settle;       // pause after taking the target into reset
    int32_t ResetGap;     // pause with the target released after a failed attempt
    size_t AnswerIndex;   // which received byte carries the answer
    uint8_t AnswerValue;  // and what it must be
};

constexpr THandshake kHandshake89S8253{50000, 50000, 2, 0x53};
constexpr THandshake kHandshake89S52{50000, 50000, 3, 0x69};
constexpr THandshake kHandshakeAVR{20000, 1000, 2, 0x53};  // ATtiny and ATmega

// Holds the target in reset and sends the programming enable until it
// answers, at most kHandshakeAttempts times; every failed attempt is followed
// by a reset pulse. Returns true when the target answered. A probe for what
// is attached may try fewer times.
bool EnterProgMode(const THandshake& family, int attempts = kHandshakeAttempts);

// The AT90S parts: a failed enable is followed by one positive SCK pulse (the
// line's quiescent level flipped and put back), which moves the part's bit
// counter on by one, instead of a reset pulse; the target stays in reset
// throughout. sck, mosi, miso are the profile's line levels.
bool EnterProgModeAT90S(bool sck, bool mosi, bool miso, int attempts = kHandshakeAttempts);

bool EnterProgModeATtiny();
bool EnterProgModeATmega();

// ---- the run ----

// Prepares the adapter for a run: line levels, cycle time and read mode
// (0 for byte-mode chips, 1 for the chips with 4-byte instructions).
void OpenLines(bool sck, bool mosi, bool miso, int32_t readMode);

// True when the block carries something to write: data and a size of at least 1.
bool HasWriteData(const TProgParams& params);

// One programming run: the start time, the gauge and label updates, and the
// opening and closing of the adapter lines. The run is closed when Close is
// called or, at the latest, when the object goes away, so the target is
// never left held in reset by an early return.
class TProgRun {
public:
    // Takes the start time.
    TProgRun(const TProgParams& params, IProgress& progress);
    ~TProgRun();
    TProgRun(const TProgRun&) = delete;
    TProgRun& operator=(const TProgRun&) = delete;

    // While a run is open, a transfer the driver refuses ends it (TRunAborted).
    // Stops are taken at Step and Tick unless the run is past the point
    // where stopping would lose data (a restore in progress).
    void SetStoppable(bool stoppable) { stoppable_ = stoppable; }
    // Throws TRunAborted when the caller asked to stop (and stopping is allowed).
    void CheckStop() const;

    // Starts a phase of the gauge: colour, value 0 and maximum.
    void Phase(uint32_t color, int32_t maxValue);
    // After one unit of work: gauge value, elapsed label, pending events.
    void Step(int32_t value);
    // After one unit of work that does not touch the label (backups, restores).
    void Tick(int32_t value);
    void ShowElapsed();

    // Line levels, cycle time and read mode of the adapter (OpenLines).
    void Open(int32_t readMode);
    // Releases the target, restores the line levels and shows the final time.
    void Close();

    IProgress& Progress() { return progress_; }
    // The caller's report, or null.
    TRunReport* Report() const { return params_.Report; }

private:
    const TProgParams& params_;
    IProgress& progress_;
    TRunClock::time_point start_;
    bool open_ = false;
    bool stoppable_ = true;
    TProgRun* outer_ = nullptr;
};

}  // namespace kestrin
