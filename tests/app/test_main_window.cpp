// The main window: start-up, connecting, start address, profiles, file choice,
// reset pulse, system-menu commands and closing.
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <climits>

#include "app/AppFixture.h"
#include "app/CommandLine.h"
#include "ui/UnitOptions.h"
#include "production/SerialCounter.h"

namespace kestrin::test {
namespace {

using Lines = std::vector<std::string>;

TEST_F(AppTest, StartWithoutDriverOffersNoConnection) {
    ASSERT_FALSE(LoadAdapterDriverFrom(""));
    Config.LastFile = MakeFile("a.bin", 16);
    Config.Autoconnect = true;
    TFormMain& f = Form();
    EXPECT_EQ(f.StatusText(0), "");
    EXPECT_EQ(f.StatusText(1), "closed");
    EXPECT_EQ(f.StatusText(3), "no COM interface present");
    EXPECT_FALSE(f.SpeedButtonConnect->isEnabled());
    EXPECT_FALSE(f.SpeedButtonWrite->isEnabled());
    EXPECT_FALSE(f.SpeedButtonReset->isEnabled());
    EXPECT_FALSE(Connected);
    // Files, options, info and hex stay available.
    EXPECT_TRUE(f.SpeedButtonFile->isEnabled());
    EXPECT_TRUE(f.SpeedButtonOptions->isEnabled());
    EXPECT_TRUE(f.SpeedButtonInfo->isEnabled());
    EXPECT_TRUE(f.SpeedButtonHex->isEnabled());
    EXPECT_EQ(f.LabelFileName->text().toStdString(), Config.LastFile);
}

TEST_F(AppTest, ConnectResultsAreShownAndOnlySuccessEnablesWriting) {
    struct Case {
        int32_t result;
        const char* panel1;
        const char* panel3;
        bool connected;
    };
    const Case cases[] = {
        {0, "opened", IdleStatusText, true},
        {1, "closed", "COM interface can't be opened", false},
        {2, "closed", "Veltro not connected", false},
        {3, "closed", "firmware not supported", false},
        {4, "closed", "Veltro.dll not found", false},
        {9, "closed", IdleStatusText, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        RecordingDriver& rec = Recorder();
        rec.SetConnectResult(c.result);
        Config = TConfig{};
        Config.ProfileCount = DefaultProfileCount;
        Config.LastFile = MakeFile("a.bin", 16);
        Config.COMIndex = 1;
        ProfileTable[0].SCK = true;  // levels go out as SCK, MOSI, MISO
        ProfileTable[0].MOSI = false;
        ProfileTable[0].MISO = true;
        Config.Autoconnect = true;  // connects while the window is created
        TFormMain& f = Form();
        EXPECT_EQ(Connected, c.connected);
        EXPECT_EQ(f.SpeedButtonConnect->isChecked(), c.connected);
        EXPECT_EQ(f.SpeedButtonWrite->isEnabled(), c.connected);
        EXPECT_EQ(f.SpeedButtonReset->isEnabled(), c.connected);
        EXPECT_EQ(f.StatusText(0), "COM2");
        EXPECT_EQ(f.StatusText(1), c.panel1);
        EXPECT_EQ(f.StatusText(3), c.panel3);
        const Lines expected = c.connected ? Lines{"Connect 1 1", "SetEnables 0 1", "SetLevels 1 0 1", "SetCycleTime 0"}
                                           : Lines{"Connect 1 1"};
        EXPECT_EQ(rec.Lines(), expected);
        DestroyForm();
    }
}

TEST_F(AppTest, DisconnectClearsResultAndClosesPort) {
    RecordingDriver& rec = Recorder();
    Config.LastFile = MakeFile("a.bin", 16);
    TFormMain& f = Form();
    f.SpeedButtonConnectClick();
    ASSERT_TRUE(Connected);
    f.SetStatusText(2, "Ok");
    f.SetStatusText(3, "something");
    rec.ClearLog();
    f.SpeedButtonConnect->click();
    EXPECT_FALSE(Connected);
    EXPECT_EQ(rec.Lines(), (Lines{"SetReady 0", "Disconnect"}));
    EXPECT_EQ(f.StatusText(1), "closed");
    EXPECT_EQ(f.StatusText(2), "");
    EXPECT_EQ(f.StatusText(3), IdleStatusText);
    EXPECT_FALSE(f.SpeedButtonConnect->isChecked());
    EXPECT_FALSE(f.SpeedButtonWrite->isEnabled());
    EXPECT_FALSE(f.SpeedButtonReset->isEnabled());
}

TEST_F(AppTest, StartAddressIsClampedByMemory) {
    enum Step { Up1, Down1, Up4, Down4, Up2, Down3, ChooseEEPROM, ChooseFlash };
    struct Case {
        int32_t start;
        std::vector<Step> steps;
        const char* shown;
    };
    const Case cases[] = {
        {0x1FFF, {Up4}, "1FFFh"},
        {0x1500, {Up1}, "1FFFh"},
        {0x0100, {Down1}, "0000h"},
        {0x0000, {Down4}, "0000h"},
        {0x0BB8, {ChooseEEPROM}, "07FFh"},
        {0x0BB8, {ChooseEEPROM, ChooseFlash}, "07FFh"},
        {0x07F0, {ChooseEEPROM, Up2}, "07FFh"},
        {0x0123, {Up2, Down3, Up4}, "0214h"},
        {0x0000, {ChooseEEPROM, Up1, ChooseFlash, Up1}, "17FFh"},
        {INT32_MAX, {Up1}, "1FFFh"},  // a stored value far out of range does not overflow
        {INT32_MIN, {Down1}, "0000h"},
        {70000, {Down4}, "1FFFh"},
    };
    Recorder();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        Config.Startaddress = c.start;
        Config.Memory = false;
        TFormMain& f = Form();
        for (Step s : c.steps) {
            switch (s) {
                case Up1: f.SpinButton[0]->UpButton->click(); break;
                case Down1: f.SpinButton[0]->DownButton->click(); break;
                case Up2: f.SpinButton[1]->UpButton->click(); break;
                case Down3: f.SpinButton[2]->DownButton->click(); break;
                case Up4: f.SpinButton[3]->UpButton->click(); break;
                case Down4: f.SpinButton[3]->DownButton->click(); break;
                case ChooseEEPROM: f.RadioButtonEEPROM->click(); break;
                case ChooseFlash: f.RadioButtonFlash->click(); break;
            }
        }
        EXPECT_EQ(f.EditAddress->text(), c.shown);
        EXPECT_EQ(Config.Startaddress, f.EditAddress->text().chopped(1).toInt(nullptr, 16));
        DestroyForm();
    }
}

TEST_F(AppTest, StoredStartAddressIsShownUnchanged) {
    Recorder();
    Config.Startaddress = 70000;
    Config.Memory = true;
    TFormMain& f = Form();
    EXPECT_EQ(f.EditAddress->text(), "11170h");
    EXPECT_EQ(Config.Startaddress, 70000);
    EXPECT_TRUE(f.RadioButtonEEPROM->isChecked());
}

TEST_F(AppTest, ProfileTypeDecidesMemoryControls) {
    struct Case {
        uint8_t type;
        bool eepromShown;
        bool backupShown;
        bool eepromStays;
    };
    const Case cases[] = {
        {ctAT89S8252, true, false, true}, {ctAT89S8253, true, true, true}, {ctAT89S52, false, false, false},
        {ctAT89S53, false, false, false}, {ctATmega, true, false, true},
    };
    Recorder();
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        Config = TConfig{};
        Config.ProfileCount = DefaultProfileCount;
        SelectUserProfile(c.type);
        Config.Memory = true;
        Config.Backup = true;
        TFormMain& f = Form();
        EXPECT_EQ(f.RadioButtonEEPROM->isVisibleTo(&f), c.eepromShown);
        EXPECT_EQ(f.CheckBoxBackup->isVisibleTo(&f), c.backupShown);
        EXPECT_EQ(f.RadioButtonEEPROM->isChecked(), c.eepromStays);
        EXPECT_EQ(f.RadioButtonFlash->isChecked(), !c.eepromStays);
        EXPECT_EQ(Config.Memory, c.eepromStays);
        EXPECT_EQ(f.LabelProfile->text(), "user");
        DestroyForm();
    }
}

TEST_F(AppTest, FileChoiceKeepsPreviousFileOnError) {
    Recorder();
    const std::string good = MakeFile("good.bin", 100);
    Config.LastFile = good;
    TFormMain& f = Form();
    ASSERT_EQ(f.LabelFileName->text().toStdString(), good);
    ASSERT_EQ(f.LabelFileSize->text(), "100 Byte");
    ASSERT_EQ(f.LabelFormat->text(), "binary");

    struct Case {
        std::string file;
        const char* panel3;
    };
    const Case failures[] = {
        {MakeFile("empty.bin", 0), "file is empty"},
        {TempFile("missing.bin"), "error at opening file"},
        // Beyond the largest memory of any supported chip (the ATmega2560's 256 KB).
        {MakeFile("huge.bin", 262145), "file exceeds 256 kByte"},
    };
    for (const Case& c : failures) {
        SCOPED_TRACE(c.file);
        f.SelectDataFile(c.file);
        EXPECT_EQ(f.StatusText(3), c.panel3);
        EXPECT_EQ(Config.LastFile, good);
        EXPECT_EQ(f.CurrentFile(), good);
        EXPECT_EQ(f.LabelFileName->text().toStdString(), good);
        EXPECT_EQ(f.LabelFileSize->text(), "100 Byte");
    }
    // The largest file that fits is accepted.
    const std::string full = MakeFile("full.bin", 65536);
    f.SelectDataFile(full);
    EXPECT_EQ(f.StatusText(3), IdleStatusText);
    EXPECT_EQ(Config.LastFile, full);
    EXPECT_EQ(f.LabelFileSize->text(), "65536 Byte");
    EXPECT_EQ(f.LabelFileName->toolTip().toStdString(), full);
}

TEST_F(AppTest, UnreadableStoredFileShowsNoFile) {
    Recorder();
    Config.LastFile = TempFile("gone.bin");
    TFormMain& f = Form();
    EXPECT_EQ(f.LabelFileName->text(), "(no file selected)");
    EXPECT_EQ(f.LabelFileSize->text(), "(no file selected)");
    EXPECT_EQ(f.StatusText(3), "error at opening file");
    EXPECT_EQ(f.CurrentFile(), "");
    // A good file then becomes current.
    const std::string good = MakeFile("good.bin", 8);
    f.SelectDataFile(good);
    EXPECT_EQ(f.LabelFileName->text().toStdString(), good);
    EXPECT_EQ(f.LabelFileSize->text(), "8 Byte");
}

TEST_F(AppTest, FileDialogChoosesFileAndType) {
    Recorder();
    const std::string first = MakeFile("first.bin", 4);
    const std::string chosen = MakeFile("chosen.bin", 12);
    Config.LastFile = first;
    TFormMain& f = Form();

    prompts_.OpenAnswers = {""};  // cancelled: nothing changes
    f.SpeedButtonFile->click();
    EXPECT_EQ(f.CurrentFile(), first);
    EXPECT_EQ(f.FilterIndex(), 1);
    ASSERT_EQ(prompts_.OpenDialogs.size(), 1u);
    EXPECT_EQ(prompts_.OpenDialogs[0].Title, "Choose file for later reload & write");
    EXPECT_EQ(prompts_.OpenDialogs[0].Filter, DataFileFilter);
    EXPECT_TRUE(prompts_.OpenDialogs[0].MustExist);

    prompts_.OpenAnswers = {{chosen, 3}};
    f.SpeedButtonFile->click();
    EXPECT_EQ(f.CurrentFile(), chosen);
    EXPECT_EQ(f.FilterIndex(), 3);
    EXPECT_EQ(f.LabelFormat->text(), "binary");
    EXPECT_EQ(f.LabelFileSize->text(), "12 Byte");
}

TEST_F(AppTest, ResetPulseHoldsTargetForOneTimerPeriod) {
    RecordingDriver& rec = Recorder();
    TFormMain& f = Form();
    f.SpeedButtonConnectClick();
    rec.ClearLog();
    f.SpeedButtonReset->click();
    EXPECT_EQ(rec.Lines(), (Lines{"SetEnables 1 1", "SetLEDs 1 0"}));
    EXPECT_TRUE(f.TimerReset->isActive());
    EXPECT_EQ(f.TimerReset->interval(), 100);
    rec.ClearLog();
    f.TimerResetTimer();
    EXPECT_EQ(rec.Lines(), (Lines{"SetEnables 0 1", "SetLEDs 0 1"}));
    EXPECT_FALSE(f.TimerReset->isActive());

    // The system-menu command does the same.
    rec.ClearLog();
    EXPECT_TRUE(f.SystemMenuHook(kSysCmdReset));
    EXPECT_EQ(rec.Lines(), (Lines{"SetEnables 1 1", "SetLEDs 1 0"}));
    f.TimerResetTimer();
}

TEST_F(AppTest, SystemMenuCommandsDoNothingWhileDisconnected) {
    RecordingDriver& rec = Recorder();
    Config.LastFile = MakeFile("a.bin", 16);
    TFormMain& f = Form();
    rec.ClearLog();
    f.LastWriteOk = true;
    EXPECT_TRUE(f.SystemMenuHook(kSysCmdWrite));
    EXPECT_FALSE(f.LastWriteOk);
    EXPECT_TRUE(f.SystemMenuHook(kSysCmdReset));
    EXPECT_FALSE(f.TimerReset->isActive());
    EXPECT_FALSE(f.SystemMenuHook(0xF060));  // not ours: passed on
    EXPECT_EQ(rec.Log(), "");
    EXPECT_TRUE(prompts_.Messages.empty());
}

TEST_F(AppTest, ClosingDisconnectsAndKeepsWindowState) {
    RecordingDriver& rec = Recorder();
    TFormMain& f = Form();
    QSignalSpy closed(&f, &TFormMain::Closed);
    f.SpeedButtonConnectClick();
    f.RadioButtonEEPROM->click();
    f.CheckBoxVerify->setChecked(true);
    f.CheckBoxBackup->setChecked(true);
    f.SetFilterIndex(2);
    f.move(123, 45);
    f.show();
    rec.ClearLog();
    f.SpeedButtonExit->click();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(rec.Lines(), (Lines{"SetReady 0", "Disconnect"}));
    EXPECT_FALSE(Connected);
    EXPECT_FALSE(f.SpeedButtonConnect->isChecked());
    EXPECT_TRUE(Config.Memory);
    EXPECT_TRUE(Config.Verify);
    EXPECT_TRUE(Config.Backup);
    EXPECT_EQ(Config.FileType, 2);
    EXPECT_EQ(Config.MainX, f.x());
    EXPECT_EQ(Config.MainY, f.y());
}

TEST_F(AppTest, SettingsGoToClipboardAsCommandLine) {
    Recorder({"COM1", "COM12"});
    const std::string file = MakeFile("my file.hex", 4);
    Config.LastFile = file;
    Config.COMIndex = 1;
    Config.Autoconnect = true;
    SelectUserProfile(ctAT89S8253);
    TFormMain& f = Form();
    f.RadioButtonEEPROM->click();
    f.SpinButton[1]->UpButton->click();
    f.SpinButton[1]->UpButton->click();
    f.CheckBoxVerify->setChecked(true);
    f.copysettingsascommandlineparametersintoclipboard1->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              "/C=12 /P=3 /M=E /A=512 /F=\"" + file + "\" /V=1 /B=0 /T=1");
}

