#include "app/CommandLine.h"

#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <limits>
#include <optional>

#include "files/FileResult.h"
#include "link/SPI.h"
#include "ui/UnitAbout.h"
#include "ui/UnitHelp.h"

namespace kestrin {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Upper(x) == Upper(y); });
}

// Collects parameters from text in which double quotes enclose blanks.
class TParameterScanner {
public:
    // blanksSeparate: a blank outside quotes ends a parameter (a raw command
    // line); otherwise the text is one argument the shell has already split.
    void Feed(std::string_view text, bool blanksSeparate) {
        for (char c : text) {
            if (c == '"') {
                quoted_ = !quoted_;
                started_ = true;
            } else if (blanksSeparate && !quoted_ && IsBlank(c)) {
                Flush();
            } else {
                current_ += c;
                started_ = true;
            }
        }
    }
    // The end of a pre-split argument: inside quotes the parameter goes on in
    // the next argument, after the one blank the shell took away.
    void EndArgument() {
        if (quoted_) {
            current_ += ' ';
        } else {
            Flush();
        }
    }
    std::vector<std::string> Finish() {
        // An unclosed quote runs to the end of the line.
        if (quoted_ && !current_.empty() && current_.back() == ' ') current_.pop_back();
        if (quoted_) unclosed_ = current_;
        Flush();
        return std::move(parameters_);
    }

private:
    void Flush() {
        if (started_) parameters_.push_back(current_);
        current_.clear();
        started_ = false;
    }

public:
    // The parameter whose double quote was never closed; empty when none.
    std::string unclosed_;

private:
    std::vector<std::string> parameters_;
    std::string current_;
    bool quoted_ = false;
    bool started_ = false;
};

std::optional<int64_t> Decimal(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

bool IsParameterLetter(char c) { return std::string_view("CPMAFVBTSHR").find(Upper(c)) != std::string_view::npos; }

// A 0/1 switch; false when the value is neither.
bool SetSwitch(int64_t value, bool& field) {
    if (value != 0 && value != 1) return false;
    field = value == 1;
    return true;
}

std::string_view WithoutDevPrefix(std::string_view name) {
    constexpr std::string_view dev = "/dev/";
    if (name.size() > dev.size() && SameText(name.substr(0, dev.size()), dev)) name.remove_prefix(dev.size());
    return name;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    TParameterScanner scanner;
    scanner.Feed(line, true);
    return scanner.Finish();
}

std::vector<std::string> CommandLineParameters(const std::vector<std::string>& arguments, std::string* unclosed) {
    TParameterScanner scanner;
    for (const std::string& argument : arguments) {
        scanner.Feed(argument, false);
        scanner.EndArgument();
    }
    std::vector<std::string> parameters = scanner.Finish();
    if (unclosed != nullptr) *unclosed = scanner.unclosed_;
    return parameters;
}

std::vector<std::string> ParseCommandLine(const std::vector<std::string>& parameters, TConfig& config) {
    std::vector<std::string> notes;
    for (const std::string& parameter : parameters) {
        auto ignore = [&](const std::string& why) { notes.push_back("ignored \"" + parameter + "\": " + why); };
        if (parameter.size() < 2 || parameter[0] != '/' || !IsParameterLetter(parameter[1]) ||
            (parameter.size() > 2 && parameter[2] != '=')) {
            ignore("unknown parameter");
            continue;
        }
        const char letter = Upper(parameter[1]);
        const std::string value = parameter.size() > 3 ? parameter.substr(3) : std::string();
        if (value.empty()) {
            ignore("missing value");
            continue;
        }
        const std::optional<int64_t> number = Decimal(value);
        switch (letter) {
            case 'M': config.Memory = SameText(value, "E"); continue;
            case 'F':
                config.CmdFile = value;
                config.FileType = FilterIndexForName(value, config.FileType);
                continue;
            case 'C':
                if (!number) {
                    config.CmdPort = value;
                    config.CmdCOM = 0;
                } else if (*number < 1 || *number > std::numeric_limits<int32_t>::max()) {
                    ignore("no such port number");
                } else {
                    config.CmdCOM = static_cast<int32_t>(*number);
                    config.CmdPort.clear();
                }
                continue;
            default: break;
        }
        if (!number) {
            ignore("not a number");
            continue;
        }
        const int64_t n = *number;
        switch (letter) {
            case 'P':
                if (n < 1 || n > config.ProfileCount) {
                    ignore("no such profile (1.." + std::to_string(config.ProfileCount) + ")");
                } else {
                    config.ProfileIndex = static_cast<int32_t>(n - 1);
                }
                break;
            case 'A':
                if (n < 0 || n > 65535) {
                    ignore("start address outside 0..65535");
                } else {
                    config.Startaddress = static_cast<int32_t>(n);
                }
                break;
            case 'V':
                if (!SetSwitch(n, config.Verify)) ignore("0 or 1 expected");
                break;
            case 'B':
                if (!SetSwitch(n, config.Backup)) ignore("0 or 1 expected");
                break;
            case 'T':
                if (!SetSwitch(n, config.Autoconnect)) ignore("0 or 1 expected");
                break;
            case 'H':
                if (!SetSwitch(n, config.ShowHelp)) ignore("0 or 1 expected");
                break;
            case 'R':
                if (!SetSwitch(n, config.CmdRestore)) ignore("0 or 1 expected");
                break;
            case 'S':
                // Every mode above 3 behaves as 3.
                if (n < 0) {
                    ignore("mode 0 to 3 expected");
                } else {
                    config.ExecMode = static_cast<int32_t>(std::min<int64_t>(n, 3));
                }
                break;
            default: break;
        }
    }
    return notes;
}

namespace {

std::vector<std::string> StdStrings(const QStringList& arguments) {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(arguments.size()));
    for (const QString& argument : arguments) out.push_back(argument.toStdString());
    return out;
}

}  // namespace

