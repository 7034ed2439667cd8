// The program's command line: parameters that replace stored settings and can
// start an unattended write, and the current settings written as such a line.
#pragma once

#include <QStringList>

#include <cstdint>
#include <string>

namespace kestrin {

// Applies the command line parameters (the arguments after the program name)
// to Config. Runs once, right after LoadSettings and before any window exists.
void ApplyCommandLine(const QStringList& arguments);

// The port number in a port name of the form "COM" + number: its characters 4
// and 5 (counted from 1) read as a decimal number ("COM2" gives 2, "COM12"
// gives 12); -1 when they are not a number.
int PortNumberOf(const std::string& portName);

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
// /C= is left out when the port name carries no number, /F= when there is no
// file; a file name containing blanks is enclosed in double quotes.
std::string SettingsCommandLine(const TCommandLineSettings& settings);

}  // namespace kestrin
