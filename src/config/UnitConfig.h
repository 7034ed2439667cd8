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

// The AVR controller types (AT90xx, ATtiny, ATmega): a run reads the part's
// signature and takes its sizes from the AVR part table.
constexpr bool IsAvrType(uint8_t type) { return type == ctAT90xx || type == ctATtiny || type == ctATmega; }

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
    // AVR profiles: the target's clock in MHz (1, 8, 16), -1 "auto" (from the
    // fuses), 0 not named (the adapter's slow clock). Key TargetClock, stored
    // only when named.
    int32_t TargetClock = 0;
    // Serial numbers of a production run (src/production/SerialNumber.h);
    // SerialFormat empty: the profile writes no serial number.
    std::string SerialFormat = {};
    int32_t SerialAddress = 0;
    int32_t SerialLength = 0;
    std::string SerialFirst = {};  // decimal or 0x hex, up to 64 bits
    std::string SerialStep = {};

    bool operator==(const TProfile&) const = default;
};

using TProfileList = std::array<TProfile, MaxProfiles>;

// The TargetClock key's text for a value, and the value of a text ("auto",
// "1", "8", "16"; anything else is 0, the key's absence).
std::string TargetClockText(int32_t targetClock);
int32_t TargetClockFromText(const std::string& text);

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
    // /C= given as a port name rather than a number ("ttyUSB0"); never stored.
    std::string CmdPort{};
    // /R=1: write back the backups an interrupted write left in the backup
    // journal before anything else; never stored.
    bool CmdRestore = false;

    bool operator==(const TConfig&) const = default;
};

extern TConfig Config;
extern TProfileList ProfileTable;

// Folder of the settings file, without a trailing separator: $XDG_CONFIG_HOME
// (else ~/.config) here, %APPDATA% on Windows; the home folder when that cannot
// be resolved, and never the root of the file system.
std::string AppDataFolder();
// AppDataFolder() + "/Kestrin.ini".
std::string SettingsFileName();

// Fills Config and ProfileTable from the settings file (defaults for whatever
// is missing), clears the command-line fields, corrects invalid user profiles
// and reports a correction through Prompts(). At most MaxUserProfiles user
// profiles are loaded; Config.ProfileIndex is kept as stored (see
// SelectedProfileIndex).
void LoadSettings();
// Writes Config and the user profiles into the settings file, key by key, so
// that everything else in the file stays. Never leaves a half-written file:
// false, with a line on standard error, when the file could not be replaced.
bool SaveSettings();
// The same with another settings file (a command-line tool's --config).
void LoadSettingsFrom(const std::string& fileName);
bool SaveSettingsTo(const std::string& fileName);

// Fills entries 0 and 1 of list with the two built-in profiles; the caller
// keeps the count.
void BuildDefaultProfiles(TProfileList& list);
// Brings the E²PROM and chip-erase waits in line with the profile's controller
// type; true when something was changed. Types above ctAT89S53 stay as they are.
bool ValidateProfile(TProfile& p);

// Config.ProfileIndex held inside 0..Config.ProfileCount-1: the entry that
// every reader of the selected profile uses.
int32_t SelectedProfileIndex();
const TProfile& SelectedProfile();

// false only for the known controllers without data memory (AT89S52, AT89S53).
bool ControllerHasEEPROM(uint8_t type);
// "AT89S8252", "AT90xx", ...; "" for a code above ctAT89S53.
const char* ControllerName(uint8_t type);
constexpr uint8_t ControllerTypeCount = 7;

// Operations on a working copy of the table (list with count used entries).
// Appends p as a user profile; false when the table is full.
bool AddProfile(TProfileList& list, int32_t& count, const TProfile& p);
// Removes the user profile at index and moves the following ones up; false for
// a default profile or an index outside the table. The caller selects index-1.
bool DeleteProfile(TProfileList& list, int32_t& count, int32_t index);
// Makes a working copy the program's table: ProfileTable, Config.ProfileCount,
// Config.Profiles and Config.ProfileIndex (held inside the table).
void CommitProfiles(const TProfileList& list, int32_t count, int32_t index);

}  // namespace kestrin
