// The production log as files, and the command line of a worker process: lines appended by several processes stay
// whole, a torn last line is skipped when reading, and the CSV form quotes
// what a spreadsheet would split.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "cli/Produce.h"
#include "support/ScratchDir.h"
#include "cli/ProductionLog.h"

namespace kestrin {
namespace {

namespace fs = std::filesystem;

class ProductionLogTest : public ::testing::Test {
protected:
    std::string File() const { return (dir_ / "sub" / "production.log").string(); }
    test::ScratchDir scratch_{"kestrin-log"};
    const fs::path& dir_ = scratch_.Path();
};

TProductionRecord Record(uint64_t serial, const std::string& message) {
    TProductionRecord r;
    r.Time = ProductionTimeNow();
    r.Port = "COM1";
    r.Signature = "1E 93 07";
    r.Chip = "ATmega8";
    r.File = "fw \"v2\".hex";
    r.FileSha256 = std::string(64, 'a');
    r.Serial = serial;
    r.Result = message.empty() ? "Ok" : "failed";
    r.ExitCode = message.empty() ? 0 : 2;
    r.Seconds = 1.25;
    r.Message = message;
    return r;
}

TEST_F(ProductionLogTest, LinesOfManyProcessesStayWholeAndReadBack) {
    constexpr int kProcesses = 4, kLines = 50;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::string error;
            for (int i = 0; i < kLines; ++i)
                if (!AppendProductionLine(File(), ProductionLogLine(Record(p * 1000 + i, std::string(300, 'x'))), error))
                    _exit(1);
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    // A process killed in the middle of a write would leave at most this: a line without its end.
    std::ofstream(File(), std::ios::app) << R"({"time":"2026-01-01T00:00:00.000Z","port":"CO)";
    int damaged = 0;
    std::string error;
    const auto lines = ReadProductionLog(File(), damaged, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(damaged, 1);
    ASSERT_EQ(lines.size(), size_t{kProcesses * kLines});
    std::set<std::string> serials;
    for (const auto& line : lines) serials.insert(line.at("serial"));
    EXPECT_EQ(serials.size(), lines.size());
    EXPECT_EQ(lines[0].at("file"), "fw \"v2\".hex");
    EXPECT_EQ(lines[0].at("duration"), "1.250");
    EXPECT_EQ(lines[0].at("first_difference"), "");
}

TEST_F(ProductionLogTest, CsvQuotesWhatASpreadsheetWouldSplit) {
    std::string error;
    TProductionRecord big = Record(18446744073709551615u, "Verify failed at 0000h: wrote B2, read 32");
    big.FirstDifference = "Verify failed at 0000h: wrote B2, read 32";
    ASSERT_TRUE(AppendProductionLine(File(), ProductionLogLine(big), error)) << error;
    TProductionRecord plain = Record(7, "");
    plain.Serial.reset();
    ASSERT_TRUE(AppendProductionLine(File(), ProductionLogLine(plain), error)) << error;
    int damaged = 0;
    const std::string csv = ProductionCsv(ReadProductionLog(File(), damaged, error));
    std::istringstream rows(csv);
    std::string header, first, second;
    std::getline(rows, header);
    std::getline(rows, first);
    std::getline(rows, second);
    EXPECT_EQ(header, "time,port,signature,chip,file,file_sha256,serial,result,exit_code,duration,first_difference,"
                      "message\r");
    EXPECT_NE(first.find(",COM1,1E 93 07,ATmega8,\"fw \"\"v2\"\".hex\"," + std::string(64, 'a') +
                         ",18446744073709551615,failed,2,1.250,\"Verify failed at 0000h: wrote B2, read 32\","),
              std::string::npos)
        << first;
    EXPECT_NE(second.find(",,Ok,0,1.250,,\r"), std::string::npos) << second;
    // Every line of the log is one JSON object a reader other than ours takes too.
    std::ifstream in(File());
    for (std::string line; std::getline(in, line);)
        EXPECT_TRUE(nlohmann::json::accept(line)) << line;
}

}  // namespace
}  // namespace kestrin

namespace kestrin {
namespace {

// A worker gets the whole command line but with its own port only.
TEST(ProduceWorkers, ArgumentsKeepEverythingButThePorts) {
    struct Case {
        std::vector<std::string> argv;
        std::vector<std::string> worker;
    };
    const Case cases[] = {
        {{"kestrin-cli", "--chip", "ATmega8", "produce", "fw.hex", "--port", "A", "--port", "B", "--count", "3"},
         {"kestrin-cli", "--chip", "ATmega8", "produce", "fw.hex", "--count", "3", "--port", "X", "--worker"}},
        {{"kestrin-cli", "-p", "A", "produce", "-pB", "--port=C", "fw.hex", "-P", "2", "--serial", "0:4:le:1"},
         {"kestrin-cli", "produce", "fw.hex", "-P", "2", "--serial", "0:4:le:1", "--port", "X", "--worker"}},
    };
    for (const Case& c : cases) EXPECT_EQ(WorkerArguments(c.argv, "X"), c.worker);
}

}  // namespace
}  // namespace kestrin
