// Reload and write on the virtual adapter: what ends up in the chip, the
// result panel, writes requested while one runs, the unattended start and a
// backup that could not be written back.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTimer>

#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <functional>

#include "app/AppFixture.h"
#include "devices/Unit89S8253.h"
#include "files/DurableFile.h"
#include "files/FileExchg.h"
#include "files/IntelHex.h"
#include "jobs/BackupJournal.h"
#include "ui/UnitHelp.h"
#include "virtual/VirtualDriver.h"

namespace kestrin::test {
namespace {

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 13);
    return bytes;
}

class VirtualWriteTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        virtual_ = std::make_unique<VirtualDriver>();
    }

    // A connected window on the given chip, profile type and file.
    TFormMain& ConnectedWindow(const char* chip, uint8_t type, const std::string& file) {
        virtual_->Set("chip", chip);
        SelectUserProfile(type);
        Config.LastFile = file;
        Config.Autoconnect = true;
        TFormMain& f = Form();
        EXPECT_TRUE(Connected) << f.StatusText(3).toStdString();
        EXPECT_TRUE(f.SpeedButtonWrite->isEnabled());
        return f;
    }

    std::string HexFile(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = TempFile(name);
        EXPECT_EQ(WriteIntelHexFile(path, bytes.data(), static_cast<int32_t>(bytes.size())), FileOk);
        return path;
    }

    std::unique_ptr<VirtualDriver> virtual_;
};

TEST_F(VirtualWriteTest, HexFileLandsAtStartAddressInEachChip) {
    struct Case {
        const char* chip;
        uint8_t type;
        bool eeprom;
        int32_t start;
    };
    const Case cases[] = {
        {"AT89S8252", ctAT89S8252, false, 0x0100}, {"AT89S8252", ctAT89S8252, true, 0x0012},
        {"AT89S8253", ctAT89S8253, false, 0x0345}, {"AT89S8253", ctAT89S8253, true, 0x0040},
        {"AT89S52", ctAT89S52, false, 0x1F00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.chip << (c.eeprom ? " E2PROM" : " Flash"));
        virtual_->ResetAll();
        Config = TConfig{};
        Config.ProfileCount = DefaultProfileCount;
        Config.FileType = HexFilterIndex;
        Config.Memory = c.eeprom;
        Config.Startaddress = c.start;
        Config.Verify = true;
        const std::vector<uint8_t> data = Pattern(150, static_cast<uint8_t>(c.start));
        TFormMain& f = ConnectedWindow(c.chip, c.type, HexFile("image.hex", data));
        f.SpeedButtonWrite->click();
        EXPECT_TRUE(prompts_.Messages.empty());
        EXPECT_EQ(f.StatusText(2), "Ok");
        EXPECT_TRUE(f.LastWriteOk);
        EXPECT_EQ(f.LabelFormat->text(), "Intel Hex");
        EXPECT_EQ(f.LabelFileSize->text(), "150 Byte");
        EXPECT_EQ(f.Gauge1->value(), f.Gauge1->maximum());
        EXPECT_NE(f.LabelTime->text(), "0s");
        EXPECT_EQ(virtual_->Read(c.eeprom ? VV_EEPROM : VV_FLASH, c.start, 150), data);
        EXPECT_TRUE(Connected);  // the program stays connected after a run
        DestroyForm();
    }
}

TEST_F(VirtualWriteTest, RoutineResultIsShownInStatusBarOnly) {
    struct Case {
        const char* chip;
        uint8_t type;
        const char* option;
        const char* value;
        const char* panel2;
    };
    const Case cases[] = {
        {"AT89S8252", ctAT89S8252, "stuck_bit", "flash:0x0021:0:0", "failed"},  // byte 21h has bit 0 set
        {"AT89S8253", ctAT89S8253, "stuck_bit", "flash:0x0021:0:0", "failed"},
        {"AT89S8253", ctAT89S8253, "no_target", "1", "no device"},  // this chip answers the enable
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        virtual_->ResetAll();
        Config = TConfig{};
        Config.ProfileCount = DefaultProfileCount;
        Config.Verify = true;
        std::vector<uint8_t> data = Pattern(64, 0);
        data[0x21] |= 1;
        TFormMain& f = ConnectedWindow(c.chip, c.type, MakeFile("image.bin", data));
        virtual_->Set(c.option, c.value);
        f.SetStatusText(2, "stale");
        f.SpeedButtonWrite->click();
        EXPECT_EQ(f.StatusText(2), c.panel2);
        EXPECT_FALSE(f.LastWriteOk);
        EXPECT_TRUE(prompts_.Messages.empty());
        EXPECT_TRUE(Connected);
        DestroyForm();
    }
}

