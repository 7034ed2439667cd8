// The kestrin program started as a process against the virtual adapter, the way
// a production script runs it: exit codes, the outcome line, what ends up in the
// chip and in the settings file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTemporaryDir>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include <QClipboard>
#include <QGuiApplication>

#include "app/UnitMain.h"
#include "config/IniFile.h"
#include "config/UnitConfig.h"
#include "link/SPI.h"
#include "virtual/VirtualDriver.h"

namespace kestrin::test {
namespace {

QString Arg(const std::string& s) { return QString::fromStdString(s); }

const std::vector<uint8_t> kBlink = {0xB2, 0x90, 0x7F, 0xFA, 0x7E, 0xFA, 0xDE, 0xFE, 0xDF, 0xFA, 0x80, 0xF4};

struct TRun {
    bool finished = false;
    int exitCode = -1;
    std::string out;
    std::string err;
};

class UnattendedProcess : public ::testing::Test {
protected:
    // A fresh start: no chip memory, no settings.
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
        QFile::remove(Arg(StateFile()));
        QDir(tmp_.filePath("config")).removeRecursively();
        file_ = Path("blink.bin");
        std::ofstream(file_, std::ios::binary).write(reinterpret_cast<const char*>(kBlink.data()), kBlink.size());
        Adapter("");
    }

    std::string Path(const std::string& name) const { return tmp_.filePath(QString::fromStdString(name)).toStdString(); }
    std::string StateFile() const { return Path("chip.state"); }
    std::string SettingsFile() const { return Path("config/Kestrin.ini"); }

    // The virtual adapter's configuration for the next run: an AT89S8252 whose
    // memory lives in this test's state file, plus extra lines.
    void Adapter(const std::string& extra, const std::string& chip = "AT89S8252") {
        chip_ = chip;
        std::ofstream(Path("virtual.ini")) << "chip = " << chip << "\nstate_file = " << StateFile() << "\n" << extra;
    }

    void StoredSettings(const std::string& text) {
        QDir().mkpath(tmp_.filePath("config"));
        std::ofstream(SettingsFile()) << text;
    }

    QProcessEnvironment Environment(bool display) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();  // keeps the sanitizer options
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        if (display) {
            env.insert("QT_QPA_PLATFORM", "offscreen");
        } else {
            env.remove("QT_QPA_PLATFORM");
        }
        env.insert("XDG_CONFIG_HOME", tmp_.filePath("config"));
        env.insert("VELTRO_VIRTUAL_CONFIG", tmp_.filePath("virtual.ini"));
        env.insert("LD_LIBRARY_PATH", QFileInfo(KESTRIN_VIRTUAL_DRIVER).absolutePath());
        return env;
    }

    void Start(QProcess& process, const QStringList& arguments, bool display = true,
               const char* program = KESTRIN_PROGRAM) const {
        process.setProcessEnvironment(Environment(display));
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForStarted(30000));
    }

    // Runs to the end; a run that does not end within a minute is killed and fails.
    TRun Run(const QStringList& arguments, bool display = true, const char* program = KESTRIN_PROGRAM) {
        QProcess process;
        Start(process, arguments, display, program);
        TRun run;
        run.finished = process.waitForFinished(60000);
        if (!run.finished) {
            process.kill();
            process.waitForFinished();
            ADD_FAILURE() << "kestrin did not end";
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput().toStdString();
        run.err = process.readAllStandardError().toStdString();
        return run;
    }

    // Starts a run that is expected to stay open: waits for its outcome line,
    // makes sure it is still running a moment later, then stops it.
    std::string RunThatStaysOpen(const QStringList& arguments) {
        QProcess process;
        Start(process, arguments);
        std::string err;
        for (int i = 0; i < 120 && err.find("unattended write:") == std::string::npos; ++i) {
            if (process.state() != QProcess::Running) break;
            process.waitForReadyRead(500);
            err += process.readAllStandardError().toStdString();
        }
        EXPECT_NE(err.find("unattended write:"), std::string::npos) << err;
        EXPECT_FALSE(process.waitForFinished(1500)) << "ended with " << process.exitCode() << ": " << err;
        process.kill();
        process.waitForFinished();
        return err;
    }

    // The Flash the runs left behind. Read from a copy of the state file, as
    // the adapter writes its memory back to the file it was given.
    std::vector<uint8_t> Chip(int32_t count) {
        if (!QFileInfo::exists(Arg(StateFile()))) return std::vector<uint8_t>(static_cast<size_t>(count), 0xFF);
        const QString copy = tmp_.filePath(QStringLiteral("readback-%1.state").arg(++readbacks_));
        EXPECT_TRUE(QFile::copy(Arg(StateFile()), copy));
        VirtualDriver driver;
        driver.Set("chip", chip_);
        driver.Set("state_file", copy.toStdString());
        return driver.Read(VV_FLASH, 0, count);
    }
    bool ChipErased() {
        const std::vector<uint8_t> flash = Chip(64);
        return std::all_of(flash.begin(), flash.end(), [](uint8_t b) { return b == 0xFF; });
    }

    IniFile Settings() const {
        IniFile ini;
        ini.Load(SettingsFile());
        return ini;
    }

    QTemporaryDir tmp_;
    std::string file_;
    int readbacks_ = 0;
    std::string chip_;
};

