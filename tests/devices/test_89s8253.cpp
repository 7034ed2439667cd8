#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "DeviceTest.h"
#include "devices/Unit89S8253.h"

namespace kestrin::test {
namespace {

using Kind = FakeTarget::Kind;

// Image bytes that never look like a page instruction at the start of a call.
std::vector<uint8_t> Pattern(size_t size, uint8_t seed = 0) {
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>((i + seed) % 15 + 1);
    return v;
}

class PageModeTest : public RecordingRunTest {
protected:
    void SetUp() override {
        RecordingRunTest::SetUp();
        params.WaitFlash = 4500;
        params.WaitEEPROM = 4321;
        params.WaitErase = 9000;
    }

    FakeTarget& Target(Kind kind) {
        target = std::make_unique<FakeTarget>(kind);
        target->Install(driver);
        return *target;
    }

    size_t Count(const std::string& prefix) const { return LinesStarting(prefix).size(); }

    std::unique_ptr<FakeTarget> target;
};

TEST_F(PageModeTest, BlocksOutsideTheirMemoryAreRefusedBeforeAnythingIsSent) {
    Target(Kind::AT89S8253);
    const auto image = Pattern(4);
    const std::vector<TRefusedBlock> cases = {
        {"8253 Flash past 16 KB", Write89S8253, Read89S8253, 16383, 2, false, false},
        {"8253 Flash larger than 16 KB", Write89S8253, Read89S8253, 0, 16385, false, false},
        {"8253 E²PROM past 2 KB", Write89S8253, Read89S8253, 2047, 2, true, false},
        {"8253 negative start", Write89S8253, Read89S8253, -64, 4, false, false},
        {"8253 size 0", Write89S8253, Read89S8253, 0, 0, false, false},
        {"8253 no data", Write89S8253, nullptr, 0, 4, false, true},
        {"S52 Flash past 8 KB", Write89S52, Read89S52, 8191, 2, false, false},
        {"S52 E²PROM", Write89S52, Read89S52, 0, 4, true, false},
        {"S52 no data", Write89S52, nullptr, 0, 4, false, true},
    };
    ExpectRefused(image, cases);
    // The last byte of each range is still accepted.
    const auto one = Pattern(1);
    EXPECT_EQ(Write89S8253(Block(one, 16383), progress), ProgOk);
    EXPECT_EQ(Write89S8253(Block(one, 2047, true), progress), ProgOk);
    Target(Kind::AT89S52);
    EXPECT_EQ(Write89S52(Block(one, 8191), progress), ProgOk);
}

TEST_F(PageModeTest, FlashWriteOfOneByteIsOneRunOfExactCalls) {
    Target(Kind::AT89S8253);
    const std::vector<uint8_t> image{0x42};
    EXPECT_EQ(Write89S8253(Block(image, 0x0100), progress), ProgOk);
    std::vector<std::string> expected{"SetLevels 0 0 0", "SetCycleTime 0", "SetReadMode 1"};
    Append(expected, HandshakeLines(1, true, 50000, 50000));
    Append(expected, {"Delay 20000", "SPIW AC 80 00 00", "Delay 9000", "SetEnables 0 1", "Delay 500000"});
    Append(expected, HandshakeLines(1, true, 50000, 50000));
    std::vector<uint8_t> page{0x50, 0x01, 0x00, 0x42};
    page.resize(3 + 64, 0xFF);
    Append(expected, CallLines("SPIW", page));
    Append(expected, {"Delay 4500", "Delay 1000", "SetEnables 0 1", "SetLevels 0 0 0"});
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(progress.Calls.size(), 7u);
    EXPECT_EQ(progress.Values, (std::vector<int32_t>{0, 0}));
}

TEST_F(PageModeTest, ImagesArePlacedOnWholePages) {
    const struct {
        const char* what;
        Kind kind;
        int32_t start, size;
        bool eeprom;
        std::vector<std::string> headers;  // the first and the last page write
        size_t pageWrites;                 // page write instructions
        size_t callsPerPage;
    } cases[] = {
        {"8253 Flash 0x10+100", Kind::AT89S8253, 0x10, 100, false, {"SPIW 50 00 00", "SPIW 50 00 40"}, 2, 5},
        {"8253 Flash top page", Kind::AT89S8253, 0x2FC0, 64, false, {"SPIW 50 2F C0", "SPIW 50 2F C0"}, 1, 5},
        {"8253 whole E²PROM", Kind::AT89S8253, 0, 2048, true, {"SPIW D0 00 00", "SPIW D0 07 E0"}, 128, 3},
        {"S52 0x110+0x200", Kind::AT89S52, 0x110, 0x200, false, {"SPIW 50 01", "SPIW 50 03"}, 3, 17},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        driver.Reset();
        FakeTarget& chip = Target(c.kind);
        const auto image = Pattern(static_cast<size_t>(c.size));
        TProgParams p = Block(image, c.start, c.eeprom);
        p.Backup = true;  // no effect on the AT89S52
        p.Verify = true;
        EXPECT_EQ(c.kind == Kind::AT89S52 ? Write89S52(p, progress) : Write89S8253(p, progress), ProgOk);

        const auto headers = LinesStarting(c.eeprom ? "SPIW D0" : "SPIW 50");
        ASSERT_EQ(headers.size(), c.pageWrites);
        EXPECT_EQ(headers.front().substr(0, c.headers[0].size()), c.headers[0]);
        EXPECT_EQ(headers.back().substr(0, c.headers[1].size()), c.headers[1]);
        // 16-byte calls, the header's bytes riding in the first, the rest in the last.
        const auto all = Log();
        const auto first = std::find(all.begin(), all.end(), headers.front());
        EXPECT_EQ(std::count_if(first, first + static_cast<long>(c.callsPerPage),
                                [](const std::string& l) { return l.size() == 4 + 3 * 16; }),
                  static_cast<long>(c.callsPerPage - 1));

        // The bytes around the image are erased cells written as 0xFF.
        const auto& mem = c.eeprom ? chip.EEPROM : chip.Flash;
        EXPECT_TRUE(std::equal(image.begin(), image.end(), mem.begin() + c.start));
        EXPECT_TRUE(std::all_of(mem.begin(), mem.begin() + c.start, [](uint8_t b) { return b == 0xFF; }));
        if (c.eeprom) {
            EXPECT_EQ(Count("Delay 4321"), 2u * 64);
        }
        if (c.kind == Kind::AT89S52) {
            EXPECT_EQ(Count("SPIW 30") + Count("SPIW B0"), 3u);  // verification only
        }
    }
}

TEST_F(PageModeTest, TargetThatNeverAnswers) {
    const auto image = Pattern(10);
    const struct {
        const char* what;
        Kind kind;
        bool eeprom;
        bool echoOnly;
        int handshakes;
    } cases[] = {
        {"8253 Flash stops before the erase", Kind::AT89S8253, false, false, 1},
        {"8253 E²PROM tries twice", Kind::AT89S8253, true, false, 2},
        {"S52 answering without its signature", Kind::AT89S52, false, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        driver.Reset();
        FakeTarget& chip = Target(c.kind);
        chip.Answers = [](int) { return false; };
        chip.EchoWithoutSignature = c.echoOnly;
        const TProgParams p = Block(image, 0, c.eeprom);
        EXPECT_EQ(c.kind == Kind::AT89S52 ? Write89S52(p, progress) : Write89S8253(p, progress), ProgNoDevice);
        std::vector<std::string> expected{"SetLevels 0 0 0", "SetCycleTime 0", "SetReadMode 1"};
        for (int h = 0; h < c.handshakes; ++h) Append(expected, HandshakeLines(kHandshakeAttempts, false, 50000, 50000));
        Append(expected, {"Delay 1000", "SetEnables 0 1", "SetLevels 0 0 0"});
        EXPECT_EQ(Log(), expected);
        EXPECT_EQ(chip.Erases, 0);
    }
}

TEST_F(PageModeTest, BackupKeepsTheOtherMemoryWithAPauseAfterEveryRestoredPage) {
    const struct {
        bool eeprom;
        const char* backupRead;
        const char* restorePause;
        size_t pages;
        const char* lastRestoreHeader;
    } cases[] = {{false, "SPIW B0", "Delay 4321", 64, "SPIW D0 07 E0"}, {true, "SPIW 30", "Delay 4500", 192, "SPIW 50 2F C0"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.eeprom ? "E²PROM write" : "Flash write");
        driver.Reset();
        progress = ProgressRecorder{};
        FakeTarget& chip = Target(Kind::AT89S8253);
        auto& other = c.eeprom ? chip.Flash : chip.EEPROM;
        const size_t kept = c.eeprom ? 12288 : 2048;
        const auto before = Pattern(kept, 7);
        std::copy(before.begin(), before.end(), other.begin());
        const auto image = Pattern(40);
        TProgParams p = Block(image, 0x20, c.eeprom);
        p.Backup = true;
        p.Verify = true;
        TRunReport report;
        p.Report = &report;
        EXPECT_EQ(Write89S8253(p, progress), ProgOk);
        EXPECT_TRUE(std::equal(before.begin(), before.end(), other.begin()));
        // Read before the erase, and read back after it was written back.
        EXPECT_EQ(Count(c.backupRead), 2 * c.pages);
        // Restored pages go out as a lone header and then the data, each followed by its pause.
        EXPECT_EQ(LinesStarting(std::string(c.lastRestoreHeader).substr(0, 7)).back(), c.lastRestoreHeader);
        EXPECT_EQ(Count(c.restorePause), c.pages);
        std::vector<std::string> phases;
        for (const auto& call : progress.Calls)
            if (call.rfind("Color", 0) == 0 || call.rfind("Max", 0) == 0) phases.push_back(call);
        const std::string backupMax = "Max " + std::to_string(c.pages - 1);
        const std::string imageMax = "Max 1";  // two pages either way
        EXPECT_EQ(phases, (std::vector<std::string>{"Color FF0000", imageMax, "Color 008000", backupMax, "Color FF0000",
                                                    imageMax, "Color 008000", imageMax, "Color FF0000", backupMax,
                                                    "Color 008000", backupMax}));
        // Written back: no copy is left pending for the caller.
        EXPECT_FALSE(report.PendingBackup.has_value());
        EXPECT_EQ(report.BytesWritten, 40);
    }
}

TEST_F(PageModeTest, VerificationDifferenceStillRestoresTheBackup) {
    FakeTarget& chip = Target(Kind::AT89S8253);
    chip.StuckFlash = {0x0105};
    const auto before = Pattern(2048, 3);
    std::copy(before.begin(), before.end(), chip.EEPROM.begin());
    const auto image = Pattern(16);
    TProgParams p = Block(image, 0x0100);
    p.Backup = true;
    p.Verify = true;
    EXPECT_EQ(Write89S8253(p, progress), ProgVerifyFailed);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), chip.EEPROM.begin()));
}