// A locked AT90S (signature 00 00 00) is written only after the user agreed
// to the chip erase that unlocks it; No leaves the chip as it was.
TEST_F(VirtualWriteTest, ALockedAT90SIsErasedOnlyWhenTheUserAgrees) {
    for (const TMsgResult answer : {TMsgResult::No, TMsgResult::Yes}) {
        SCOPED_TRACE(answer == TMsgResult::Yes ? "Yes" : "No");
        virtual_->ResetAll();
        Config = TConfig{};
        Config.ProfileCount = DefaultProfileCount;
        Config.Verify = true;
        const std::vector<uint8_t> old = Pattern(32, 0x40);
        const std::vector<uint8_t> data = Pattern(32, 0x11);
        TFormMain& f = ConnectedWindow("AT90S2313", ctAT90xx, MakeFile("image.bin", data));
        ASSERT_EQ(virtual_->Write(VV_FLASH, 0, old), 32);
        ASSERT_EQ(virtual_->Write(VV_LOCK, 0, {0xFC}), 1);
        prompts_.Messages.clear();
        prompts_.Answers = {answer};
        f.SpeedButtonWrite->click();
        ASSERT_FALSE(prompts_.Messages.empty());
        EXPECT_EQ(prompts_.Messages[0].Buttons, TMsgButtons::YesNoDefaultNo);
        EXPECT_NE(prompts_.Messages[0].Text.find("signature reads 00 00 00"), std::string::npos)
            << prompts_.Messages[0].Text;
        if (answer == TMsgResult::Yes) {
            EXPECT_EQ(prompts_.Messages.size(), 1u);
            EXPECT_EQ(f.StatusText(2), "Ok");
            EXPECT_TRUE(f.LastWriteOk);
            EXPECT_EQ(virtual_->Read(VV_FLASH, 0, 32), data);
            EXPECT_EQ(virtual_->Read(VV_LOCK, 0, 1), std::vector<uint8_t>{0xFF});
        } else {
            ASSERT_EQ(prompts_.Messages.size(), 2u);  // the refusal itself
            EXPECT_EQ(prompts_.Messages[1].Kind, TMsgKind::Error);
            EXPECT_FALSE(f.LastWriteOk);
            EXPECT_EQ(virtual_->Read(VV_LOCK, 0, 1), std::vector<uint8_t>{0xFC});
            EXPECT_EQ(virtual_->Read(VV_FLASH, 0, 32), old);
        }
        DestroyForm();
    }
}

TEST_F(VirtualWriteTest, NothingStartsWhileAWriteRuns) {
    Config.Verify = true;
    const std::vector<uint8_t> data = Pattern(300, 5);
    const std::string other = MakeFile("other.bin", 16);
    TFormMain& f = ConnectedWindow("AT89S8252", ctAT89S8252, MakeFile("image.bin", data));
    QSignalSpy closed(&f, &TFormMain::Closed);
    prompts_.OpenAnswers = {other};

    bool ranInside = false;
    size_t logBefore = 0, logAfter = 0;
    bool buttonsOffInside = false;
    QTimer::singleShot(0, &f, [&] {
        ranInside = f.Running();
        buttonsOffInside = !f.SpeedButtonWrite->isEnabled() && !f.SpeedButtonConnect->isEnabled() &&
                           !f.SpeedButtonFile->isEnabled() && !f.SpeedButtonExit->isEnabled() &&
                           !f.RadioButtonEEPROM->isEnabled() && !f.CheckBoxVerify->isEnabled();
        logBefore = virtual_->AdapterLog().size();
        f.SpeedButtonWriteClick();
        f.SystemMenuHook(kSysCmdWrite);
        f.SystemMenuHook(kSysCmdReset);
        f.SpeedButtonConnectClick();
        f.SpeedButtonFileClick();
        f.SpeedButtonOptionsClick();
        f.SpeedButtonHexClick();
        f.SpinButtonUpClick(0);
        f.close();
        logAfter = virtual_->AdapterLog().size();
    });
    f.SpeedButtonWrite->click();

    EXPECT_TRUE(ranInside);
    EXPECT_TRUE(buttonsOffInside);
    EXPECT_EQ(logAfter, logBefore);  // nothing reached the adapter from inside
    EXPECT_TRUE(prompts_.OpenDialogs.empty());
    EXPECT_EQ(f.StatusText(2), "Ok");
    EXPECT_TRUE(f.LastWriteOk);
    EXPECT_EQ(virtual_->Read(VV_FLASH, 0, 300), data);
    EXPECT_EQ(f.CurrentFile(), Config.LastFile);
    EXPECT_NE(f.CurrentFile(), other);
    EXPECT_EQ(f.EditAddress->text(), "0000h");
    // The close asked for during the run happens once it is over.
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE(f.SpeedButtonFile->isEnabled());
    QCoreApplication::processEvents();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(Connected);
}

