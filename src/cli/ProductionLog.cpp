#include "cli/ProductionLog.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <unistd.h>

#include "cli/Json.h"
#include "files/DurableFile.h"
#include "production/SerialCounter.h"

namespace kestrin {

namespace fs = std::filesystem;

const char* const kProductionColumns[12] = {"time",   "port",     "signature", "chip",
                                            "file",   "file_sha256", "serial", "result",
                                            "exit_code", "duration", "first_difference", "message"};

namespace {

// Reads one flat JSON object: string, number, true/false and null members.
class TFlatJson {
public:
    explicit TFlatJson(std::string_view text) : s_(text) {}

    std::optional<std::map<std::string, std::string>> Parse() {
        std::map<std::string, std::string> members;
        Space();
        if (!Take('{')) return std::nullopt;
        Space();
        if (Take('}')) return End() ? std::optional(members) : std::nullopt;
        while (true) {
            Space();
            std::string key, value;
            if (!String(key)) return std::nullopt;
            Space();
            if (!Take(':')) return std::nullopt;
            Space();
            if (!Value(value)) return std::nullopt;
            members[key] = value;
            Space();
            if (Take('}')) break;
            if (!Take(',')) return std::nullopt;
        }
        return End() ? std::optional(members) : std::nullopt;
    }

private:
    bool End() {
        Space();
        return i_ == s_.size();
    }
    void Space() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r')) ++i_;
    }
    bool Take(char c) {
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    bool String(std::string& out) {
        if (!Take('"')) return false;
        while (i_ < s_.size()) {
            const char c = s_[i_++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (i_ >= s_.size()) return false;
            const char e = s_[i_++];
            switch (e) {
                case '"': case '\\': case '/': out += e; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    if (i_ + 4 > s_.size()) return false;
                    unsigned code = 0;
                    for (int k = 0; k < 4; ++k) {
                        const char h = s_[i_++];
                        code <<= 4;
                        if (h >= '0' && h <= '9') code |= static_cast<unsigned>(h - '0');
                        else if (h >= 'a' && h <= 'f') code |= static_cast<unsigned>(h - 'a' + 10);
                        else if (h >= 'A' && h <= 'F') code |= static_cast<unsigned>(h - 'A' + 10);
                        else return false;
                    }
                    if (code < 0x80) {
                        out += static_cast<char>(code);
                    } else if (code < 0x800) {
                        out += static_cast<char>(0xC0 | (code >> 6));
                        out += static_cast<char>(0x80 | (code & 0x3F));
                    } else {
                        out += static_cast<char>(0xE0 | (code >> 12));
                        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                        out += static_cast<char>(0x80 | (code & 0x3F));
                    }
                    break;
                }
                default: return false;
            }
        }
        return false;
    }
    bool Value(std::string& out) {
        if (i_ < s_.size() && s_[i_] == '"') return String(out);
        for (const char* word : {"null", "true", "false"}) {
            const std::string_view w = word;
            if (s_.substr(i_, w.size()) == w) {
                i_ += w.size();
                if (w != "null") out = word;
                return true;
            }
        }
        const size_t from = i_;
        while (i_ < s_.size() && std::strchr("+-.0123456789eE", s_[i_]) != nullptr) ++i_;
        out = std::string(s_.substr(from, i_ - from));
        return i_ > from;
    }

    std::string_view s_;
    size_t i_ = 0;
};

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string ProductionLogFile() { return (fs::path(ProductionFolder()) / "production.log").string(); }

std::string ProductionTimeNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[40];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(ms));
    return text;
}

std::string ProductionLogLine(const TProductionRecord& r) {
    TJsonObject json;
    json.Add("time", r.Time).Add("port", r.Port).Add("signature", r.Signature).Add("chip", r.Chip);
    json.Add("file", r.File).Add("file_sha256", r.FileSha256);
    if (r.Serial) {
        json.AddRaw("serial", std::to_string(*r.Serial));  // all 64 bits, unsigned
    } else {
        json.AddNull("serial");
    }
    json.Add("result", r.Result).Add("exit_code", r.ExitCode).AddSeconds("duration", r.Seconds);
    if (r.FirstDifference.empty()) {
        json.AddNull("first_difference");
    } else {
        json.Add("first_difference", r.FirstDifference);
    }
    json.Add("message", r.Message);
    return json.Text();
}

bool AppendProductionLine(const std::string& file, const std::string& line, std::string& error) {
    const std::string folder = fs::path(file).parent_path().string();
    if (!folder.empty() && !MakeFolders(folder, &error)) return false;
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = file + ": " + std::strerror(errno);
        return false;
    }
    // The lock keeps lines whole on file systems where appends of several
    // processes are not atomic by themselves (NFS).
    LockFileExclusive(fd);
    const std::string whole = line + "\n";
    ssize_t written = 0;
    do {
        written = ::write(fd, whole.data(), whole.size());
    } while (written < 0 && errno == EINTR);
    bool ok = written == static_cast<ssize_t>(whole.size());
    if (!ok) {
        error = file + ": " + (written < 0 ? std::strerror(errno) : "the line was written only in part");
        // A part of a line would spoil the next one: cut it off again.
        if (written > 0) {
            const off_t end = ::lseek(fd, 0, SEEK_END);
            if (end >= written && ::ftruncate(fd, end - written) != 0) error += " (and could not be cut off)";
        }
    }
    if (ok && ::fsync(fd) != 0) {
        error = file + ": " + std::strerror(errno);
        ok = false;
    }
    ::close(fd);
    return ok;
}

std::vector<std::map<std::string, std::string>> ReadProductionLog(const std::string& file, int& damaged,
                                                                  std::string& error) {
    damaged = 0;
    std::vector<std::map<std::string, std::string>> lines;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "no production log " + file;
        return lines;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        if (auto members = TFlatJson(line).Parse()) {
            lines.push_back(std::move(*members));
        } else {
            ++damaged;
        }
    }
    return lines;
}

std::string ProductionCsv(const std::vector<std::map<std::string, std::string>>& lines) {
    std::string csv;
    for (const char* column : kProductionColumns) csv += (csv.empty() ? "" : ",") + std::string(column);
    csv += "\r\n";
    for (const auto& members : lines) {
        std::string row;
        bool first = true;
        for (const char* column : kProductionColumns) {
            const auto it = members.find(column);
            row += (first ? "" : ",") + CsvField(it == members.end() ? std::string() : it->second);
            first = false;
        }
        csv += row + "\r\n";
    }
    return csv;
}

}  // namespace kestrin