// The keeper (the backup journal) gets the copy before the erase and may
// forbid the erase; it hears of the copy again only once it read back the same.
class RecordingKeeper : public IBackupKeeper {
public:
    bool Accept = true;
    std::vector<std::vector<uint8_t>> Kept;
    int Released = 0;
    bool Keep(const TStrandedBackup& backup, std::string& reason) override {
        Kept.push_back(backup.Data);
        if (!Accept) reason = "disk full";
        return Accept;
    }
    void Restored() override { ++Released; }
};

TEST_F(PageModeTest, KeeperIsAskedBeforeTheEraseAndReleasedOnlyAfterAReadBack) {
    const struct {
        const char* what;
        bool accept;
        bool stuck;  // a Flash cell that does not take the restored byte
        ProgResult result;
        int erases;
        int released;
    } cases[] = {
        {"kept and restored", true, false, ProgOk, 1, 1},
        {"not kept: nothing erased", false, false, ProgNoData, 0, 0},
        {"restore reads back differently", true, true, ProgVerifyFailed, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        driver.Reset();
        FakeTarget& chip = Target(Kind::AT89S8253);
        const auto before = Pattern(12288, 11);
        std::copy(before.begin(), before.end(), chip.Flash.begin());
        if (c.stuck) chip.StuckFlash = {0x0203};
        RecordingKeeper keeper;
        keeper.Accept = c.accept;
        const auto image = Pattern(32);
        TProgParams p = Block(image, 0, true);
        p.Backup = true;
        TRunReport report;
        p.Report = &report;
        p.Keeper = &keeper;
        EXPECT_EQ(Write89S8253(p, progress), c.result);
        ASSERT_EQ(keeper.Kept.size(), 1u);
        EXPECT_EQ(keeper.Kept[0], before);
        EXPECT_EQ(chip.Erases, c.erases);
        EXPECT_EQ(keeper.Released, c.released);
        // Until it read back the same, the copy stays with the caller.
        EXPECT_EQ(report.PendingBackup.has_value(), c.accept && c.released == 0);
        EXPECT_EQ(report.RestoreFailed, c.stuck);
        if (!c.accept) {
            EXPECT_EQ(report.Refusal, "disk full");
            EXPECT_TRUE(std::equal(before.begin(), before.end(), chip.Flash.begin()));
        }
    }
}

TEST_F(PageModeTest, BackupThatCannotBeWrittenBackIsKeptForTheCaller) {
    for (bool eeprom : {false, true}) {
        SCOPED_TRACE(eeprom ? "E²PROM write" : "Flash write");
        driver.Reset();
        FakeTarget& chip = Target(Kind::AT89S8253);
        auto& other = eeprom ? chip.Flash : chip.EEPROM;
        const auto before = Pattern(eeprom ? 12288 : 2048, 5);
        std::copy(before.begin(), before.end(), other.begin());
        chip.Answers = [](int n) { return n == 1; };  // gone after the erase
        const auto image = Pattern(8);
        TProgParams p = Block(image, 0, eeprom);
        p.Backup = true;
        TRunReport lost;
        p.Report = &lost;
        EXPECT_EQ(Write89S8253(p, progress), ProgNoDevice);
        EXPECT_EQ(chip.Erases, 1);
        const auto& stranded = lost.PendingBackup;
        ASSERT_TRUE(stranded.has_value());
        EXPECT_EQ(stranded->EEPROM, !eeprom);
        EXPECT_EQ(stranded->Data, before);
    }
}

TEST_F(PageModeTest, EEPROMIsErasedEvenWhenTheFirstHandshakeFails) {
    // The E²PROM has no erase of its own: pages written over old contents
    // would hold the AND of both. A target that misses the first handshake
    // gets a second one, and the erase (with its backup) follows it.
    FakeTarget& chip = Target(Kind::AT89S8253);
    const auto flash = Pattern(12288, 7);
    std::copy(flash.begin(), flash.end(), chip.Flash.begin());
    std::fill(chip.EEPROM.begin(), chip.EEPROM.end(), 0x0F);
    const auto image = Pattern(32, 9);
    TProgParams p = Block(image, 0, true);
    p.Backup = true;
    p.Verify = true;
    chip.Answers = [](int n) { return n > kHandshakeAttempts; };
    EXPECT_EQ(Write89S8253(p, progress), ProgOk);
    EXPECT_EQ(chip.Erases, 1);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), chip.EEPROM.begin()));
    EXPECT_TRUE(std::equal(flash.begin(), flash.end(), chip.Flash.begin()));

    // Nothing answers at all: nothing is erased or written.
    driver.Reset();
    FakeTarget& absent = Target(Kind::AT89S8253);
    absent.Answers = [](int) { return false; };
    EXPECT_EQ(Write89S8253(p, progress), ProgNoDevice);
    EXPECT_EQ(absent.Erases, 0);
    EXPECT_EQ(Count("SPIW D0"), 0u);
}

