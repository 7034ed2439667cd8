// The program's command line: parameters that replace stored settings and can
// start an unattended write, the exit codes of such a write, and the current
// settings written as a line of parameters.
#pragma once

#include <QStringList>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/UnitConfig.h"

namespace kestrin {

// Splits a whole command line as one string (the way Windows hands it over):
// blanks separate parameters, double quotes enclose blanks and are dropped.
std::vector<std::string> SplitCommandLine(std::string_view line);

// The parameters in arguments the shell has already split. Quotes that the
// shell left in are dropped, and an argument with an open quote is joined with
// the following ones (separated by one blank) until the quote closes, so
// /F="d:\My File.bin" arrives as one parameter either way.
// An unclosed quote runs to the end; unclosed (when given) receives that parameter.
std::vector<std::string> CommandLineParameters(const std::vector<std::string>& arguments,
                                               std::string* unclosed = nullptr);

// Applies the parameters /C= /P= /M= /A= /F= /V= /B= /T= /S= /H= to config
// (letters and values in any case, any order; a later parameter overrides an
// earlier one); /F= also sets the file type by the name's extension
// (FilterIndexForName). An
// unknown parameter, a missing value, a value that is not a
// number where one is needed and a value out of range (/P beyond
// config.ProfileCount, /A outside 0..65535, /V /B /T /H other than 0 and 1,
// /S below 0) is ignored; the result holds one line for each.
std::vector<std::string> ParseCommandLine(const std::vector<std::string>& parameters, TConfig& config);

// Applies the program's arguments (after its name) to Config, right after
// LoadSettings: ignored parameters are noted on standard error, and a
// relative /F= name is made absolute so that it still names the same file as
// LastFile in a later session.
void ApplyCommandLine(const QStringList& arguments);

// What a terminal user asks for before anything else starts.
enum class TEarlyRequest { None, Help, Version };
// --help (or -h) and --version anywhere among the arguments; help wins.
TEarlyRequest EarlyRequest(const QStringList& arguments);
// True when the arguments ask for a run that needs nobody at the window:
// an unattended write (/S=) or the help-only start (/H=1).
bool StartsUnattended(const QStringList& arguments);
// The text of --help: the parameters, the port names and the exit codes.
std::string UsageText();
// The text of --version.
std::string VersionText();
// Which adapter driver library is bound, for --version.
std::string DriverText();

// The port a /C= parameter selects: the index of the last entry of portNames
// that matches, or -1 (the stored port stays). A number matches a name whose
// characters 4 and 5 (counted from 1) read as that number ("COM2", "COM12");
// a name matches a port of the same name, letter case ignored, with or
// without a leading "/dev/".
int32_t CommandLinePortIndex(const std::vector<std::string>& portNames, int32_t cmdCOM, const std::string& cmdPort);

// The port number in a port name of the form "COM" + number: its characters 4
// and 5 (counted from 1) read as a decimal number ("COM2" gives 2, "COM12"
// gives 12); -1 when they are not a number.
int PortNumberOf(const std::string& portName);

// How the process ends after an unattended write, so that a script can tell
// success from each kind of failure.
enum TExitCode : int {
    ecOk = 0,            // written (or no unattended write was asked for)
    ecRefused = 1,       // refused before the adapter was touched
    ecVerifyFailed = 2,  // verification found a difference
    ecNoAnswer = 3,      // the target did not answer, or the adapter went away
    ecStopped = 4,       // stopped on request; a backup was still written back
};
// The exit code for a programming routine's result (0 done, 1 no data,
// 2 verification difference, 3 no answer).
TExitCode ExitCodeOf(int32_t progResult);

// Settings that a command line can carry.
struct TCommandLineSettings {
    std::string PortName;  // "" when no port is chosen
    int32_t ProfileIndex = 0;
    bool EEPROM = false;
    int32_t StartAddress = 0;
    std::string FileName;  // "" when no file is chosen
    bool Verify = false;
    bool Backup = false;
    bool Autoconnect = false;
};

// The settings as one line of parameters, such as
//   /C=2 /P=1 /M=F /A=512 /F="/home/me/My File.hex" /V=1 /B=0 /T=1
// /C= carries the port number, or the port's name when the name carries no
// number; it is left out without a port, /F= without a file. A file name
// containing blanks is enclosed in double quotes.
std::string SettingsCommandLine(const TCommandLineSettings& settings);

}  // namespace kestrin
