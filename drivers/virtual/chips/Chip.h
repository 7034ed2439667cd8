// Behavioural models of the target chips as seen through their serial
// programming interface. A model knows nothing of wall time or of any adapter:
// every call carries the caller's clock in nanoseconds, so the virtual adapter
// driver and a simulator bench can both drive the same model.
//
// Byte level: the byte the chip shifts out during the next SPI byte is fixed
// before that byte starts (NextOut), then the byte the host sent arrives (In).
// Pin level: see PinAdapter.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin::chips {

// Memories of a chip. Fuses: AVR low, high, extended; AT89S8253 one user fuse
// byte; none on the AT89S8252 and AT89S52. Lock: one byte as the chip stores
// it (a programmed bit is 0).
enum class Space : int { Flash = 0, Eeprom = 1, Fuses = 2, Lock = 3, Signature = 4 };
constexpr int kSpaceCount = 5;

// "flash", "eeprom", "fuses", "lock", "signature"; nullptr for anything else.
const char* SpaceName(Space s);
// Parses the names above (case-insensitive); false for an unknown name.
bool ParseSpace(std::string_view text, Space& out);

class Chip {
public:
    using LogFn = std::function<void(std::string_view)>;
    // Memory sizes and factory values of a part.
    struct Layout {
        size_t flash = 0;
        size_t eeprom = 0;
        std::vector<uint8_t> fuseDefaults;
        uint8_t lockErased = 0xFF;
        std::vector<uint8_t> signature;
    };

    virtual ~Chip();
    Chip(const Chip&) = delete;
    Chip& operator=(const Chip&) = delete;

    const std::string& Name() const { return name_; }

    // The reset line, as a logical state: true holds the chip in reset, which is
    // its programming state (RST high on the 8051s, RESET low on the AVRs).
    // Entering reset starts a new instruction frame and clears programming enable.
    void SetReset(bool heldInReset, uint64_t nowNs);
    bool InReset() const { return inReset_; }
    bool ProgrammingEnabled() const { return enabled_; }

    // Byte level. Outside reset the chip does not drive MISO and 0xFF is read.
    uint8_t NextOut(uint64_t nowNs) const;
    void In(uint8_t mosi, uint64_t nowNs);
    uint8_t Exchange(uint8_t mosi, uint64_t nowNs);

    // A write cycle, chip erase or fuse write in progress.
    bool Busy(uint64_t nowNs) const { return nowNs < busy_.untilNs; }
    uint64_t BusyUntilNs() const { return busy_.untilNs; }

    // Direct memory access (tests, persistence, a parallel programmer's view).
    size_t Size(Space s) const;
    const std::vector<uint8_t>& Memory(Space s) const;
    // Copy out / in at most count bytes from address; returns the bytes copied.
    // Writes keep stuck bits.
    size_t Read(Space s, uint32_t address, uint8_t* out, size_t count) const;
    size_t Write(Space s, uint32_t address, const uint8_t* data, size_t count);
    // Factory-fresh chip: memories 0xFF, default fuses, lock bits clear, idle.
    void Clear();

    // Faults. A stuck bit keeps its value whatever is written to the cell.
    void AddStuckBit(Space s, uint32_t address, unsigned bit, bool value);
    void ClearStuckBits();
    // A target that wakes up late: of every handshake, only the attempt-th
    // programming enable is answered (1 = every one).
    void SetAnswerFromAttempt(unsigned attempt);

    // Receives one line per decoded instruction.
    void SetLog(LogFn fn) { log_ = std::move(fn); }

protected:
    Chip(std::string name, Layout layout);

    enum class BusyKind { None, Write, Erase, Fuse };
    struct BusyState {
        uint64_t untilNs = 0;
        BusyKind kind = BusyKind::None;
        Space space = Space::Flash;
        uint32_t first = 0;
        uint32_t count = 0;
    };

    // Instruction decoding, per family. The frame holds the bytes received so
    // far of the current instruction; InstructionLength tells when it is whole.
    // Before programming enable, every frame has the family's plain length and
    // only the enable instruction counts.
    virtual size_t InstructionLength() const = 0;
    // The byte shifted out while byte number frame_.size() of the frame arrives.
    virtual uint8_t Output(uint64_t nowNs) const = 0;
    // A whole instruction received while programming is enabled.
    virtual void Execute(uint64_t nowNs) = 0;
    // What a read of a busy cell returns; stored is the cell's new value.
    virtual uint8_t BusyRead(Space s, uint32_t address, uint8_t stored) const;
    // False when the chip refuses serial programming (a fuse can disable it).
    virtual bool SerialProgrammingAllowed() const { return true; }

    // Handshake helpers: the frame starts with AC 53.
    bool EnableFrame() const;
    bool EnableWillAnswer() const;
    // Completes a programming enable frame (answer rule, late answers, log).
    void AcceptEnable();

    // Logs the instruction as lost and returns true when the chip is busy.
    bool LostWhileBusy(const char* what) const;
    void StartBusy(uint64_t nowNs, uint64_t durationNs, BusyKind kind, Space s = Space::Flash, uint32_t first = 0,
                   uint32_t count = 0);
    // Stores a programmed byte: with auto-erase the cell takes the value, without
    // it a write can only clear bits.
    void Program(Space s, uint32_t address, uint8_t value, bool autoErase);
    void Fill(Space s, uint8_t value);
    // A read through the serial interface at the current time.
    uint8_t ReadCell(Space s, uint32_t address, uint64_t nowNs) const;
    uint8_t Stored(Space s, uint32_t address) const { return mem_[static_cast<int>(s)][address]; }
    void SetStored(Space s, uint32_t address, uint8_t value);
    void Log(const char* fmt, ...) const __attribute__((format(printf, 2, 3)));
    void LogUnknown() const;
    std::string FrameText() const;  // the first bytes of the frame in hex

    std::vector<uint8_t> frame_;
    uint64_t frameStartNs_ = 0;
    bool enabled_ = false;
    BusyState busy_;

private:
    struct StuckBit {
        Space space;
        uint32_t address;
        uint8_t mask;
        bool value;
    };
    uint8_t ApplyStuck(Space s, uint32_t address, uint8_t value) const;

    std::string name_;
    Layout layout_;
    std::vector<uint8_t> mem_[kSpaceCount];
    std::vector<StuckBit> stuck_;
    bool inReset_ = false;
    unsigned answerFrom_ = 1;
    unsigned attemptsLeft_ = 0;  // enables still to be ignored in this handshake
    LogFn log_;
};

// A new factory-fresh chip by name (case-insensitive), nullptr when unknown.
std::unique_ptr<Chip> MakeChip(std::string_view name);
// Names MakeChip knows, in their usual spelling.
std::vector<std::string> ChipNames();

}  // namespace kestrin::chips
