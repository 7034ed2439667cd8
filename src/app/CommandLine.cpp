#include "app/CommandLine.h"

#include <cctype>

namespace kestrin {

void ApplyCommandLine(const QStringList& arguments) {
    // The parameters are not read yet: every start uses the stored settings.
    (void)arguments;
}

int PortNumberOf(const std::string& portName) {
    if (portName.size() < 4) return -1;
    const std::string digits = portName.substr(3, 2);
    int number = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
        number = number * 10 + (c - '0');
    }
    return number;
}

std::string SettingsCommandLine(const TCommandLineSettings& s) {
    std::string line;
    auto add = [&line](const std::string& parameter) {
        if (!line.empty()) line += ' ';
        line += parameter;
    };
    if (const int port = PortNumberOf(s.PortName); port >= 0) add("/C=" + std::to_string(port));
    add("/P=" + std::to_string(s.ProfileIndex + 1));
    add(s.EEPROM ? "/M=E" : "/M=F");
    add("/A=" + std::to_string(s.StartAddress));
    if (!s.FileName.empty()) {
        const bool quote = s.FileName.find_first_of(" \t") != std::string::npos;
        add(quote ? "/F=\"" + s.FileName + "\"" : "/F=" + s.FileName);
    }
    add(s.Verify ? "/V=1" : "/V=0");
    add(s.Backup ? "/B=1" : "/B=0");
    add(s.Autoconnect ? "/T=1" : "/T=0");
    return line;
}

}  // namespace kestrin
