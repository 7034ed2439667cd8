// The programming job as the program wires it: the main window and the hex
// view (built by TForms, as at start-up) run chips only through it. Faults it
// must catch: bytes going to the wrong memory, a file read with a type it was
// not chosen under, an adapter lost in the middle reported as success, a
// memory the chip lacks, a stop that loses the other memory.
#include <QTimer>

#include <algorithm>
#include <fstream>

#include "app/AppFixture.h"
#include "app/Forms.h"
#include "files/FileExchg.h"
#include "files/IntelHex.h"
#include "jobs/BackupJournal.h"
#include "jobs/ProgrammingJob.h"
#include "ui/UnitRead.h"
#include "virtual/VirtualDriver.h"

namespace kestrin::test {
namespace {

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 29 + (i >> 8));
    return bytes;
}

bool AllErased(const std::vector<uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xFF; });
}

class ProgrammingJobTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        virtual_ = std::make_unique<VirtualDriver>();
    }
    void TearDown() override {
        forms_.reset();
        AppTest::TearDown();
    }

    // The program's windows, connected to the virtual chip, with file selected.
    TFormMain& Program(const char* chip, uint8_t type, const std::string& file) {
        virtual_->Set("chip", chip);
        SelectUserProfile(type);
        Config.LastFile = file;
        Config.Autoconnect = true;
        forms_ = std::make_unique<TForms>();
        EXPECT_TRUE(Connected);
        return forms_->Main();
    }

    std::unique_ptr<VirtualDriver> virtual_;
    std::unique_ptr<TForms> forms_;
};

TEST_F(ProgrammingJobTest, HexViewRunsWithTheMainWindowsMemoryAndBoxes) {
    const std::string file = MakeFile("any.bin", Pattern(16, 1));
    TFormMain& main = Program("AT89S8253", ctAT89S8253, file);
    const auto flash = Pattern(12288, 0x31);
    virtual_->Write(VV_FLASH, 0, flash);
    main.RadioButtonEEPROM->click();
    main.CheckBoxVerify->setChecked(true);
    main.CheckBoxBackup->setChecked(true);

    const auto bytes = Pattern(64, 0x44);
    std::copy(bytes.begin(), bytes.end(), FormRead->Buffer.begin());
    FormRead->Params.Size = static_cast<int32_t>(bytes.size());
    FormRead->SpeedButtonWrite->click();

    EXPECT_EQ(FormRead->StatusText(5), "Ok");
    EXPECT_EQ(virtual_->Read(VV_EEPROM, 0, 64), bytes);
    // Backup on: the Flash came through the chip erase.
    EXPECT_EQ(virtual_->Read(VV_FLASH, 0, 12288), flash);

    // Read µC takes the same memory.
    std::fill(FormRead->Buffer.begin(), FormRead->Buffer.begin() + 64, 0);
    FormRead->SpeedButtonRead->click();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), FormRead->Buffer.begin()));
}

TEST_F(ProgrammingJobTest, FileAndItsTypeChangeTogetherOrNotAtAll) {
    const auto data = Pattern(300, 9);
    const std::string good = MakeFile("good.bin", data);
    const std::string empty = MakeFile("empty.hex", std::vector<uint8_t>{});
    TFormMain& main = Program("AT89S8252", ctAT89S8252, good);
    main.SetFilterIndex(1);
    main.SelectDataFile(good, 1);
    ASSERT_EQ(main.CurrentFile(), good);

    // The new file fails under the HEX entry: the old one stays, read as binary.
    prompts_.OpenAnswers.push_back(TFileAnswer(empty, HexFilterIndex));
    main.SpeedButtonFile->click();
    EXPECT_EQ(main.CurrentFile(), good);
    EXPECT_EQ(main.FilterIndex(), 1);

    main.CheckBoxVerify->setChecked(true);
    main.SpeedButtonWrite->click();
    EXPECT_EQ(main.StatusText(2), "Ok");
    EXPECT_EQ(virtual_->Read(VV_FLASH, 0, 300), data);
}

TEST_F(ProgrammingJobTest, AdapterLostMidRunIsNoDeviceNeverOk) {
    const struct {
        const char* chip;
        uint8_t type;
        bool backup;
    } cases[] = {{"AT89S8252", ctAT89S8252, false}, {"AT89S8253", ctAT89S8253, false}, {"AT89S8253", ctAT89S8253, true},
                 {"ATmega8", ctATmega, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + (c.backup ? " with backup" : ""));
        forms_.reset();
        virtual_->ResetAll();
        Config = TConfig{};
        BuildDefaultProfiles(ProfileTable);
        Config.ProfileCount = DefaultProfileCount;
        Config.Verify = false;
        Config.Backup = c.backup;
        const std::string file = MakeFile("fw.bin", Pattern(1024, 3));
        virtual_->Set("unplug_after_transfers", "40");
        TFormMain& main = Program(c.chip, c.type, file);
        main.SpeedButtonWrite->click();
        EXPECT_EQ(main.StatusText(2), "no device");
        EXPECT_EQ(main.LastOutcome().Result, TJobResult::NoDevice);
        EXPECT_EQ(main.LastOutcome().ExitCode(), 3);
        EXPECT_FALSE(main.LastWriteOk);
    }
}

