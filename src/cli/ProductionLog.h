// The production log: one JSON object a line per chip, appended by every
// process of a line to the same files. A line goes in with one write() on a
// file opened for appending, under a lock on the file, so lines of several
// processes never mix and a process killed at any moment leaves whole lines.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kestrin {

struct TProductionRecord {
    std::string Time;  // UTC, ISO 8601 with milliseconds
    std::string Port;
    std::string Signature;  // "1E 95 0F"; empty for a part without one
    std::string Chip;
    std::string File;
    std::string FileSha256;
    std::optional<uint64_t> Serial;
    std::string Result;    // "Ok", "failed", "no device", "stopped", "refused"
    int ExitCode = 0;
    double Seconds = 0.0;
    std::string FirstDifference;  // "0123h: wrote 5A, read 52"
    std::string Message;
};

// The log in Kestrin's state folder.
std::string ProductionLogFile();

// The record's line, without the line end.
std::string ProductionLogLine(const TProductionRecord& record);

// Appends one line (a line end is added); false with error set.
bool AppendProductionLine(const std::string& file, const std::string& line, std::string& error);

// The lines of a log as key/value texts (numbers as written, null as "");
// lines that are not whole JSON objects are counted in damaged and skipped.
std::vector<std::map<std::string, std::string>> ReadProductionLog(const std::string& file, int& damaged,
                                                                  std::string& error);

// The columns of the CSV form, in order, and the CSV text of a log's lines.
extern const char* const kProductionColumns[12];
std::string ProductionCsv(const std::vector<std::map<std::string, std::string>>& lines);

// "now" in the log's time format.
std::string ProductionTimeNow();

}  // namespace kestrin