TEST_F(AppTest, ConfirmedOptionsApplyProfileAndPort) {
    Recorder({"COM1", "COM5"});
    SelectUserProfile(ctAT89S52, "no eeprom");
    Config.ProfileIndex = 0;
    Config.Memory = true;
    TFormMain& f = Form();
    auto* options = new TFormOptions(&f);
    FormOptions = options;
    ASSERT_TRUE(f.RadioButtonEEPROM->isChecked());

    struct Case {
        bool ok;
        const char* profile;
        const char* port;
        bool eepromShown;
    };
    for (const Case c : {Case{false, "89S8252 (default)", "COM1", true}, Case{true, "no eeprom", "COM5", false}}) {
        SCOPED_TRACE(c.ok);
        QTimer::singleShot(0, options, [options, ok = c.ok] {
            options->ComboBox1->setCurrentIndex(1);
            options->ComboBox2->setCurrentIndex(2);
            (ok ? options->BitBtnOk : options->BitBtnCancel)->click();
        });
        f.SpeedButtonOptions->click();
        EXPECT_EQ(f.LabelProfile->text(), c.profile);
        EXPECT_EQ(f.StatusText(0), c.port);
        EXPECT_EQ(f.RadioButtonEEPROM->isVisibleTo(&f), c.eepromShown);
        EXPECT_EQ(f.RadioButtonEEPROM->isChecked(), c.eepromShown);
        EXPECT_EQ(Config.Memory, c.eepromShown);
    }
    FormOptions = nullptr;
}

