// The serial-number counter as production processes share it: numbers taken,
// consumed or given back, several processes at once, a process that dies
// holding a number, a damaged or exhausted counter.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "production/SerialCounter.h"
#include "support/ScratchDir.h"

namespace kestrin {
namespace {

namespace fs = std::filesystem;

class SerialCounterTest : public ::testing::Test {
protected:
    std::string File() const { return SerialCounterFile(series_, dir_.string()); }

    test::ScratchDir scratch_{"kestrin-counter"};
    const fs::path& dir_ = scratch_.Path();
    TSerialSeries series_{0, 4, TSerialFormat::BinaryLE, 1000, 1};
};

TEST_F(SerialCounterTest, AFailedChipsNumberGoesToTheNextChip) {
    TSerialCounter counter(File(), series_);
    std::string error;
    EXPECT_EQ(counter.Peek(error), 1000u);
    const auto a = counter.Take(error), b = counter.Take(error), c = counter.Take(error);
    ASSERT_TRUE(a && b && c) << error;
    EXPECT_EQ(std::vector<uint64_t>({*a, *b, *c}), std::vector<uint64_t>({1000, 1001, 1002}));
    EXPECT_TRUE(counter.Consume(*a, error));
    EXPECT_TRUE(counter.GiveBack(*b, error));
    EXPECT_TRUE(counter.Consume(*c, error));
    // Another process opening the file sees the same: 1001 first, then new numbers.
    TSerialCounter again(File(), series_);
    EXPECT_EQ(again.Peek(error), 1001u);
    EXPECT_EQ(again.Take(error), 1001u);
    EXPECT_EQ(again.Take(error), 1003u);
    // Giving back a number this process does not hold changes nothing.
    EXPECT_TRUE(again.GiveBack(1000, error));
    EXPECT_EQ(again.State(error)->Free, std::set<uint64_t>{});
}

TEST_F(SerialCounterTest, StepsAndStopsAtTheLastNumberTheFormatHolds) {
    series_ = {0, 1, TSerialFormat::BinaryLE, 250, 3};
    TSerialCounter counter(File(), series_);
    std::string error;
    EXPECT_EQ(counter.Take(error), 250u);
    EXPECT_EQ(counter.Take(error), 253u);
    EXPECT_FALSE(counter.Take(error));
    EXPECT_NE(error.find("used up"), std::string::npos) << error;
    // A number given back is still handed out.
    EXPECT_TRUE(counter.GiveBack(253, error));
    EXPECT_EQ(counter.Take(error), 253u);
}

TEST_F(SerialCounterTest, ProcessesSharingTheCounterNeverGetTheSameNumber) {
    constexpr int kProcesses = 4;
    constexpr int kChips = 25;
    std::vector<std::pair<pid_t, int>> children;
    for (int p = 0; p < kProcesses; ++p) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(ends[0]);
            TSerialCounter counter(File(), series_);
            std::string error, used;
            int good = 0;
            for (int attempt = 0; good < kChips; ++attempt) {
                const auto n = counter.Take(error);
                if (!n) _exit(2);
                // Every third chip of process 1 fails and gives its number back.
                const bool ok = !(p == 1 && attempt % 3 == 0);
                if (!(ok ? counter.Consume(*n, error) : counter.GiveBack(*n, error))) _exit(3);
                if (ok) {
                    used += std::to_string(*n) + "\n";
                    ++good;
                }
            }
            if (write(ends[1], used.data(), used.size()) != static_cast<ssize_t>(used.size())) _exit(4);
            _exit(0);
        }
        close(ends[1]);
        children.emplace_back(pid, ends[0]);
    }
    std::vector<uint64_t> used;
    for (auto [pid, fd] : children) {
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
        close(fd);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        std::istringstream lines(text);
        for (uint64_t n; lines >> n;) used.push_back(n);
    }
    std::sort(used.begin(), used.end());
    ASSERT_EQ(used.size(), size_t{kProcesses * kChips});
    // Distinct and without a gap: the failed chips' numbers went to later chips.
    for (size_t i = 0; i < used.size(); ++i) EXPECT_EQ(used[i], 1000 + i);
    std::string error;
    const auto state = TSerialCounter(File(), series_).State(error);
    ASSERT_TRUE(state) << error;
    EXPECT_TRUE(state->Held.empty());
    EXPECT_TRUE(state->Free.empty());
}

TEST_F(SerialCounterTest, ANumberOfAProcessThatDiedHoldingItIsNeverHandedOutAgain) {
    TSerialCounter counter(File(), series_);
    std::string error;
    ASSERT_EQ(counter.Take(error), 1000u);  // held by this process, which lives on
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // Takes a number and dies without a word, as kill -9 in the middle of a chip leaves it.
        TSerialCounter child(File(), series_);
        std::string childError;
        _exit(child.Take(childError) == 1001u ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(counter.Take(error), 1002u);
    ASSERT_EQ(counter.NewlyRetired().size(), 1u);
    EXPECT_EQ(counter.NewlyRetired()[0].Number, 1001u);
    EXPECT_EQ(counter.NewlyRetired()[0].Pid, pid);
    const auto state = counter.State(error);
    ASSERT_TRUE(state);
    ASSERT_EQ(state->Held.size(), 2u);  // 1000 and 1002, both this process's
    EXPECT_EQ(state->Retired.size(), 1u);
    // Giving the numbers back hands out 1000 and 1002 again, never 1001.
    EXPECT_TRUE(counter.GiveBack(1000, error));
    EXPECT_TRUE(counter.GiveBack(1002, error));
    EXPECT_EQ(counter.Take(error), 1000u);
    EXPECT_EQ(counter.Take(error), 1002u);
    EXPECT_EQ(counter.Take(error), 1003u);
}

TEST_F(SerialCounterTest, ADamagedCounterHandsOutNothing) {
    for (const char* text : {"next=12x\n", "garbage\n", "# only a comment\n", "next=5\nheld=7\n"}) {
        std::ofstream(File()) << text;
        TSerialCounter counter(File(), series_);
        std::string error;
        EXPECT_FALSE(counter.Take(error)) << text;
        EXPECT_NE(error.find("damaged"), std::string::npos) << error;
        std::ifstream in(File());
        std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(kept, text);
    }
}

}  // namespace
}  // namespace kestrin