TEST_F(AppTest, PendingResetPulseEndsBeforeTheWrite) {
    RecordingDriver& rec = Recorder();
    Config.LastFile = MakeFile("image.bin", 8);
    TFormMain& f = Form();
    f.SpeedButtonConnectClick();
    rec.ClearLog();
    f.SpeedButtonReset->click();
    f.SpeedButtonWrite->click();
    EXPECT_FALSE(f.TimerReset->isActive());
    const std::vector<std::string> lines = rec.Lines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4),
              (std::vector<std::string>{"SetEnables 1 1", "SetLEDs 1 0", "SetEnables 0 1", "SetLEDs 0 1"}));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "SetLEDs 0 1"), 1);
}

// A run cut after the chip erase leaves the E²PROM's backup in the journal and
// says where; the next start of the window offers to write it back.
TEST_F(VirtualWriteTest, BackupOfARunCutAfterTheEraseStaysInTheJournalUntilWrittenBack) {
    const struct {
        const char* what;
        bool noDisplay;
    } cases[] = {{"window", false}, {"without a display", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        virtual_->ResetAll();
        QDir(QString::fromStdString(JournalFolder())).removeRecursively();
        Config = TConfig{};
        Config.ProfileCount = DefaultProfileCount;
        Config.Backup = true;
        const std::vector<uint8_t> eeprom = Pattern(2048, 77);
        TFormMain& f = ConnectedWindow("AT89S8253", ctAT89S8253, MakeFile("image.bin", Pattern(64, 1)));
        f.NoDisplay = c.noDisplay;
        ASSERT_EQ(virtual_->Write(VV_EEPROM, 0, eeprom), 2048);
        // Past the E²PROM backup (64 pages of three transfers) and the erase.
        virtual_->Set("unplug_after_transfers", "300");
        f.SpeedButtonWrite->click();

        EXPECT_EQ(f.StatusText(2), "no device");
        // Cut while the E²PROM was going back: its last page is still erased.
        EXPECT_EQ(virtual_->Read(VV_EEPROM, 2016, 32), std::vector<uint8_t>(32, 0xFF));
        const std::string journal = f.LastOutcome().BackupFile;
        ASSERT_FALSE(journal.empty());
        EXPECT_EQ(journal.rfind(JournalFolder(), 0), 0u) << journal;
        EXPECT_NE(f.LastOutcome().Message.find(journal), std::string::npos);
        const TPendingBackup kept = ReadBackupFile(journal);
        EXPECT_FALSE(kept.Damaged) << kept.Problem;
        EXPECT_EQ(kept.Record.Data, eeprom);
        EXPECT_TRUE(kept.Record.EEPROM);
        EXPECT_EQ(kept.Record.ControllerType, ctAT89S8253);
        if (c.noDisplay) {
            EXPECT_TRUE(prompts_.Messages.empty());
        } else {
            ASSERT_EQ(prompts_.Messages.size(), 1u);
            EXPECT_EQ(prompts_.Messages[0].Kind, TMsgKind::Warning);
            EXPECT_NE(prompts_.Messages[0].Text.find(journal), std::string::npos);
        }
        DestroyForm();
        prompts_.Messages.clear();

        // The next start: asked, the backup goes back and its file goes away.
        virtual_->Set("unplug_after_transfers", "0");
        prompts_.Answers = {TMsgResult::Yes};
        TFormMain& next = ConnectedWindow("AT89S8253", ctAT89S8253, MakeFile("image.bin", Pattern(64, 1)));
        next.TimerExecTimer();
        ASSERT_FALSE(prompts_.Messages.empty());
        EXPECT_NE(prompts_.Messages[0].Text.find(journal), std::string::npos);
        EXPECT_EQ(virtual_->Read(VV_EEPROM, 0, 2048), eeprom);
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(journal)));
        EXPECT_EQ(next.StatusText(2), "Ok");
        DestroyForm();
        prompts_.Messages.clear();
    }
}