TEST(CommandLineText, PortNumbersAndQuoting) {
    struct PortCase {
        const char* name;
        int number;
    };
    for (const PortCase c : {PortCase{"COM2", 2}, PortCase{"COM12", 12}, PortCase{"COM123", 12}, PortCase{"COM", -1},
                             PortCase{"", -1}, PortCase{"/dev/ttyUSB0", -1}, PortCase{"COMx", -1}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PortNumberOf(c.name), c.number);
    }
    TCommandLineSettings s;
    EXPECT_EQ(SettingsCommandLine(s), "/P=1 /M=F /A=0 /V=0 /B=0 /T=0");
    s.PortName = "/dev/ttyS0";
    s.FileName = "/tmp/plain.bin";
    s.Backup = true;
    EXPECT_EQ(SettingsCommandLine(s), "/C=/dev/ttyS0 /P=1 /M=F /A=0 /F=/tmp/plain.bin /V=0 /B=1 /T=0");
}

}  // namespace
}  // namespace kestrin::test

namespace kestrin::test {
namespace {

// A profile with serial numbers shows the number its next chip gets, from
// the same counter kestrin-cli produce takes them from.
TEST_F(AppTest, ProfileLineShowsTheNextSerialNumber) {
    Recorder();
    SelectUserProfile(ctATmega, "line");
    TProfile& profile = ProfileTable[static_cast<size_t>(Config.ProfileIndex)];
    {
        TFormMain& f = Form();
        EXPECT_EQ(f.LabelProfile->text(), "line");
        DestroyForm();
    }
    const TSerialSeries series{0x100, 4, TSerialFormat::BinaryLE, 500, 5};
    SetProfileSerial(profile, series);
    TSerialCounter counter(SerialCounterFile(series), series);
    std::string error;
    ASSERT_EQ(counter.Take(error), 500u) << error;
    ASSERT_TRUE(counter.Consume(500, error));
    TFormMain& f = Form();
    EXPECT_EQ(f.LabelProfile->text(), "line (next serial number: 505)");
}

}  // namespace
}  // namespace kestrin::test
