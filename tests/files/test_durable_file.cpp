// The durable replace every file of the program goes through: what is left
// when it works, when the disk is full, when the file is write-protected or a
// symbolic link, and what an interrupted save leaves for the next start.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "files/DurableFile.h"

namespace kestrin::test {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class DurableFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("kestrin-durable-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        FailDurableWritesWith(0);
        std::error_code ec;
        fs::permissions(folder_ / "old.ini", fs::perms::owner_all, ec);
        fs::remove_all(folder_, ec);
    }
    fs::path folder_;
};

TEST_F(DurableFileTest, ReplacesWholeOrNotAtAll) {
    const std::string text = "new contents\n";
    const struct {
        const char* what;
        std::function<fs::path(const fs::path&)> prepare;  // returns the name passed to the replace
        int injected;
        bool ok;
        const char* error;           // part of the message on failure
        const char* expectInTarget;  // what the real file holds afterwards
    } cases[] = {
        {"new file", [](const fs::path& d) { return d / "new.ini"; }, 0, true, "", "new contents\n"},
        {"existing file",
         [](const fs::path& d) {
             std::ofstream(d / "old.ini") << "old\n";
             return d / "old.ini";
         },
         0, true, "", "new contents\n"},
        {"through a symbolic link",
         [](const fs::path& d) {
             fs::create_directories(d / "real");
             std::ofstream(d / "real" / "old.ini") << "old\n";
             fs::create_symlink("real/old.ini", d / "link.ini");
             return d / "link.ini";
         },
         0, true, "", "new contents\n"},
        {"write-protected file",
         [](const fs::path& d) {
             std::ofstream(d / "old.ini") << "old\n";
             fs::permissions(d / "old.ini", fs::perms::owner_read | fs::perms::group_read);
             return d / "old.ini";
         },
         0, false, "write-protected", "old\n"},
        {"full disk",
         [](const fs::path& d) {
             std::ofstream(d / "old.ini") << "old\n";
             return d / "old.ini";
         },
         ENOSPC, false, "No space left on device", "old\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        const fs::path name = c.prepare(folder_);
        FailDurableWritesWith(c.injected);
        std::string error;
        EXPECT_EQ(ReplaceFileDurably(name.string(), text.data(), text.size(), &error), c.ok);
        FailDurableWritesWith(0);
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        const fs::path target = ReplaceTarget(name.string());
        EXPECT_EQ(Contents(target), c.expectInTarget);
        // A link stays a link; no temporary file is left anywhere.
        EXPECT_EQ(fs::is_symlink(name), std::string(c.what) == "through a symbolic link");
        for (const auto& entry : fs::recursive_directory_iterator(folder_))
            EXPECT_EQ(entry.path().string().find(".kestrin-tmp"), std::string::npos) << entry.path();
    }
}

TEST_F(DurableFileTest, TemporariesOfEndedProcessesAreRemovedAtTheNextStart) {
    // A process that has ended: its pid is free.
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const auto make = [&](const std::string& name) { std::ofstream(folder_ / name) << "partial"; };
    make(".Kestrin.ini." + std::to_string(child) + ".0.kestrin-tmp");               // interrupted: removed
    make(".Kestrin.ini." + std::to_string(::getppid()) + ".3.kestrin-tmp");         // a running save: kept
    make("Kestrin.ini");                                                            // not a temporary
    make("notes.kestrin-tmp");                                                      // not ours: no leading dot
    EXPECT_EQ(RemoveInterruptedSaves(folder_.string()), 1);
    EXPECT_EQ(Names(folder_), (std::vector<std::string>{".Kestrin.ini." + std::to_string(::getppid()) + ".3.kestrin-tmp",
                                                        "Kestrin.ini", "notes.kestrin-tmp"}));
}

// The real full disk: a small tmpfs, where the system lets this test mount one.
TEST_F(DurableFileTest, RealFullDiskLeavesTheOldFile) {
    const fs::path mount = folder_ / "small";
    fs::create_directories(mount);
    if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=16k") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here (" << std::strerror(errno) << ")";
    std::ofstream(mount / "data.bin") << "old";
    const std::vector<uint8_t> big(256 * 1024, 0x5A);
    std::string error;
    EXPECT_FALSE(ReplaceFileDurably((mount / "data.bin").string(), big.data(), big.size(), &error));
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    EXPECT_EQ(Contents(mount / "data.bin"), "old");
    EXPECT_EQ(Names(mount), std::vector<std::string>{"data.bin"});
    ::umount(mount.c_str());
}

}  // namespace
}  // namespace kestrin::test
