// Shared fixture of the options and save-profile dialog tests: fresh settings,
// a scripted prompt, a private settings folder, and a way to act inside a
// modal window's loop without ever hanging on it.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/Prompts.h"
#include "config/UnitConfig.h"
#include "link/SPI.h"
#include "support/ScriptedPrompts.h"

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace kestrin::test {

// Runs action as soon as dialog is the modal window on screen. If it never
// becomes one, the attempt fails the test instead of waiting for ever.
inline void WhenShown(QDialog& dialog, std::function<void()> action) {
    auto* timer = new QTimer(&dialog);
    auto tries = std::make_shared<int>(0);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, &dialog, [timer, tries, &dialog, action] {
        if (dialog.isVisible() && QApplication::activeModalWidget() == &dialog) {
            timer->stop();
            action();
        } else if (++*tries > 2000) {
            timer->stop();
            ADD_FAILURE() << "the dialog was never shown";
        }
    });
    timer->start();
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        setenv("XDG_CONFIG_HOME", home_.path().toLocal8Bit().constData(), 1);
        ResetSettings();
        Script.FileDialogsExpected = false;
        SetPrompts(&Script);
        // A window left open by a failing test is closed rather than waited for.
        QObject::connect(&watchdog_, &QTimer::timeout, [] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "a modal window was left open";
                w->close();
            }
        });
        watchdog_.start(15000);
    }

    void TearDown() override {
        watchdog_.stop();
        SetPrompts(nullptr);
    }

    // The two default profiles, the first selected; three ports, the first chosen.
    static void ResetSettings() {
        Config = TConfig{};
        ProfileTable = TProfileList{};
        BuildDefaultProfiles(ProfileTable);
        Config.ProfileCount = DefaultProfileCount;
        Config.Profiles = 0;
        Config.ProfileIndex = 0;
        Config.COMIndex = 0;
        PortNames = {"COM1", "COM2", "COM3"};
    }

    // Appends a user profile to the settings; returns its index.
    static int AddUser(const TProfile& p) {
        const int index = Config.ProfileCount;
        ProfileTable[static_cast<size_t>(index)] = p;
        ProfileTable[static_cast<size_t>(index)].IsDefault = false;
        ++Config.ProfileCount;
        Config.Profiles = Config.ProfileCount - DefaultProfileCount;
        return index;
    }

    static TProfile User(const std::string& name, uint8_t type, int32_t flash, int32_t eeprom, int32_t erase,
                         const std::string& info = "info") {
        TProfile p;
        p.Name = name;
        p.Info = info;
        p.Type = type;
        p.WaitFlash = flash;
        p.WaitEEPROM = eeprom;
        p.WaitErase = erase;
        return p;
    }

    TScriptedPrompts Script;

    QString SettingsFolder() const { return home_.path(); }

private:
    QTemporaryDir home_;
    QTimer watchdog_;
};

}  // namespace kestrin::test