TEST_F(ProgrammingJobTest, RefusalsSendNothingAndNameTheSizes) {
    struct Case {
        const char* chip;
        uint8_t type;
        bool eeprom;
        int32_t start;
        size_t size;
        const char* words;  // what the message must say
    };
    const Case cases[] = {
        {"AT89S52", ctAT89S52, true, 0, 16, "has no E²PROM"},
        {"AT89S8253", ctAT89S8253, false, 0x2F00, 0x200, "12288 bytes"},
        {"AT89S8252", ctAT89S8252, true, 0x700, 0x101, "2048 bytes"},
        // The family could hold it, the attached part cannot.
        {"ATmega8", ctATmega, false, 0, 9000, "ATmega8's Flash of 8192 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chip);
        forms_.reset();
        virtual_->ResetAll();
        Config = TConfig{};
        BuildDefaultProfiles(ProfileTable);
        Config.ProfileCount = DefaultProfileCount;
        prompts_.Messages.clear();
        const std::string file = MakeFile("fw.bin", Pattern(c.size, 5));
        TFormMain& main = Program(c.chip, c.type, file);
        if (c.eeprom) main.RadioButtonEEPROM->click();
        main.SetStartAddress(c.start);
        Config.Startaddress = c.start;
        virtual_->ClearLog();
        main.SpeedButtonWrite->click();
        EXPECT_EQ(main.LastOutcome().Result, TJobResult::Refused);
        EXPECT_EQ(main.LastOutcome().ExitCode(), 1);
        ASSERT_EQ(prompts_.Messages.size(), 1u);
        EXPECT_NE(prompts_.Messages[0].Text.find(c.words), std::string::npos) << prompts_.Messages[0].Text;
        EXPECT_TRUE(AllErased(virtual_->Read(VV_FLASH, 0, 256)));
        if (c.type != ctATmega) {
            EXPECT_EQ(virtual_->Log(), "");
        }
    }
}

TEST_F(ProgrammingJobTest, FullSixtyFourKilobyteFileIsAcceptedWhereTheChipHoldsIt) {
    // One rule: start + size up to the memory (for an 8051, and up to 64 KB;
    // the ATmega family reaches the ATmega2560's 256 KB).
    EXPECT_FALSE(RangeRefusal(ctATmega, false, 0, 262144).has_value());
    EXPECT_TRUE(RangeRefusal(ctATmega, false, 1, 262144).has_value());
    EXPECT_FALSE(RangeRefusal(ctAT89S8253, false, 0, 12288).has_value());
    EXPECT_TRUE(RangeRefusal(ctAT89S8253, false, 1, 12288).has_value());
    EXPECT_FALSE(RangeRefusal(ctAT89S8252, true, 2047, 1).has_value());
    EXPECT_TRUE(RangeRefusal(ctAT89S52, true, 0, 1).has_value());
}

TEST_F(ProgrammingJobTest, EmptyConnectorEndsAnAT89S8252WriteAtTheFirstByte) {
    const std::string file = MakeFile("fw.bin", Pattern(4096, 0x21));
    virtual_->Set("no_target", "1");
    TFormMain& main = Program("AT89S8252", ctAT89S8252, file);
    const int64_t before = virtual_->TimeMicros();
    main.SpeedButtonWrite->click();
    EXPECT_EQ(main.StatusText(2), "no device");
    EXPECT_EQ(main.LastOutcome().ExitCode(), 3);
    // Ended at once: far less than the 4096 byte writes would take.
    EXPECT_LT(virtual_->TimeMicros() - before, 100000);
}

TEST_F(ProgrammingJobTest, StopDuringAnEEPROMWriteWithBackupKeepsTheFlash) {
    const std::string file = MakeFile("data.bin", Pattern(2048, 0x12));
    Config.Memory = true;
    Config.Backup = true;
    TFormMain& main = Program("AT89S8253", ctAT89S8253, file);
    const auto flash = Pattern(12288, 0x77);
    virtual_->Write(VV_FLASH, 0, flash);
    // Stop as soon as the run first lets events through.
    QTimer::singleShot(0, &main, [&main] { main.StopRun(); });
    main.SpeedButtonWrite->click();
    EXPECT_EQ(main.StatusText(2), "stopped");
    EXPECT_EQ(main.LastOutcome().ExitCode(), 4);
    EXPECT_TRUE(main.LastOutcome().BackupFile.empty());
    EXPECT_TRUE(FindPendingBackups().empty());
    EXPECT_EQ(virtual_->Read(VV_FLASH, 0, 12288), flash);
}

TEST_F(ProgrammingJobTest, CutHexViewWriteNamesTheJournalFileOfItsBackup) {
    const std::string file = MakeFile("data.bin", Pattern(16, 1));
    TFormMain& main = Program("AT89S8253", ctAT89S8253, file);
    main.CheckBoxBackup->setChecked(true);
    const auto eeprom = Pattern(2048, 0x5A);
    virtual_->Write(VV_EEPROM, 0, eeprom);
    const auto bytes = Pattern(256, 0x10);
    std::copy(bytes.begin(), bytes.end(), FormRead->Buffer.begin());
    FormRead->Params.Size = 256;
    // Gone after the erase: the E²PROM copy cannot go back.
    virtual_->Set("unplug_after_transfers", "300");
    FormRead->SpeedButtonWrite->click();
    EXPECT_EQ(FormRead->StatusText(5), "no device");
    const std::vector<TPendingBackup> pending = FindPendingBackups();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].Record.Data, eeprom);
    ASSERT_FALSE(prompts_.Messages.empty());
    EXPECT_NE(prompts_.Messages[0].Text.find(pending[0].File), std::string::npos) << prompts_.Messages[0].Text;
}

