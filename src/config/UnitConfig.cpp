#include "config/UnitConfig.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <variant>

#include "config/IniFile.h"
#include "config/Prompts.h"

#if !defined(_WIN32)
#include <pwd.h>
#include <unistd.h>
#endif

namespace kestrin {

TConfig Config;
TProfileList ProfileTable;

namespace fs = std::filesystem;

namespace {

constexpr const char* kCopyright = "Kestrin - in-system programmer for Atmel microcontrollers";
constexpr const char* kVersion = "1.4";
constexpr const char* kEdition = "Corvane";
constexpr const char* kSettingsFile = "Kestrin.ini";
constexpr const char* kCorrectedMessage = "Invalid profile information is corrected!";

// One stored value: its key and the field of the record that holds it. The
// record's member initialisers are the defaults for a missing or bad value.
template <class Record>
struct Field {
    std::string_view key;
    std::variant<int32_t Record::*, bool Record::*, uint8_t Record::*, std::string Record::*> member;
};

// Keys of each section, in the order in which they are written.
constexpr Field<TConfig> kMainFields[] = {{"x", &TConfig::MainX}, {"y", &TConfig::MainY}};
constexpr Field<TConfig> kSettingsFields[] = {
    {"COMIndex", &TConfig::COMIndex},   {"Autoconnect", &TConfig::Autoconnect},
    {"Memory", &TConfig::Memory},       {"Startaddress", &TConfig::Startaddress},
    {"Verify", &TConfig::Verify},       {"Backup", &TConfig::Backup},
    {"Last file", &TConfig::LastFile},  {"FileType", &TConfig::FileType},
    {"Profiles", &TConfig::Profiles},   {"ProfileIndex", &TConfig::ProfileIndex},
};
constexpr Field<TConfig> kExtDlgFields[] = {
    {"x", &TConfig::ExtDlgX}, {"y", &TConfig::ExtDlgY}, {"w", &TConfig::ExtDlgW}, {"h", &TConfig::ExtDlgH}};
constexpr Field<TProfile> kProfileFields[] = {
    {"Name", &TProfile::Name},          {"Info", &TProfile::Info},
    {"Type", &TProfile::Type},          {"SCK", &TProfile::SCK},
    {"MISO", &TProfile::MISO},          {"MOSI", &TProfile::MOSI},
    {"WaitFlash", &TProfile::WaitFlash}, {"WaitEEPROM", &TProfile::WaitEEPROM},
    {"WaitErase", &TProfile::WaitErase},
};
// Written only for a profile that uses serial numbers, so that the sections of
// the others stay as they were.
constexpr Field<TProfile> kSerialFields[] = {
    {"SerialFormat", &TProfile::SerialFormat}, {"SerialAddress", &TProfile::SerialAddress},
    {"SerialLength", &TProfile::SerialLength}, {"SerialFirst", &TProfile::SerialFirst},
    {"SerialStep", &TProfile::SerialStep},
};

template <class Record, size_t N>
void ReadFields(const IniFile& ini, std::string_view section, const Field<Record> (&fields)[N], Record& record) {
    const Record defaults{};
    for (const Field<Record>& field : fields) {
        std::visit(
            [&](auto member) {
                using T = std::remove_cvref_t<decltype(record.*member)>;
                if constexpr (std::is_same_v<T, bool>) {
                    record.*member = ini.ReadBool(section, field.key, defaults.*member);
                } else if constexpr (std::is_same_v<T, std::string>) {
                    record.*member = ini.ReadString(section, field.key, defaults.*member);
                } else {
                    // Narrower fields keep the low bits of the stored integer.
                    record.*member = static_cast<T>(ini.ReadInteger(section, field.key, defaults.*member));
                }
            },
            field.member);
    }
}

template <class Record, size_t N>
void WriteFields(IniFile& ini, std::string_view section, const Field<Record> (&fields)[N], const Record& record) {
    for (const Field<Record>& field : fields) {
        std::visit(
            [&](auto member) {
                using T = std::remove_cvref_t<decltype(record.*member)>;
                if constexpr (std::is_same_v<T, bool>) {
                    ini.WriteBool(section, field.key, record.*member);
                } else if constexpr (std::is_same_v<T, std::string>) {
                    ini.WriteString(section, field.key, record.*member);
                } else {
                    ini.WriteInteger(section, field.key, static_cast<int32_t>(record.*member));
                }
            },
            field.member);
    }
}

// What loading demands of a wait by controller type: a value above 0 replaces
// a negative wait, kNoWait turns a wait of 0 or more into -1 (no such wait).
constexpr int32_t kNoWait = -1;

struct ControllerRules {
    const char* name;
    int32_t waitEEPROM;
    int32_t waitErase;
};

constexpr ControllerRules kControllers[ControllerTypeCount] = {
    {"AT89S8252", 4000, kNoWait}, {"AT90xx", 4000, 10000},      {"ATtiny", 4500, 10000},
    {"ATmega", 9000, 10000},      {"AT89S8253", 4500, 500000},  {"AT89S52", kNoWait, 500000},
    {"AT89S53", kNoWait, kNoWait},
};

bool ApplyWaitRule(int32_t& wait, int32_t rule) {
    const int32_t wanted = rule == kNoWait ? (wait >= 0 ? kNoWait : wait) : (wait < 0 ? rule : wait);
    const bool changed = wanted != wait;
    wait = wanted;
    return changed;
}

std::string SectionName(int32_t userProfile) { return std::to_string(userProfile); }

constexpr const char* kTargetClockKey = "TargetClock";

std::string ToUtf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path EnvironmentPath(const char* name) {
#if defined(_WIN32)
    const std::wstring wide(name, name + std::char_traits<char>::length(name));
    const wchar_t* value = _wgetenv(wide.c_str());
#else
    const char* value = std::getenv(name);
#endif
    return value != nullptr ? fs::path(value) : fs::path();
}

fs::path HomeFolder() {
#if defined(_WIN32)
    return EnvironmentPath("USERPROFILE");
#else
    fs::path home = EnvironmentPath("HOME");
    if (home.empty()) {
        const passwd* entry = ::getpwuid(::getuid());
        if (entry != nullptr && entry->pw_dir != nullptr) home = entry->pw_dir;
    }
    return home;
#endif
}

// An absolute folder below the root of its file system.
bool UsableFolder(const fs::path& folder) {
    return folder.is_absolute() && !folder.lexically_normal().relative_path().empty();
}

}  // namespace

std::string AppDataFolder() {
    std::error_code ec;
#if defined(_WIN32)
    const fs::path candidates[] = {EnvironmentPath("APPDATA"), HomeFolder(), fs::current_path(ec),
                                   fs::temp_directory_path(ec)};
#else
    const fs::path home = HomeFolder();
    const fs::path candidates[] = {EnvironmentPath("XDG_CONFIG_HOME"), home.empty() ? fs::path() : home / ".config",
                                   fs::current_path(ec), fs::temp_directory_path(ec)};
#endif
    for (const fs::path& candidate : candidates) {
        if (!UsableFolder(candidate)) continue;
        fs::path folder = candidate.lexically_normal();
        if (!folder.has_filename()) folder = folder.parent_path();  // drop a trailing separator
        return ToUtf8(folder);
    }
    return ".";
}

std::string SettingsFileName() {
#if defined(_WIN32)
    return AppDataFolder() + "\\" + kSettingsFile;
#else
    return AppDataFolder() + "/" + kSettingsFile;
#endif
}

void BuildDefaultProfiles(TProfileList& list) {
    list[0] = TProfile{"89S8252 (default)", "Atmel AT89S8252", true, ctAT89S8252, false, false, false, 4000, 4000, -1};
    list[1] = TProfile{
        "89S8253 (default)", "Atmel AT89S8253 (page mode)", true, ctAT89S8253, false, false, false, 4500, 4500, 500000};
}

bool ValidateProfile(TProfile& p) {
    if (p.Type >= ControllerTypeCount) return false;
    const ControllerRules& rules = kControllers[p.Type];
    const bool eeprom = ApplyWaitRule(p.WaitEEPROM, rules.waitEEPROM);
    const bool erase = ApplyWaitRule(p.WaitErase, rules.waitErase);
    return eeprom || erase;
}

bool ControllerHasEEPROM(uint8_t type) {
    return type >= ControllerTypeCount || kControllers[type].waitEEPROM != kNoWait;
}

const char* ControllerName(uint8_t type) { return type < ControllerTypeCount ? kControllers[type].name : ""; }

void LoadSettings() { LoadSettingsFrom(SettingsFileName()); }

void LoadSettingsFrom(const std::string& fileName) {
    IniFile ini;
    std::string error;
    if (ini.Load(fileName, &error) == IniFile::LoadResult::Unreadable) {
        std::fprintf(stderr, "kestrin: the settings file %s could not be read (%s); defaults are used\n",
                     fileName.c_str(), error.c_str());
    }

    // A fresh record also clears the command-line fields.
    TConfig config;
    ReadFields(ini, "Main", kMainFields, config);
    ReadFields(ini, "Settings", kSettingsFields, config);
    config.Profiles = std::clamp(config.Profiles, 0, MaxUserProfiles);

    ProfileTable.fill(TProfile{});
    BuildDefaultProfiles(ProfileTable);
    bool corrected = false;
    for (int32_t i = 0; i < config.Profiles; ++i) {
        TProfile& profile = ProfileTable[static_cast<size_t>(DefaultProfileCount + i)];
        ReadFields(ini, SectionName(i), kProfileFields, profile);
        profile.TargetClock = TargetClockFromText(ini.ReadString(SectionName(i), kTargetClockKey, ""));
        ReadFields(ini, SectionName(i), kSerialFields, profile);
        profile.IsDefault = false;
        corrected = ValidateProfile(profile) || corrected;
    }
    config.ProfileCount = DefaultProfileCount + config.Profiles;

    ReadFields(ini, "ExtDlg", kExtDlgFields, config);
    Config = config;

    if (corrected) Prompts().Message(TMsgKind::Information, kCorrectedMessage, TMsgButtons::Ok);
}

bool SaveSettings() { return SaveSettingsTo(SettingsFileName()); }

bool SaveSettingsTo(const std::string& fileName) {
    const auto fail = [&](const std::string& why) {
        std::fprintf(stderr, "kestrin: the settings could not be saved to %s: %s\n", fileName.c_str(), why.c_str());
        return false;
    };

    // Values are replaced in the file as it is now, so whatever else it holds stays.
    IniFile ini;
    std::string error;
    if (ini.Load(fileName, &error) == IniFile::LoadResult::Unreadable) {
        return fail("the existing file cannot be read (" + error + ")");
    }

    const int32_t count = std::clamp(Config.ProfileCount, DefaultProfileCount, MaxProfiles);
    Config.ProfileIndex = std::clamp(Config.ProfileIndex, 0, count - 1);
    TConfig stored = Config;
    stored.Profiles = std::clamp(stored.Profiles, 0, count - DefaultProfileCount);

    ini.WriteString("General", "Copyright", kCopyright);
    ini.WriteString("General", "Version", kVersion);
    ini.WriteString("General", "Edition", kEdition);
    WriteFields(ini, "Main", kMainFields, stored);
    WriteFields(ini, "Settings", kSettingsFields, stored);
    // Sections of user profiles beyond the count keep their old contents.
    for (int32_t i = 0; i < stored.Profiles; ++i) {
        const TProfile& profile = ProfileTable[static_cast<size_t>(DefaultProfileCount + i)];
        WriteFields(ini, SectionName(i), kProfileFields, profile);
        // A profile that names no clock leaves no key behind (one named before is cleared).
        if (profile.TargetClock != 0 || ini.Value(SectionName(i), kTargetClockKey))
            ini.WriteString(SectionName(i), kTargetClockKey, TargetClockText(profile.TargetClock));
        if (!profile.SerialFormat.empty())
            WriteFields(ini, SectionName(i), kSerialFields, profile);
        else if (ini.Value(SectionName(i), "SerialFormat"))
            ini.WriteString(SectionName(i), "SerialFormat", "");
    }
    WriteFields(ini, "ExtDlg", kExtDlgFields, stored);

    std::error_code ec;
    const fs::path folder = fs::path(std::u8string(fileName.begin(), fileName.end())).parent_path();
    if (!folder.empty()) fs::create_directories(folder, ec);
    if (ec) return fail(ec.message());
    if (!ini.Save(fileName, &error)) return fail(error);
    return true;
}

int32_t SelectedProfileIndex() {
    const int32_t count = std::clamp(Config.ProfileCount, 1, MaxProfiles);
    return std::clamp(Config.ProfileIndex, 0, count - 1);
}

const TProfile& SelectedProfile() { return ProfileTable[static_cast<size_t>(SelectedProfileIndex())]; }

bool AddProfile(TProfileList& list, int32_t& count, const TProfile& p) {
    if (count < DefaultProfileCount || count >= MaxProfiles) return false;
    TProfile& entry = list[static_cast<size_t>(count)];
    entry = p;
    entry.IsDefault = false;
    ++count;
    return true;
}

bool DeleteProfile(TProfileList& list, int32_t& count, int32_t index) {
    if (count > MaxProfiles || index < DefaultProfileCount || index >= count) return false;
    if (list[static_cast<size_t>(index)].IsDefault) return false;
    std::move(list.begin() + index + 1, list.begin() + count, list.begin() + index);
    --count;
    list[static_cast<size_t>(count)] = TProfile{};
    return true;
}

void CommitProfiles(const TProfileList& list, int32_t count, int32_t index) {
    count = std::clamp(count, DefaultProfileCount, MaxProfiles);
    ProfileTable = list;
    Config.ProfileCount = count;
    Config.Profiles = count - DefaultProfileCount;
    Config.ProfileIndex = std::clamp(index, 0, count - 1);
}

std::string TargetClockText(int32_t targetClock) {
    if (targetClock == -1) return "auto";
    if (targetClock == 1 || targetClock == 8 || targetClock == 16) return std::to_string(targetClock);
    return "";
}

int32_t TargetClockFromText(const std::string& text) {
    if (text == "auto") return -1;
    if (text == "1" || text == "8" || text == "16") return std::stoi(text);
    return 0;
}

}  // namespace kestrin