// The other answers at start: saved elsewhere (the journal file stays), or
// kept for later; a damaged file is only reported.
TEST_F(VirtualWriteTest, PendingBackupCanBeSavedElsewhereOrKept) {
    const std::vector<uint8_t> eeprom = Pattern(2048, 9);
    TBackupRecord record;
    record.ControllerType = ctAT89S8253;
    record.EEPROM = true;
    record.Data = eeprom;
    record.Port = "COM1";
    std::string journal;
    std::string error;
    ASSERT_TRUE(WriteBackupFile(JournalFolder(), record, journal, error)) << error;
    std::vector<uint8_t> damaged = EncodeBackup(record);
    damaged.back() ^= 0x01;
    const std::string broken = JournalFolder() + "/broken.kbackup";
    ASSERT_EQ(WriteBinaryFile(broken, damaged.data(), static_cast<int32_t>(damaged.size())), FileOk);

    const std::string saved = TempFile("elsewhere.bin");
    struct Case {
        const char* what;
        std::vector<TMsgResult> answers;
        bool savedElsewhere;
    };
    const Case cases[] = {{"saved elsewhere", {TMsgResult::No, TMsgResult::Yes}, true},
                          {"kept for later", {TMsgResult::No, TMsgResult::No}, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(QString::fromStdString(saved));
        prompts_.Messages.clear();
        prompts_.Answers.assign(c.answers.begin(), c.answers.end());
        prompts_.SaveAnswers = {saved};
        TFormMain& f = ConnectedWindow("AT89S8253", ctAT89S8253, MakeFile("image.bin", Pattern(64, 1)));
        f.TimerExecTimer();
        ASSERT_EQ(prompts_.Messages.size(), 3u);
        EXPECT_EQ(std::count_if(prompts_.Messages.begin(), prompts_.Messages.end(),
                                [](const auto& m) {
                                    return m.Text.find("broken.kbackup is damaged (CRC mismatch)") != std::string::npos;
                                }),
                  1);
        std::vector<uint8_t> file;
        int32_t size = 0;
        EXPECT_EQ(ReadBinaryFile(saved, file, size) == FileOk && file == eeprom, c.savedElsewhere);
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(journal)));
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(broken)));
        // Nothing was written into the chip.
        EXPECT_EQ(virtual_->Read(VV_EEPROM, 0, 16), std::vector<uint8_t>(16, 0xFF));
        DestroyForm();
    }
}