TEST_F(ProgrammingJobTest, VerifyDifferenceNamesTheFirstAddress) {
    const auto data = Pattern(64, 0x40);
    const std::string file = MakeFile("fw.bin", data);
    virtual_->Set("stuck_bit", "flash:0x0023:3:1");
    Config.Verify = true;
    TFormMain& main = Program("AT89S8253", ctAT89S8253, file);
    main.SpeedButtonWrite->click();
    EXPECT_EQ(main.StatusText(2), "failed");
    char expected[64];
    const uint8_t wrote = data[0x23];
    std::snprintf(expected, sizeof expected, "Verify failed at 0023h: wrote %02X, read %02X", wrote, wrote | 0x08);
    EXPECT_EQ(main.StatusText(3).toStdString(), expected);
    EXPECT_EQ(main.LastOutcome().ExitCode(), 2);
}

TEST_F(ProgrammingJobTest, ExtendedAddressesLandWhereTheFileSaysOrAreRefused) {
    // 04 record 0001: the data record at 0000 is for 10000h, not the reset vector.
    const std::string beyond = TempFile("beyond.hex");
    {
        std::ofstream out(beyond);
        out << ":020000040001F9\n:0400000001020304F2\n:00000001FF\n";
    }
    Config.FileType = HexFilterIndex;
    TFormMain& main = Program("AT89S8253", ctAT89S8253, beyond);
    main.SpeedButtonWrite->click();
    EXPECT_EQ(main.LastOutcome().ExitCode(), 1);
    ASSERT_EQ(prompts_.Messages.size(), 1u);
    EXPECT_EQ(prompts_.Messages[0].Text, "data at 10000h lies beyond the chip's 12 KB Flash");
    EXPECT_TRUE(AllErased(virtual_->Read(VV_FLASH, 0, 16)));

    // An ATmega2560 holds it: the bytes go above 64 KB and read back there.
    forms_.reset();
    virtual_->ResetAll();
    Config = TConfig{};
    BuildDefaultProfiles(ProfileTable);
    Config.ProfileCount = DefaultProfileCount;
    Config.FileType = HexFilterIndex;
    Config.Verify = true;
    std::vector<uint8_t> image(0x1E100, 0xFF);
    const auto program = Pattern(256, 0x61);
    std::copy(program.begin(), program.end(), image.begin() + 0x1E000);
    const std::string high = TempFile("high.hex");
    ASSERT_EQ(WriteIntelHexFile(high, image.data(), static_cast<int32_t>(image.size())), FileOk);
    TFormMain& mega = Program("ATmega2560", ctATmega, high);
    mega.SpeedButtonWrite->click();
    EXPECT_EQ(mega.StatusText(2), "Ok") << mega.LastOutcome().Message;
    EXPECT_EQ(virtual_->Read(VV_FLASH, 0x1E000, 256), program);
    EXPECT_TRUE(AllErased(virtual_->Read(VV_FLASH, 0, 256)));
}

TEST_F(ProgrammingJobTest, RecordsChosenAsBinaryAreAskedAboutOrRefused) {
    const auto data = Pattern(32, 0x70);
    const std::string file = TempFile("firmware.bin");  // HEX text under a binary name
    ASSERT_EQ(WriteIntelHexFile(file, data.data(), 32), FileOk);
    Config.FileType = 1;
    TFormMain& main = Program("AT89S8253", ctAT89S8253, file);
    // Asked: Yes reads it as Intel HEX.
    prompts_.Answers.push_back(TMsgResult::Yes);
    main.SpeedButtonWrite->click();
    ASSERT_FALSE(prompts_.Messages.empty());
    EXPECT_EQ(prompts_.Messages[0].Text, "This file holds Intel HEX records. Write it as Intel HEX?");
    EXPECT_EQ(main.StatusText(2), "Ok");
    EXPECT_EQ(virtual_->Read(VV_FLASH, 0, 32), data);

    // Nobody to ask (an unattended run): refused with that sentence.
    TJobRequest request = main.RunRequest();
    request.AskFormat = nullptr;
    TNullProgress quiet;
    const TJobOutcome refused = RunWriteJob(request, quiet);
    EXPECT_EQ(refused.ExitCode(), 1);
    EXPECT_EQ(refused.Message, "This file holds Intel HEX records. Write it as Intel HEX?");
}

}  // namespace
}  // namespace kestrin::test
