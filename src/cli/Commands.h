// The commands of kestrin-cli, each run against the options the command line
// gave: settings and profile chosen, adapter connected, job run, outcome
// reported as one line (or one JSON object) and an exit code.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/UnitConfig.h"

namespace kestrin {

// The exit code of a command line that could not be used as given.
constexpr int kUsageExit = 64;

// Hands Ctrl+C and termination requests to handler (which only sets a flag
// and writes a line: it runs inside the signal).
void CatchStopSignals(void (*handler)(int));

struct TCliOptions {
    std::string Command;     // write, read, verify, erase, detect, fuses, ports, profiles, restore
    std::string SubCommand;  // profiles: list or show

    // Common to every command.
    std::string Port;
    std::string Profile;
    std::string Chip;
    std::string ConfigFile;
    bool Quiet = false;
    bool Json = false;
    bool Save = false;

    // The block of a write, read or verify.
    std::string File;    // write, verify: the data file, "-" standard input
    std::string Output;  // read: the file, "-" standard output; restore: --save-as
    std::string Memory = "flash";
    std::optional<int64_t> Start;
    std::optional<int64_t> Size;
    std::optional<bool> Verify;  // not given: the stored setting
    std::optional<bool> Backup;
    std::string Format = "auto";

    bool Yes = false;       // erase, restore, fuses --from-elf: without asking
    bool YesIKnow = false;  // fuses: write bits that cut off serial programming
    std::string FuseWrite;  // fuses --write
    std::string FuseElf;    // fuses --from-elf: the values an avr-gcc program carries
    std::string ProfileName;  // profiles show

    // produce and log.
    std::vector<std::string> Ports;  // produce --port, given several times
    int64_t Count = 0;               // good chips per adapter; 0: until Ctrl+C
    std::string Serial;              // ADDR:LEN:FORMAT:FIRST[:STEP]
    bool NoSerial = false;           // write no serial number, whatever the profile says
    std::string LogFile;             // a log beside the state folder's
    bool Worker = false;             // one port of several: status lines on standard output
    bool Csv = false;                // log --csv
    std::vector<std::string> Argv;   // the whole command line, for the workers
};

// The largest memory a block may reach: the ATmega2560's 256 KB Flash. Blocks
// beyond the attached chip are refused by the job, with the chip's size.
inline constexpr int64_t kLargestMemory = 0x40000;

// Reads "123" or "0x7B" (letter case ignored); empty for anything else or a
// value outside 0..kLargestMemory - 1.
std::optional<int64_t> ParseAddress(const std::string& text);
// The same for a byte count: 1 to kLargestMemory.
std::optional<int64_t> ParseSize(const std::string& text);

// A profile for a part named on the command line: a controller type's name
// ("AT89S8253", "ATmega") or an AVR part of the device table ("ATmega328P",
// with that part's wait times). Empty for an unknown name.
std::optional<TProfile> ChipProfile(const std::string& name);

// The data-file type entry of a --format name for a file name: bin 1, hex 2,
// auto by the name's extension (Intel HEX for .hex and .obj, else binary).
// Empty for a format this build cannot read or write.
std::optional<int> FormatEntry(const std::string& format, const std::string& fileName);

int RunCliCommand(const TCliOptions& options);

}  // namespace kestrin
