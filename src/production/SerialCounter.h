// The counter that hands out serial numbers, shared by every process of a
// production line: a small text file in Kestrin's state folder, replaced
// durably after every change and guarded by a lock on a companion file, so
// two processes never get the same number.
//
// A number is taken (held by the taking process) before the chip is written,
// and either consumed after a verified write or given back after a failed
// one; a number given back goes to the next chip. A number held by a process
// that has ended without either (killed in the middle of a chip) is retired:
// that chip may hold the number and may even have verified, so the number is
// never handed out again.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "production/SerialNumber.h"

namespace kestrin {

// The folder of the counters and the production log: Kestrin's state folder.
std::string ProductionFolder();

// The counter file of a series: one per first number and step.
std::string SerialCounterFile(const TSerialSeries& series, const std::string& folder = ProductionFolder());

struct TSerialHold {
    uint64_t Number = 0;
    long Pid = 0;
    std::string Started;  // the process's start time, to tell a reused pid
};

// The counter file's contents.
struct TSerialCounterState {
    uint64_t Next = 0;
    std::set<uint64_t> Free;  // given back, handed out before Next
    std::vector<TSerialHold> Held;
    std::vector<TSerialHold> Retired;
};

class TSerialCounter {
public:
    TSerialCounter(std::string file, const TSerialSeries& series);

    // Takes the next number for a chip: the lowest one given back, else a new
    // one. Empty with error set when the counter cannot be read or written, or
    // the series has run past what the format holds.
    std::optional<uint64_t> Take(std::string& error);
    // The chip with this number verified: the number is used up.
    bool Consume(uint64_t number, std::string& error);
    // The chip failed: the number goes to the next chip.
    bool GiveBack(uint64_t number, std::string& error);
    // The number Take would give now; nothing changes.
    std::optional<uint64_t> Peek(std::string& error) const;
    // The counter as it is (read under the lock).
    std::optional<TSerialCounterState> State(std::string& error) const;

    // Numbers retired by the last call because their process had ended.
    const std::vector<TSerialHold>& NewlyRetired() const { return newlyRetired_; }
    const std::string& File() const { return file_; }

private:
    template <class Change>
    bool Update(std::string& error, Change change);

    std::string file_;
    TSerialSeries series_;
    std::vector<TSerialHold> newlyRetired_;
};

// The number the next chip of a profile gets from its counter; empty when
// the profile writes no serial number or the counter cannot be read.
std::optional<uint64_t> NextSerialNumber(const TProfile& profile);

// The start time of a process ("" when it cannot be told), and whether the
// process of a hold is still there.
std::string ProcessStartTime(long pid);
bool HolderAlive(const TSerialHold& hold);

}  // namespace kestrin
