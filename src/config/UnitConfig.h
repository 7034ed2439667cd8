// The settings record, the programming profiles and the settings file.
// Settings are read once at start-up (LoadSettings) and written once at exit
// (SaveSettings); in between they live in Config and ProfileTable.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kestrin {

// Controller type codes of a profile.
enum ControllerType : uint8_t {
    ctAT89S8252 = 0,
    ctAT90xx = 1,
    ctATtiny = 2,
    ctATmega = 3,
    ctAT89S8253 = 4,
    ctAT89S52 = 5,
    ctAT89S53 = 6,
};

constexpr int MaxProfiles = 256;
constexpr int DefaultProfileCount = 2;
constexpr int MaxUserProfiles = MaxProfiles - DefaultProfileCount;

struct TProfile {
    std::string Name;
    std::string Info;
    bool IsDefault = false;
    uint8_t Type = ctAT89S8252;
    bool SCK = false;   // SCK quiescent high
    bool MISO = false;  // MISO inverted
    bool MOSI = false;  // MOSI inverted
    int32_t WaitFlash = 4000;    // microseconds
    int32_t WaitEEPROM = 4000;   // microseconds; -1: no E²PROM
    int32_t WaitErase = 500000;  // microseconds; -1: no separate chip-erase wait

    bool operator==(const TProfile&) const = default;
};

using TProfileList = std::array<TProfile, MaxProfiles>;

struct TConfig {
    int32_t MainX = 10;
    int32_t MainY = 10;
    int32_t COMIndex = 0;
    bool Autoconnect = false;
    bool Memory = false;  // false: Flash, true: E²PROM
    int32_t Startaddress = 0;
    bool Verify = false;
    bool Backup = false;
    std::string LastFile;
    int32_t FileType = 1;  // data-file dialog's type entry: 1 binary, 2 Intel HEX, 3 any file
    int32_t Profiles = 0;
    int32_t ProfileCount = DefaultProfileCount;
    int32_t ProfileIndex = 0;
    int32_t CmdCOM = 0;
    std::string CmdFile;
    int32_t ExecMode = -1;
    bool ShowHelp = false;
    int32_t ExtDlgX = 10;
    int32_t ExtDlgY = 10;
    int32_t ExtDlgW = 800;
    int32_t ExtDlgH = 600;
};

extern TConfig Config;
extern TProfileList ProfileTable;

}  // namespace kestrin