// A backup that cannot be saved refuses the run before the erase: the chip
// keeps both memories and the message says why.
TEST_F(VirtualWriteTest, BackupThatCannotBeSavedRefusesTheRunBeforeTheErase) {
    const std::string state = TempFile("state");
    const std::string journal = state + "/kestrin";
    const auto mountTmpfs = [&](const char* options) {
        QDir().mkpath(QString::fromStdString(journal));
        return ::mount("tmpfs", journal.c_str(), "tmpfs", 0, options) == 0;
    };
    const struct {
        const char* what;
        std::function<bool()> prepare;  // false: not possible on this machine
        const char* reason;
    } cases[] = {
        {"no state folder can be made", [&] { return MakeFile("state", {1}).size() > 0; }, "cannot create the folder"},
        {"read-only state folder", [&] { return mountTmpfs("ro"); }, "Read-only file system"},
        {"full disk", [&] { return mountTmpfs("size=4k"); }, "No space left on device"},
        {"full disk (injected)",
         [&] {
             FailDurableWritesWith(ENOSPC);
             return true;
         },
         "No space left on device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(QString::fromStdString(state));
        QDir(QString::fromStdString(state)).removeRecursively();
        virtual_->ResetAll();
        Config = TConfig{};
        Config.ProfileCount = DefaultProfileCount;
        Config.Backup = true;
        Config.Memory = true;  // the E²PROM is written, the 12 KB of Flash backed up
        if (!c.prepare()) {
            std::printf("skipped \"%s\": cannot be set up here\n", c.what);
            continue;
        }
        const std::vector<uint8_t> flash = Pattern(12288, 21);
        const std::vector<uint8_t> eeprom = Pattern(2048, 22);
        TFormMain& f = ConnectedWindow("AT89S8253", ctAT89S8253, MakeFile("image.bin", Pattern(64, 1)));
        ASSERT_EQ(virtual_->Write(VV_FLASH, 0, flash), 12288);
        ASSERT_EQ(virtual_->Write(VV_EEPROM, 0, eeprom), 2048);
        f.SpeedButtonWrite->click();
        FailDurableWritesWith(0);
        ::umount(journal.c_str());

        EXPECT_EQ(f.LastOutcome().Result, TJobResult::Refused);
        EXPECT_EQ(f.LastOutcome().ExitCode(), 1);
        ASSERT_EQ(prompts_.Messages.size(), 1u);
        EXPECT_EQ(prompts_.Messages[0].Kind, TMsgKind::Error);
        const std::string& text = prompts_.Messages[0].Text;
        EXPECT_NE(text.find("The backup of the Flash could not be saved"), std::string::npos) << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        EXPECT_NE(text.find("the chip was not erased"), std::string::npos) << text;
        EXPECT_EQ(virtual_->Read(VV_FLASH, 0, 12288), flash);
        EXPECT_EQ(virtual_->Read(VV_EEPROM, 0, 2048), eeprom);
        EXPECT_TRUE(FindPendingBackups(journal).empty());
        DestroyForm();
        prompts_.Messages.clear();
    }
}

TEST_F(VirtualWriteTest, StartActionAfterStartUp) {
    struct Case {
        int execMode;
        bool showHelp;
        bool noTarget;
        bool written;
        bool ends;
    };
    const Case cases[] = {
        {-1, false, false, false, false}, {0, false, false, true, true},  {0, false, true, false, false},
        {1, false, true, false, true},    {2, false, false, true, true},  {2, false, true, false, false},
        {3, false, false, true, false},   {7, false, false, true, false}, {1, true, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.execMode << (c.showHelp ? " help" : "")
                                        << (c.noTarget ? " no target" : ""));
        virtual_->ResetAll();
        if (c.noTarget) virtual_->Set("no_target", "1");
        Config = TConfig{};
        Config.ProfileCount = DefaultProfileCount;
        Config.ExecMode = c.execMode;
        Config.ShowHelp = c.showHelp;
        const std::vector<uint8_t> data = Pattern(40, 9);
        // This chip answers the programming enable, so a missing target is noticed.
        TFormMain& f = ConnectedWindow("AT89S8253", ctAT89S8253, MakeFile("image.bin", data));
        auto* help = new TFormHelp(&f);
        FormHelp = help;
        bool helpShown = false;
        if (c.showHelp) {
            QTimer::singleShot(0, &f, [&] {
                helpShown = QApplication::activeModalWidget() == help;
                help->reject();
            });
        }
        QSignalSpy closed(&f, &TFormMain::Closed);
        ASSERT_TRUE(f.TimerExec->isActive());
        EXPECT_EQ(f.TimerExec->interval(), 500);
        f.TimerExecTimer();
        QCoreApplication::processEvents();
        EXPECT_FALSE(f.TimerExec->isActive());
        EXPECT_EQ(helpShown, c.showHelp);
        EXPECT_EQ(f.LastWriteOk, c.written);
        EXPECT_EQ(virtual_->Read(VV_FLASH, 0, 40) == data, c.written);
        EXPECT_EQ(closed.count(), c.ends ? 1 : 0);
        if (!c.ends) {
            EXPECT_EQ(f.isVisible(), c.execMode >= 0);
        }
        FormHelp = nullptr;
        DestroyForm();
    }
}

}  // namespace
}  // namespace kestrin::test
