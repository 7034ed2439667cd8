// The frame shared by every programming routine: the parameter block, the
// result codes, the opening and closing of a run, the programming-enable
// handshakes, instruction transport and the elapsed-time text.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "devices/Progress.h"

namespace kestrin {

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
};

enum ProgResult : int32_t {
    ProgOk = 0,            // done (and verified, where asked)
    ProgNoData = 1,        // nothing to write, or a block the routine refuses; the adapter was not touched
    ProgVerifyFailed = 2,  // verification found a difference
    ProgNoDevice = 3,      // the target did not answer
};

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
// most kMaxTransfer bytes; nothing is read back.
void SendBytes(const uint8_t* bytes, size_t count);

// Like SendBytes, but stores in receive[i] the byte clocked in while bytes[i]
// went out.
void ExchangeBytes(const uint8_t* bytes, uint8_t* receive, size_t count);

// Sends a 4-byte instruction made of three bytes and a zero, and returns the
// byte clocked in with the fourth: the answer of the 4-byte read instructions.
uint8_t ReadInstruction(uint8_t b1, uint8_t b2, uint8_t b3);

// A programmed pause. A negative wait (a profile without that wait) pauses not at all.
void Pause(int32_t microseconds);

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

private:
    const TProgParams& params_;
    IProgress& progress_;
    TRunClock::time_point start_;
    bool open_ = false;
};

}  // namespace kestrin
