#include "Options.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <strings.h>

namespace kestrin::virt {

namespace {

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out;
    size_t start = 0;
    while (true) {
        const size_t end = s.find(sep, start);
        out.push_back(Trim(s.substr(start, end == std::string::npos ? std::string::npos : end - start)));
        if (end == std::string::npos) return out;
        start = end + 1;
    }
}

bool ParseFlag(const std::string& v, bool& out) {
    for (const char* t : {"1", "true", "yes", "on"})
        if (strcasecmp(v.c_str(), t) == 0) return out = true, true;
    for (const char* f : {"0", "false", "no", "off"})
        if (strcasecmp(v.c_str(), f) == 0) return out = false, true;
    return false;
}

// Decimal or 0x-prefixed hexadecimal, within [lo, hi].
bool ParseNumber(const std::string& v, unsigned long lo, unsigned long hi, unsigned long& out) {
    if (v.empty() || v[0] == '-' || v[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long n = std::strtoul(v.c_str(), &end, 0);
    if (errno != 0 || end == v.c_str() || *end != '\0' || n < lo || n > hi) return false;
    out = n;
    return true;
}

bool ParseStuckBits(const std::string& v, std::vector<StuckBitSpec>& out, std::string& error) {
    std::vector<StuckBitSpec> bits;
    if (!v.empty()) {
        for (const auto& item : Split(v, ',')) {
            const auto parts = Split(item, ':');
            unsigned long address = 0, bit = 0, value = 0;
            StuckBitSpec s{};
            if (parts.size() != 4 || !chips::ParseSpace(parts[0], s.space) ||
                !ParseNumber(parts[1], 0, 0xFFFFFF, address) || !ParseNumber(parts[2], 0, 7, bit) ||
                !ParseNumber(parts[3], 0, 1, value)) {
                error = "stuck_bit wants space:address:bit:value, e.g. flash:0x0123:3:0 (got \"" + item + "\")";
                return false;
            }
            s.address = static_cast<uint32_t>(address);
            s.bit = static_cast<unsigned>(bit);
            s.value = value != 0;
            bits.push_back(s);
        }
    }
    out = std::move(bits);
    return true;
}

std::string Home() {
    const char* h = std::getenv("HOME");
    return h != nullptr && h[0] == '/' ? h : "";
}

}  // namespace

std::string ConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/kestrin-virtual";
    const std::string home = Home();
    return home.empty() ? "" : home + "/.config/kestrin-virtual";
}

std::string ConfigFilePath() {
    const char* env = std::getenv("VELTRO_VIRTUAL_CONFIG");
    if (env != nullptr && env[0] != '\0') return env;
    const std::string folder = ConfigFolder();
    return folder.empty() ? "" : folder + "/virtual.ini";
}

std::string ResolveStatePath(const std::string& pattern, const std::string& chip, const std::string& port,
                             bool firstPort) {
    std::string p = pattern;
    if (p.empty()) return p;
    if (p.rfind("~/", 0) == 0) {
        const std::string home = Home();
        if (home.empty()) return "";
        p = home + p.substr(1);
    }
    // A port name may hold a path ("/dev/ttyUSB0"): it names a file, not folders.
    std::string portPart = port;
    for (char& c : portPart)
        if (c == '/' || c == '\\') c = '_';
    while (!portPart.empty() && portPart.front() == '_') portPart.erase(0, 1);
    const std::string suffix = firstPort || portPart.empty() ? std::string() : "-" + portPart;
    for (size_t at; (at = p.find("{-port}")) != std::string::npos;) p.replace(at, 7, suffix);
    for (size_t at; (at = p.find("{chip}")) != std::string::npos;) p.replace(at, 6, chip);
    for (size_t at; (at = p.find("{port}")) != std::string::npos;) p.replace(at, 6, portPart);
    return p;
}

Options DefaultOptions() {
    Options o;
    const std::string folder = ConfigFolder();
    o.stateFile = folder.empty() ? "" : folder + "/{chip}{-port}.state";
    return o;
}

bool SetOption(Options& o, const std::string& rawKey, const std::string& rawValue, std::string& error) {
    const std::string key = Trim(rawKey), v = Trim(rawValue);
    bool flag = false;
    unsigned long n = 0;
    auto badFlag = [&] {
        error = key + " wants 0 or 1 (got \"" + v + "\")";
        return false;
    };
    if (key == "chip") {
        auto chip = chips::MakeChip(v);
        if (!chip) {
            error = "unknown chip \"" + v + "\"; known:";
            for (const auto& name : chips::ChipNames()) error += " " + name;
            return false;
        }
        o.chip = chip->Name();
    } else if (key == "ports") {
        std::vector<std::string> ports;
        if (!v.empty()) ports = Split(v, ',');
        for (const auto& p : ports) {
            if (p.empty()) {
                error = "ports wants a comma-separated list of names, e.g. COM1,COM2";
                return false;
            }
        }
        o.ports = std::move(ports);
    } else if (key == "unplugged" || key == "old_firmware" || key == "realtime" || key == "no_target" ||
               key == "wire_sck_inverted" || key == "wire_mosi_inverted" || key == "wire_miso_inverted") {
        if (!ParseFlag(v, flag)) return badFlag();
        bool& target = key == "unplugged"            ? o.unplugged
                       : key == "old_firmware"       ? o.oldFirmware
                       : key == "realtime"           ? o.realtime
                       : key == "no_target"          ? o.noTarget
                       : key == "wire_sck_inverted"  ? o.wireSck
                       : key == "wire_mosi_inverted" ? o.wireMosi
                                                     : o.wireMiso;
        target = flag;
    } else if (key == "firmware") {
        if (!ParseNumber(v, 0, 255, n)) {
            error = "firmware wants a byte, e.g. 0x21 (got \"" + v + "\")";
            return false;
        }
        o.firmware = static_cast<int>(n);
    } else if (key == "state_file") {
        o.stateFile = v;
    } else if (key == "answer_from_attempt") {
        if (!ParseNumber(v, 0, 1000, n)) {
            error = "answer_from_attempt wants a number from 1 to 1000 (got \"" + v + "\")";
            return false;
        }
        o.answerFromAttempt = n == 0 ? 1 : static_cast<unsigned>(n);
    } else if (key == "unplug_after_transfers") {
        if (!ParseNumber(v, 0, 100000000, n)) {
            error = "unplug_after_transfers wants a number of SPI transfers (got \"" + v + "\")";
            return false;
        }
        o.unplugAfterTransfers = static_cast<uint64_t>(n);
    } else if (key == "power_cut_after_transfers") {
        if (!ParseNumber(v, 0, 100000000, n)) {
            error = "power_cut_after_transfers wants a number of SPI transfers (got \"" + v + "\")";
            return false;
        }
        o.powerCutAfterTransfers = static_cast<uint64_t>(n);
    } else if (key == "chip_swap") {
        const auto parts = Split(v, ':');
        unsigned long remove = 0, absent = 0;
        if (v.empty()) {
            o.chipSwap = false;
        } else if (parts.size() != 2 || !ParseNumber(parts[0], 0, 3600000, remove) ||
                   !ParseNumber(parts[1], 1, 3600000, absent)) {
            error = "chip_swap wants REMOVE_MS:ABSENT_MS, e.g. 500:1500 (got \"" + v + "\")";
            return false;
        } else {
            o.chipSwap = true;
            o.swapRemoveMs = static_cast<uint32_t>(remove);
            o.swapAbsentMs = static_cast<uint32_t>(absent);
        }
    } else if (key == "stuck_bit_chip") {
        if (!ParseNumber(v, 0, 100000000, n)) {
            error = "stuck_bit_chip wants the number of a chip in the sequence, 1 for the first (got \"" + v + "\")";
            return false;
        }
        o.stuckBitChip = static_cast<unsigned>(n);
    } else if (key == "stuck_bit") {
        return ParseStuckBits(v, o.stuckBits, error);
    } else if (key == "byte_time_us") {
        if (!ParseNumber(v, 0, 100000, n)) {
            error = "byte_time_us wants microseconds from 0 to 100000 (got \"" + v + "\")";
            return false;
        }
        o.byteTimeUs = static_cast<uint32_t>(n);
    } else if (key == "target_khz") {
        if (!ParseNumber(v, 0, 100000, n)) {
            error = "target_khz wants the target's clock in kHz from 0 to 100000 (got \"" + v + "\")";
            return false;
        }
        o.targetKhz = static_cast<uint32_t>(n);
    } else {
        error = "unknown key \"" + key + "\"";
        return false;
    }
    return true;
}

bool LoadIniFile(const std::string& path, Options& o, std::vector<std::string>& errors) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        // A # or ; after white space starts a comment (paths may contain them otherwise).
        for (size_t i = 1; i < line.size(); ++i) {
            if ((line[i] == '#' || line[i] == ';') && (line[i - 1] == ' ' || line[i - 1] == '\t')) {
                line.resize(i);
                break;
            }
        }
        const std::string t = Trim(line);
        if (t.empty() || t[0] == '#' || t[0] == ';' || t[0] == '[') continue;
        const auto eq = t.find('=');
        std::string error;
        if (eq == std::string::npos)
            error = "expected key = value";
        else
            SetOption(o, t.substr(0, eq), t.substr(eq + 1), error);
        if (!error.empty()) errors.push_back(path + ":" + std::to_string(number) + ": " + error);
    }
    return true;
}

}  // namespace kestrin::virt