void ApplyCommandLine(const QStringList& arguments) {
    std::string unclosed;
    const std::vector<std::string> parameters = CommandLineParameters(StdStrings(arguments), &unclosed);
    if (!unclosed.empty()) {
        std::fprintf(stderr, "kestrin: the double quote in \"%s\" is not closed; the value runs to the end of the line\n",
                     unclosed.c_str());
    }
    for (const std::string& note : ParseCommandLine(parameters, Config)) {
        std::fprintf(stderr, "kestrin: %s\n", note.c_str());
    }
    if (!Config.CmdFile.empty()) {
        Config.CmdFile = QFileInfo(QString::fromStdString(Config.CmdFile)).absoluteFilePath().toStdString();
    }
}

TEarlyRequest EarlyRequest(const QStringList& arguments) {
    TEarlyRequest request = TEarlyRequest::None;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h") || argument == QLatin1String("/?")) {
            return TEarlyRequest::Help;
        }
        if (argument == QLatin1String("--version")) request = TEarlyRequest::Version;
    }
    return request;
}

bool StartsUnattended(const QStringList& arguments) {
    TConfig scratch;
    ParseCommandLine(CommandLineParameters(StdStrings(arguments)), scratch);
    return scratch.ExecMode >= 0 || scratch.ShowHelp || scratch.CmdRestore;
}

std::string UsageText() {
    return std::string("Usage: kestrin [parameters]\n\n") + CommandLineHelpText +
           "\n\n"
           "/C= also takes the name of a port: /C=ttyUSB0 selects the port of that name.\n"
           "\n"
           "Exit codes of an unattended write (/S=):\n"
           "  0  written, or no unattended write was asked for\n"
           "  1  refused before the adapter was touched (no connection, no file,\n"
           "     a file error, the file does not fit from the start address)\n"
           "  2  verification found a difference\n"
           "  3  the target did not answer, or the adapter went away during the run\n"
           "  4  stopped (Stop, Esc, Ctrl+C or SIGTERM); a backup was still written back\n"
           "The outcome of an unattended write is also printed as one line on standard error.\n"
           "\n"
           "Backups: with /B=1 an AT89S8253 write saves the memory it does not write into\n"
           "$XDG_STATE_HOME/kestrin (else ~/.local/state/kestrin) before the chip erase and\n"
           "removes the file once the memory is back in the chip and reads back the same.\n"
           "A backup left there by an interrupted write is named on standard error at\n"
           "every start; /R=1 writes it back (with /T=1) before anything else, and without\n"
           "/S= the program then ends: exit code 0 when every backup is back.\n"
           "\n"
           "  --help     show this text\n"
           "  --version  show the program's version and the adapter driver it uses\n";
}

std::string VersionText() { return std::string("Kestrin ") + ProgramVersion + "\n"; }

std::string DriverText() {
    if (!AdapterDriverLoaded()) return std::string("Adapter driver: ") + DriverFileName() + " not found\n";
    return "Adapter driver: " + AdapterDriverPath() + "\n";
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

int32_t CommandLinePortIndex(const std::vector<std::string>& portNames, int32_t cmdCOM, const std::string& cmdPort) {
    int32_t index = -1;
    for (size_t i = 0; i < portNames.size(); ++i) {
        const bool match = cmdCOM > 0 ? PortNumberOf(portNames[i]) == cmdCOM
                                      : !cmdPort.empty() && SameText(WithoutDevPrefix(portNames[i]), WithoutDevPrefix(cmdPort));
        if (match) index = static_cast<int32_t>(i);
    }
    return index;
}

TExitCode ExitCodeOf(int32_t progResult) {
    switch (progResult) {
        case 0: return ecOk;
        case 2: return ecVerifyFailed;
        case 3: return ecNoAnswer;
        case 4: return ecStopped;
        default: return ecRefused;  // 1: no data, nothing was sent
    }
}

std::string SettingsCommandLine(const TCommandLineSettings& s) {
    std::string line;
    auto add = [&line](const std::string& parameter) {
        if (!line.empty()) line += ' ';
        line += parameter;
    };
    if (const int port = PortNumberOf(s.PortName); port >= 0) {
        add("/C=" + std::to_string(port));
    } else if (!s.PortName.empty()) {
        add("/C=" + s.PortName);
    }
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
