#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "files/FileExchg.h"
#include "files/FileTestSupport.h"
#include "files/IntelHex.h"

namespace kestrin {
namespace {

using test::ScratchDir;
namespace fs = std::filesystem;

constexpr int kBinaryEntry = 1, kAnyFileEntry = 3;

TEST(BinaryRead, FilesAreTheirBytes) {
    struct Case {
        const char* what;
        std::string contents;
        fs::perms perms;
        FileResult result;
    };
    const std::string hexText = ":0100000055AA\r\n:00000001FF\r\n";
    const Case cases[] = {
        {"zero-length file", "", fs::perms::owner_all, FileNoData},
        {"one byte", "\x5A", fs::perms::owner_all, FileOk},
        {"200000 bytes, no limit of the reader's", std::string(200000, '\xA5'), fs::perms::owner_all, FileOk},
        {"write-protected file", "abc", fs::perms::owner_read, FileOk},
        {"a .hex file is just bytes here", hexText, fs::perms::owner_all, FileOk},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        for (int entry : {kBinaryEntry, kAnyFileEntry}) {
            SCOPED_TRACE(std::string(c.what) + ", entry " + std::to_string(entry));
            const std::string name = dir.Name("data.hex");
            fs::remove(name);
            test::Spit(name, c.contents);
            fs::permissions(name, c.perms);
            std::vector<uint8_t> image{7};
            int32_t size = -1;
            EXPECT_EQ(ReadDataFile(name, entry, image, size), c.result);
            EXPECT_EQ(size, static_cast<int32_t>(c.contents.size()));
            EXPECT_EQ(std::string(image.begin(), image.end()), c.result == FileOk ? c.contents : "");
        }
    }
}

TEST(DataFileRead, UnopenablePathsGiveIoErrorAndSizeZero) {
    ScratchDir dir;
    for (const std::string& name : {dir.Name("missing.bin"), dir.Path().string(), std::string("/dev/null"), std::string()}) {
        for (int entry : {kBinaryEntry, HexFilterIndex, kAnyFileEntry, SRecordFilterIndex, ElfFilterIndex}) {
            SCOPED_TRACE(name + ", entry " + std::to_string(entry));
            std::vector<uint8_t> image{1};
            int32_t size = 3;
            EXPECT_EQ(ReadDataFile(name, entry, image, size), FileIoError);
            EXPECT_TRUE(image.empty());
            EXPECT_EQ(size, 0);
        }
    }
}

TEST(DataFileFormat, OnlyTheHexEntryReadsAndWritesHex) {
    ScratchDir dir;
    const std::string hexText = ":02001000DEAD63\r\n:00000001FF\r\n";
    for (int entry : {0, 1, 2, 3, 6, -1}) {
        SCOPED_TRACE(entry);
        const bool hex = entry == HexFilterIndex;
        const std::string name = dir.Name("data.bin");
        test::Spit(name, hexText);
        std::vector<uint8_t> image;
        int32_t size = 0;
        ASSERT_EQ(ReadDataFile(name, entry, image, size), FileOk);
        std::vector<uint8_t> expected(0x10, 0xFF);
        expected.insert(expected.end(), {0xDE, 0xAD});
        EXPECT_EQ(image, hex ? expected : std::vector<uint8_t>(hexText.begin(), hexText.end()));

        const uint8_t bytes[] = {0x00, 0x0A, 0x0D};  // line-end bytes stay as they are
        ASSERT_EQ(WriteDataFile(name, entry, bytes, 3), FileOk);
        EXPECT_EQ(test::Slurp(name), hex ? ":03000000000A0DE6\r\n:00000001FF\r\n" : std::string("\x00\x0A\x0D", 3));
    }
    const std::string binary = dir.Name("raw.bin");
    test::Spit(binary, std::string("\x01\x02\x03", 3));
    std::vector<uint8_t> image;
    int32_t size = 0;
    EXPECT_EQ(ReadDataFile(binary, HexFilterIndex, image, size), FileNoData);
}

TEST(DataFileWrite, RefusalsLeaveTheFileAlone) {
    ScratchDir dir;
    const std::string name = dir.Name("keep.bin");
    const std::vector<uint8_t> big(kMaxHexWriteSize + 1, 0x11);
    struct Refusal {
        const char* what;
        std::string name;
        const uint8_t* image;
        int32_t size;
        FileResult binary, text;  // text: Intel HEX and S-record
    };
    for (const Refusal& r : {Refusal{"size 0", name, big.data(), 0, FileNoData, FileNoData},
                             Refusal{"negative size", name, big.data(), -4, FileNoData, FileNoData},
                             Refusal{"no image", name, nullptr, 16, FileNoData, FileNoData},
                             Refusal{"empty name", "", big.data(), 16, FileNoData, FileNoData},
                             Refusal{"text formats beyond 16 MB", name, big.data(), kMaxHexWriteSize + 1, FileOk,
                                     FileTooLarge}}) {
        for (int entry : {kBinaryEntry, HexFilterIndex, SRecordFilterIndex, ElfFilterIndex}) {
            const FileResult expected = entry == ElfFilterIndex ? FileFormatError
                                        : entry == kBinaryEntry ? r.binary
                                                                : r.text;
            if (expected == FileOk) continue;
            SCOPED_TRACE(std::string(r.what) + ", entry " + std::to_string(entry));
            test::Spit(name, "old contents");
            EXPECT_EQ(WriteDataFile(r.name, entry, r.image, r.size), expected);
            EXPECT_EQ(test::Slurp(name), "old contents");
            EXPECT_EQ(dir.Entries().size(), 1u);
        }
    }
}

// Places no writer can write to. The test runs as root on CI, and root ignores
// permission bits, so the main cases fail for everybody: a "folder" that is a
// regular file, a read-only kernel file system, and a folder occupying the name.
// Permission bits are tried as well when they bind.
TEST(DataFileWrite, UnwritablePlacesGiveIoErrorAndKeepTheOldFile) {
    ScratchDir dir;
    const std::string plainFile = dir.Name("plain.txt");
    test::Spit(plainFile, "not a folder");
    fs::create_directories(dir.Path() / "occupied" / "inside");
    fs::create_directory(dir.Path() / "locked");
    test::Spit(dir.Path() / "locked" / "old.bin", "old");
    test::Spit(dir.Path() / "protected.bin", "old");
    fs::permissions(dir.Path() / "protected.bin", fs::perms::owner_read);
    fs::permissions(dir.Path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    const bool permissionsBind = ::geteuid() != 0;

    struct Place {
        std::string name;
        bool applies;
    };
    const Place places[] = {
        {plainFile + "/data.bin", true},
        {"/proc/kestrin-data.bin", fs::is_directory("/proc")},
        {dir.Name("occupied"), true},
        {dir.Name("locked") + "/old.bin", permissionsBind},
        {dir.Name("locked") + "/new.bin", permissionsBind},
        {dir.Name("protected.bin"), permissionsBind},
    };
    const uint8_t bytes[] = {1, 2, 3};
    int tried = 0;
    for (const Place& place : places) {
        if (!place.applies) continue;
        for (int entry : {kBinaryEntry, HexFilterIndex, SRecordFilterIndex}) {
            SCOPED_TRACE(place.name + ", entry " + std::to_string(entry));
            const std::optional<std::string> before =
                fs::is_regular_file(place.name) ? std::optional(test::Slurp(place.name)) : std::nullopt;
            EXPECT_EQ(WriteDataFile(place.name, entry, bytes, 3), FileIoError);
            if (before) {
                EXPECT_EQ(test::Slurp(place.name), *before);
            }
            ++tried;
        }
    }
    EXPECT_GE(tried, 4);
    EXPECT_TRUE(fs::is_directory(dir.Path() / "occupied" / "inside"));
    fs::permissions(dir.Path() / "locked", fs::perms::owner_all);
    EXPECT_EQ(dir.Entries().size(), 4u) << "no temporary file is left behind";
}

// A write that fails after it began (here: the file size limit of the process,
// which binds root as well) leaves the old file as it was.
TEST(DataFileWrite, FailingMidwayKeepsTheOldFile) {
    ScratchDir dir;
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    std::mt19937 rng(5);
    const std::vector<uint8_t> image = test::RandomImage(rng, 65536);
    for (int entry : {kBinaryEntry, HexFilterIndex, SRecordFilterIndex}) {
        SCOPED_TRACE(entry);
        const std::string name = dir.Name("firmware.bin");
        test::Spit(name, "the only copy");
        rlimit small = saved;
        small.rlim_cur = 4096;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const FileResult result = WriteDataFile(name, entry, image.data(), 65536);
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
        EXPECT_EQ(result, FileIoError);
        EXPECT_EQ(test::Slurp(name), "the only copy");
        EXPECT_EQ(dir.Entries().size(), 1u) << "no temporary file is left behind";
    }
}

TEST(DataFileWrite, ReplacingKeepsPermissionsAndLinks) {
    ScratchDir dir;
    const uint8_t bytes[] = {0x55};
    const std::string expected[] = {"", "\x55", ":0100000055AA\r\n:00000001FF\r\n", "",
                                    "S00A00004B65737472696E15\r\nS104000055A6\r\nS5030001FB\r\nS9030000FC\r\n"};
    for (int entry : {kBinaryEntry, HexFilterIndex, SRecordFilterIndex}) {
        SCOPED_TRACE(entry);
        const fs::path real = dir.Path() / "real.bin", link = dir.Path() / "link.bin";
        fs::remove(link);
        test::Spit(real, "old");
        const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
        fs::permissions(real, perms);
        fs::create_symlink("real.bin", link);
        ASSERT_EQ(WriteDataFile(link.string(), entry, bytes, 1), FileOk);
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
        EXPECT_EQ(test::Slurp(real), expected[entry]);
        EXPECT_EQ(fs::status(real).permissions(), perms);
        EXPECT_EQ(dir.Entries().size(), 2u);
    }
}

// Reading what the writer wrote gives the same image, in every format and
// under names with blanks and letters beyond ASCII.
TEST(DataFileRoundTrip, RandomImagesComeBackUnchanged) {
    ScratchDir dir;
    std::mt19937 rng(20240605);
    const std::string names[] = {"Prüfung 1.bin", "Daten für Ölheizung °C.hex", "файл данных.obj", "日本 語.bin"};
    std::vector<std::size_t> sizes = {1, 15, 16, 17, 255, 256, 65535, 65536};
    for (int i = 0; i < 8; ++i) sizes.push_back(1 + rng() % 65536);
    for (int entry : {kBinaryEntry, HexFilterIndex, kAnyFileEntry, SRecordFilterIndex}) {
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const std::string& leaf = names[i % std::size(names)];
            SCOPED_TRACE(leaf + ", " + std::to_string(sizes[i]) + " bytes, entry " + std::to_string(entry));
            const std::vector<uint8_t> image = test::RandomImage(rng, sizes[i]);
            const std::string name = dir.Name(leaf);
            ASSERT_EQ(WriteDataFile(name, entry, image.data(), static_cast<int32_t>(image.size())), FileOk);
            EXPECT_TRUE(fs::exists(test::PathOf(name)));
            std::vector<uint8_t> back;
            int32_t size = 0;
            ASSERT_EQ(ReadDataFile(name, entry, back, size), FileOk);
            EXPECT_EQ(size, static_cast<int32_t>(image.size()));
            EXPECT_EQ(back, image);
        }
    }
    EXPECT_EQ(dir.Entries().size(), std::size(names)) << "no temporary file is left behind";
}

}  // namespace
}  // namespace kestrin
