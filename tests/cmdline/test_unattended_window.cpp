// The unattended write inside the main window: which window the user finds
// after a failure, and the exit code that outlives the window.
#include <QSignalSpy>
#include <QTimer>

#include "app/AppFixture.h"
#include "app/CommandLine.h"
#include "app/Translations.h"
#include "ui/UnitHelp.h"
#include "virtual/VirtualDriver.h"

namespace kestrin::test {
namespace {

class UnattendedWindow : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        virtual_ = std::make_unique<VirtualDriver>();
        file_ = MakeFile("image.bin", 40, 3);
    }
    // An AT89S8253 and its default profile: this chip answers the programming
    // enable, so a missing target is noticed.
    void PageChip() {
        virtual_->Set("chip", "AT89S8253");
    }
    // The window as the program creates it after reading the command line.
    TFormMain& Start(const QStringList& arguments) {
        Config = TConfig{};
        Config.ProfileCount = DefaultProfileCount;
        ApplyCommandLine(arguments);
        TFormMain& f = Form();
        if (Config.ExecMode != 0) f.show();
        return f;
    }
    std::unique_ptr<VirtualDriver> virtual_;
    std::string file_;
};

TEST_F(UnattendedWindow, WhatTheUserFindsAfterAFailure) {
    struct Case {
        const char* fault;  // "key=value" for the adapter, or ""
        QStringList arguments;
        bool ends;
        int panel;
        QString status;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {"stuck_bit=flash:0x0001:0:1", {"/S=2", "/T=1", "/V=1"}, false, 2, "failed", ecVerifyFailed},
        {"stuck_bit=flash:0x0001:0:1", {"/S=1", "/T=1", "/V=1"}, true, 2, "failed", ecVerifyFailed},
        {"unplugged=1", {"/S=0", "/T=1"}, false, 3, "Veltro not connected", ecRefused},
        {"no_target=1", {"/S=0", "/T=1"}, false, 2, "no device", ecNoAnswer},
        {"no_target=1", {"/S=3", "/T=1"}, false, 2, "no device", ecNoAnswer},
        {"", {"/S=3", "/T=1"}, false, 2, "Ok", ecOk},
        {"", {"/S=0", "/T=1"}, true, 2, "Ok", ecOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString() + " " + c.fault);
        virtual_->ResetAll();
        const std::string fault = c.fault;
        PageChip();
        if (!fault.empty()) virtual_->Set(fault.substr(0, fault.find('=')), fault.substr(fault.find('=') + 1));
        TFormMain& f = Start(c.arguments + QStringList{"/P=2", QString::fromStdString("/F=" + file_)});
        EXPECT_EQ(f.isVisible(), Config.ExecMode != 0);
        QSignalSpy closed(&f, &TFormMain::Closed);
        testing::internal::CaptureStderr();
        f.TimerExecTimer();
        QCoreApplication::processEvents();
        const std::string err = testing::internal::GetCapturedStderr();
        // The outcome line first; a verify difference adds its address on a line of its own.
        EXPECT_EQ(err.rfind("kestrin: unattended write: " + c.status.toStdString() + "\n", 0), 0u) << err;
        if (c.exitCode == ecVerifyFailed) {
            EXPECT_NE(err.find("kestrin: Verify failed at 0001h: wrote "), std::string::npos) << err;
        }
        EXPECT_EQ(closed.count(), c.ends ? 1 : 0);
        EXPECT_EQ(f.isVisible(), !c.ends);
        EXPECT_EQ(f.StatusText(c.panel), c.status);
        EXPECT_EQ(f.ExitCode, c.exitCode);
        if (!c.ends) {
            // The user closes the window later: the code stays, the settings are taken over.
            f.CheckBoxBackup->setChecked(true);
            f.close();
            EXPECT_EQ(closed.count(), 1);
            EXPECT_EQ(f.ExitCode, c.exitCode);
            EXPECT_TRUE(Config.Backup);
        }
        DestroyForm();
    }
}

// A window shown in German still reports to standard error in English: scripts match those lines.
TEST_F(UnattendedWindow, StandardErrorStaysEnglishUnderAGermanWindow) {
    TTranslations german;
    ASSERT_TRUE(german.Install(QLocale(QLocale::German, QLocale::Germany)));
    const std::string missing = TempFile("missing.bin");
    const struct {
        const char* fault;
        std::string file;
        std::string line;  // the outcome line on standard error
        QString shown;     // status panel 3 of the window, where it keeps the outcome
    } cases[] = {
        {"unplugged=1", file_, "Veltro not connected", QString::fromUtf8("Veltro nicht angeschlossen")},
        {"", missing, missing + ": error at opening file", QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        virtual_->ResetAll();
        PageChip();
        const std::string fault = c.fault;
        if (!fault.empty()) virtual_->Set(fault.substr(0, fault.find('=')), fault.substr(fault.find('=') + 1));
        TFormMain& f = Start({"/S=3", "/T=1", "/P=2", QString::fromStdString("/F=" + c.file)});
        testing::internal::CaptureStderr();
        f.TimerExecTimer();
        QCoreApplication::processEvents();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("kestrin: unattended write: " + c.line + "\n", 0), 0u) << err;
        if (!c.shown.isEmpty()) {
            EXPECT_EQ(f.StatusText(3), c.shown);
        }
        EXPECT_EQ(f.ExitCode, ecRefused);
        DestroyForm();
    }
}

TEST_F(UnattendedWindow, NoUnattendedWriteMeansExitCodeZero) {
    for (const QStringList& arguments : {QStringList{}, QStringList{"/T=1", "/V=1"}, QStringList{"/H=1", "/S=1"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        TFormMain& f = Start(arguments);
        auto* help = new TFormHelp(&f);
        FormHelp = help;
        QTimer::singleShot(0, help, [help] { help->reject(); });
        f.TimerExecTimer();
        QCoreApplication::processEvents();
        EXPECT_EQ(f.ExitCode, ecOk);
        EXPECT_EQ(virtual_->Read(VV_FLASH, 0, 40), std::vector<uint8_t>(40, 0xFF));
        FormHelp = nullptr;
        DestroyForm();
    }
}

}  // namespace
}  // namespace kestrin::test