TEST_F(PageModeTest, FuseAndLockBits) {
    FakeTarget& chip = Target(Kind::AT89S8253);
    EXPECT_TRUE(WriteFuseLock89S8253(0xF5, 0xFA));
    auto expected = HandshakeLines(1, true, 50000, 50000);
    Append(expected, {"SPIW AC 15 00 00", "Delay 4500", "SPIW AC E2 00 00"});
    EXPECT_EQ(Log(), expected);

    driver.ClearLog();
    chip.Answers = [](int) { return false; };
    EXPECT_FALSE(WriteFuseLock89S8253(0x05, 0x02));
    EXPECT_EQ(Count("SPIW "), 0u);
}

TEST_F(PageModeTest, ReadsReturnTheRangeFromWholePages) {
    const struct {
        const char* what;
        Kind kind;
        int32_t start, size;
        bool eeprom;
        const char* firstHeader;
        size_t pages, callsPerPage;
    } cases[] = {
        {"8253 Flash", Kind::AT89S8253, 0x30, 100, false, "SPIW 30 00 00", 3, 4},
        {"8253 E²PROM", Kind::AT89S8253, 0x7F0, 16, true, "SPIW B0 07 E0", 1, 2},
        {"S52 Flash", Kind::AT89S52, 0x1F0, 0x20, false, "SPIW 30 01", 2, 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        driver.Reset();
        progress = ProgressRecorder{};
        FakeTarget& chip = Target(c.kind);
        auto& mem = c.eeprom ? chip.EEPROM : chip.Flash;
        const auto content = Pattern(mem.size(), 9);
        std::copy(content.begin(), content.end(), mem.begin());
        TProgParams p = params;
        p.StartAddress = c.start;
        p.Size = c.size;
        p.EEPROM = c.eeprom;
        std::vector<uint8_t> data;
        EXPECT_EQ(c.kind == Kind::AT89S52 ? Read89S52(p, progress, data) : Read89S8253(p, progress, data), ProgOk);
        EXPECT_EQ(data, std::vector<uint8_t>(content.begin() + c.start, content.begin() + c.start + c.size));
        EXPECT_EQ(LinesStarting("SPIW ").front(), c.firstHeader);
        EXPECT_EQ(Count("SPIWR 00"), c.pages * c.callsPerPage);
        EXPECT_EQ(Count("SPIW AC 80"), 0u);
        EXPECT_EQ(std::vector<std::string>(progress.Calls.begin(), progress.Calls.begin() + 4),
                  (std::vector<std::string>{"Color 008000", "Progress 0", "Max " + std::to_string(c.pages - 1),
                                            "Text 0,0s"}));

        chip.Answers = [](int) { return false; };
        data = {1, 2};
        EXPECT_EQ(c.kind == Kind::AT89S52 ? Read89S52(p, progress, data) : Read89S8253(p, progress, data), ProgNoDevice);
        EXPECT_TRUE(data.empty());
    }
}

}  // namespace
}  // namespace kestrin::test