TEST_F(UnattendedProcess, InvisibleRunWritesTheChipEndsWithZeroAndKeepsTheSettings) {
    const TRun run = Run({Arg("/F=" + file_), "/S=0", "/T=1", "/V=1"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("kestrin: unattended write: Ok\n"), std::string::npos) << run.err;
    EXPECT_EQ(Chip(static_cast<int32_t>(kBlink.size())), kBlink);
    const IniFile ini = Settings();
    EXPECT_EQ(ini.ReadString("Settings", "Last file", ""), file_);
    EXPECT_TRUE(ini.ReadBool("Settings", "Autoconnect", false));
    EXPECT_TRUE(ini.ReadBool("Settings", "Verify", false));
}

TEST_F(UnattendedProcess, IntelHexFileIsReadAsIntelHexWhateverTheStoredType) {
    StoredSettings("[Settings]\nFileType=1\n");
    const TRun run = Run({"/F=" + QString::fromUtf8(KESTRIN_SOURCE_DIR) + "/examples/blink-89s8252.hex", "/S=1", "/T=1"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Chip(static_cast<int32_t>(kBlink.size())), kBlink);
    EXPECT_EQ(Settings().ReadInteger("Settings", "FileType", 0), 2);
}

TEST_F(UnattendedProcess, ExitCodeTellsEachKindOfFailure) {
    struct Case {
        std::string adapter;
        std::string chip;
        QStringList arguments;
        int exitCode;
        std::string outcome;
        bool chipTouched;
    };
    const std::vector<Case> cases = {
        {"stuck_bit = flash:0x0002:0:0\n", "AT89S8252", {"/S=1", "/T=1", "/V=1"}, 2, "failed", true},
        // The AT89S8253 answers the programming enable, so a missing target is noticed.
        {"no_target = 1\n", "AT89S8253", {"/S=1", "/T=1", "/P=2"}, 3, "no device", false},
        {"", "AT89S8252", {"/S=1"}, 1, "not connected to Veltro (/T=1 is required for programming)", false},
        {"unplugged = 1\n", "AT89S8252", {"/S=1", "/T=1"}, 1, "Veltro not connected", false},
        {"", "AT89S8252", {"/S=1", "/T=1", "/A=65530"}, 1,
         "File size exceeds memory range with given start address! 12 bytes from FFFAh do not fit the address space "
         "of 65536 bytes.",
         false},
    };
    for (const Case& c : cases) {
        SetUp();
        Adapter(c.adapter, c.chip);
        QStringList arguments = c.arguments;
        arguments << Arg("/F=" + file_);
        const TRun run = Run(arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.outcome << "\n" << run.err;
        EXPECT_NE(run.err.find("kestrin: unattended write: " + c.outcome + "\n"), std::string::npos) << run.err;
        EXPECT_EQ(!ChipErased(), c.chipTouched) << c.outcome;
    }
}

TEST_F(UnattendedProcess, FileThatCannotBeReadIsNotReplacedByTheStoredOne) {
    StoredSettings("[Settings]\nLast file=" + file_ + "\n");
    const TRun run = Run({Arg("/F=" + Path("missing.bin")), "/S=1", "/T=1"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("unattended write: " + Path("missing.bin") + ": error at opening file\n"), std::string::npos)
        << run.err;
    EXPECT_TRUE(ChipErased());
    EXPECT_EQ(Settings().ReadString("Settings", "Last file", ""), file_);
}

TEST_F(UnattendedProcess, OnAPlatformThatShowsNothingEveryRunEndsWithItsCode) {
    // offscreen and minimal show no window: a run that would stay open for
    // nobody ends, as without a display, and its exit code tells the outcome.
    struct Case {
        const char* platform;
        std::string adapter;
        QStringList arguments;
        int exitCode;
        std::string outcome;  // "" for the help-only start
    };
    const std::vector<Case> cases = {
        {"offscreen", "stuck_bit = flash:0x0002:0:0\n", {"/S=2", "/T=1", "/V=1"}, 2, "failed"},
        {"minimal", "stuck_bit = flash:0x0002:0:0\n", {"/S=2", "/T=1", "/V=1"}, 2, "failed"},
        {"offscreen", "unplugged = 1\n", {"/S=0", "/T=1"}, 1, "Veltro not connected"},
        {"minimal", "", {"/S=3", "/T=1"}, 0, "Ok"},
        {"offscreen", "no_target = 1\n", {"/S=3", "/T=1"}, 3, "no device"},
        {"offscreen", "", {"/H=1"}, 0, ""},
        // An /S= value that is not a mode starts nothing: refused, never a window for nobody.
        {"offscreen", "", {"/S=x", "/T=1"}, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.platform) + " " + c.arguments.join(' ').toStdString());
        SetUp();
        Adapter(c.adapter);
        QProcess process;
        QProcessEnvironment env = Environment(true);
        env.insert("QT_QPA_PLATFORM", c.platform);
        process.setProcessEnvironment(env);
        process.start(KESTRIN_PROGRAM, c.arguments + QStringList{Arg("/F=" + file_)});
        ASSERT_TRUE(process.waitForStarted(30000));
        const bool ended = process.waitForFinished(60000);
        if (!ended) process.kill();
        process.waitForFinished();
        ASSERT_TRUE(ended);
        EXPECT_EQ(process.exitCode(), c.exitCode);
        const std::string err = process.readAllStandardError().toStdString();
        if (!c.outcome.empty()) {
            EXPECT_NE(err.find("kestrin: unattended write: " + c.outcome + "\n"), std::string::npos) << err;
        }
    }
}

TEST_F(UnattendedProcess, SigtermStopsTheWriteWithExitCodeFour) {
    // A write that takes half a minute in real time: 8 KB, a byte every 4 ms.
    Adapter("realtime = 1\n");
    std::vector<uint8_t> image(8192);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + 1);
    const std::string big = Path("big.bin");
    std::ofstream(big, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 8192);
    QProcess process;
    Start(process, {Arg("/F=" + big), "/S=1", "/T=1", "/V=1"});
    // Past the start-up (the write begins 500 ms after the window is made).
    QThread::msleep(3000);
    ASSERT_EQ(process.state(), QProcess::Running);
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 4);
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_NE(err.find("kestrin: unattended write: stopped\n"), std::string::npos) << err;
    // Stopped on the way: the chip holds the beginning, not the end.
    const auto chip = Chip(8192);
    EXPECT_EQ(chip[0], image[0]);
    EXPECT_NE(chip[8191], image[8191]);
}

TEST_F(UnattendedProcess, UnclosedQuoteIsNamedOnStandardError) {
    const TRun run = Run({"/S=1", "/T=1", "/F=\"" + QString::fromStdString(file_)});
    EXPECT_NE(run.err.find("kestrin: the double quote in \"/F=" + file_ + "\" is not closed"), std::string::npos)
        << run.err;
    // The value runs to the end of the line: the file is still the one named.
    EXPECT_EQ(run.exitCode, 0) << run.err;
}

TEST_F(UnattendedProcess, QuotedFileNameWithBlanksAndVerifyAreStored) {
    const std::string name = Path("My File.bin");
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(kBlink.data()), kBlink.size());
    // Quotes as a Windows-style caller leaves them, and split at the blank.
    const QString quoted = Arg("/f=\"" + name + "\"");
    for (const QStringList& arguments :
         {QStringList{quoted, "/v=1", "/t=1", "/s=1"}, quoted.split(' ') + QStringList{"/V=1", "/T=1", "/S=1"}}) {
        SetUp();
        const TRun run = Run(arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const IniFile ini = Settings();
        EXPECT_EQ(ini.ReadString("Settings", "Last file", ""), name);
        EXPECT_TRUE(ini.ReadBool("Settings", "Verify", false));
        EXPECT_EQ(Chip(static_cast<int32_t>(kBlink.size())), kBlink);
    }
}

TEST_F(UnattendedProcess, PortChosenByNumberOrNameElseTheStoredOne) {
    struct Case {
        std::string ports;
        std::string c;
        int32_t comIndex;
        bool noted;
    };
    const std::vector<Case> cases = {
        {"COM1,COM2,COM3", "/C=3", 2, false},
        {"COM1,COM2", "/C=7", 1, true},  // no COM7: the stored port
        {"ttyUSB0,ttyUSB1", "/C=ttyUSB0", 0, false},
        {"ttyUSB0,ttyUSB1", "/C=ttyACM0", 1, true},
    };
    for (const Case& c : cases) {
        SetUp();
        Adapter("ports = " + c.ports + "\n");
        StoredSettings("[Settings]\nCOMIndex=1\n");
        const TRun run = Run({Arg(c.c), Arg("/F=" + file_), "/T=1", "/S=1"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(Settings().ReadInteger("Settings", "COMIndex", -1), c.comIndex) << c.c;
        EXPECT_EQ(run.err.find("no serial port for " + c.c) != std::string::npos, c.noted) << run.err;
    }
}

TEST_F(UnattendedProcess, IgnoredParametersAreNotedAndTheRestApplies) {
    const TRun run = Run({"/X=1", "/A=70000", "/P=9", Arg("/F=" + file_), "/T=1", "/S=1"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const char* note : {"kestrin: ignored \"/X=1\": unknown parameter\n",
                             "kestrin: ignored \"/A=70000\": start address outside 0..65535\n",
                             "kestrin: ignored \"/P=9\": no such profile (1..2)\n"}) {
        EXPECT_NE(run.err.find(note), std::string::npos) << run.err;
    }
    EXPECT_EQ(Chip(static_cast<int32_t>(kBlink.size())), kBlink);
}

TEST_F(UnattendedProcess, TerminalRequestsNeedNoDisplay) {
    TRun run = Run({"--help"}, false);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("/H=1 show this help (no more action)\n\nOnly declared"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  2  verification found a difference"), std::string::npos);
    run = Run({"/S=1", "--version"}, false);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Kestrin 1.4\nAdapter driver: " + std::string(KESTRIN_VIRTUAL_DRIVER) + "\n");
    EXPECT_TRUE(ChipErased());
    EXPECT_FALSE(QFileInfo::exists(Arg(SettingsFile())));
}

// Installed as cmake --install lays it out: the program in bin/, the driver in
// lib/ (or the platform's library folder) of the same prefix.
TEST_F(UnattendedProcess, AnInstalledProgramFindsTheDriverInItsPrefix) {
    const struct {
        const char* what;
        QString driverFolder;  // below the prefix; empty: no driver installed
        bool libraryPath;      // LD_LIBRARY_PATH names the virtual adapter's folder
    } cases[] = {
        {"beside the program", "bin", false},
        {"in lib/", "lib", false},
        {"nowhere", "", false},
        {"in lib/, LD_LIBRARY_PATH naming another", "lib", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir prefix;
        ASSERT_TRUE(prefix.isValid());
        ASSERT_TRUE(QDir(prefix.path()).mkpath("bin"));
        const QString program = prefix.filePath("bin/kestrin");
        ASSERT_TRUE(QFile::copy(KESTRIN_PROGRAM, program));
        QString driver;
        if (!c.driverFolder.isEmpty()) {
            ASSERT_TRUE(QDir(prefix.path()).mkpath(c.driverFolder));
            driver = QDir(prefix.filePath(c.driverFolder)).filePath("libVeltro.so");
            ASSERT_TRUE(QFile::copy(KESTRIN_VIRTUAL_DRIVER, driver));
        }
        if (c.libraryPath) driver = QString::fromUtf8(KESTRIN_VIRTUAL_DRIVER);
        QProcess process;
        QProcessEnvironment env = Environment(false);
        if (!c.libraryPath) env.remove("LD_LIBRARY_PATH");
        process.setProcessEnvironment(env);
        process.start(program, {"--version"});
        ASSERT_TRUE(process.waitForFinished(60000));
        const std::string out = process.readAllStandardOutput().toStdString();
        EXPECT_EQ(process.exitCode(), 0);
        if (!driver.isEmpty()) {
            EXPECT_EQ(out, "Kestrin 1.4\nAdapter driver: " + driver.toStdString() + "\n");
        } else {
            // Only a driver installed system-wide may be found, never one of ours.
            EXPECT_EQ(out.find(prefix.path().toStdString()), std::string::npos) << out;
        }
    }
}

TEST_F(UnattendedProcess, WithoutDisplayOnlyUnattendedRunsStartAndTheyAlwaysEnd) {
    // A window would stay open for nobody: the run ends with its code instead.
    Adapter("stuck_bit = flash:0x0002:0:0\n");
    TRun run = Run({Arg("/F=" + file_), "/S=2", "/T=1", "/V=1"}, false);
    EXPECT_EQ(run.exitCode, 2) << run.err;

    // The help-only start prints the help and writes nothing.
    SetUp();
    run = Run({"/H=1", "/S=1", "/T=1", Arg("/F=" + file_)}, false);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("/C=  select COM port."), std::string::npos) << run.out;
    EXPECT_TRUE(ChipErased());

    run = Run({Arg("/F=" + file_)}, false);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("no display found"), std::string::npos) << run.err;
}

TEST_F(UnattendedProcess, ChipDumpShowsWhatTheRunLeftInTheChip) {
    ASSERT_EQ(Run({Arg("/F=" + file_), "/S=1", "/T=1"}).exitCode, 0);
    TRun dump = Run({"--compare", Arg(file_)}, true, KESTRIN_CHIPDUMP);
    EXPECT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_NE(dump.out.find("0000: B2 90 7F FA 7E FA DE FE DF FA 80 F4\n"), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("The chip holds all 12 bytes"), std::string::npos) << dump.out;

    SetUp();  // an erased chip
    dump = Run({"--compare", Arg(file_)}, true, KESTRIN_CHIPDUMP);
    EXPECT_EQ(dump.exitCode, 1);
    EXPECT_NE(dump.out.find("12 of 12 bytes differ"), std::string::npos) << dump.out;
}

}  // namespace
}  // namespace kestrin::test

namespace kestrin::test {
namespace {

// The main window's "copy settings as command line" gives a line that an
// unattended run takes as it stands: pasted after the program's name with
// /S=1, it writes the chosen file into the chip.
TEST_F(UnattendedProcess, CopiedSettingsLineRunsUnattended) {
    setenv("VELTRO_VIRTUAL_CONFIG", tmp_.filePath("virtual.ini").toUtf8().constData(), 1);
    setenv("XDG_CONFIG_HOME", tmp_.filePath("window-config").toUtf8().constData(), 1);
    ASSERT_TRUE(LoadAdapterDriverFrom(KESTRIN_VIRTUAL_DRIVER));
    Config = TConfig{};
    BuildDefaultProfiles(ProfileTable);
    Config.ProfileCount = DefaultProfileCount;
    Config.LastFile = file_;
    Config.Autoconnect = false;  // the line asks for the connection all the same
    QString line;
    {
        TFormMain window;
        window.CheckBoxVerify->setChecked(true);
        window.copysettingsascommandlineparametersintoclipboard1->trigger();
        line = QGuiApplication::clipboard()->text();
        EXPECT_TRUE(window.StatusText(3).contains("/S=1")) << window.StatusText(3).toStdString();
    }
    LoadAdapterDriverFrom("");
    ASSERT_TRUE(line.contains("/T=1")) << line.toStdString();
    const TRun run = Run(QProcess::splitCommand(line) << "/S=1");
    EXPECT_EQ(run.exitCode, 0) << line.toStdString() << "\n" << run.err;
    EXPECT_NE(run.err.find("kestrin: unattended write: Ok\n"), std::string::npos) << run.err;
    EXPECT_EQ(Chip(static_cast<int32_t>(kBlink.size())), kBlink);
}

}  // namespace
}  // namespace kestrin::test
