// Shared set-up of the main-window tests: a private settings folder, fresh
// settings and profiles, scripted prompts and a bound test driver.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>

#include <ostream>

#include <cstdlib>
#include <deque>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/UnitMain.h"
#include "config/Prompts.h"
#include "config/UnitConfig.h"
#include "files/FileResult.h"
#include "link/SPI.h"
#include "support/RecordingDriver.h"
#include "support/ScriptedPrompts.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace kestrin::test {

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
        setenv("XDG_CONFIG_HOME", tmp_.path().toUtf8().constData(), 1);
        // The backup journal of this test's runs.
        setenv("XDG_STATE_HOME", (tmp_.path() + "/state").toUtf8().constData(), 1);
        Config = TConfig{};
        BuildDefaultProfiles(ProfileTable);
        Config.ProfileCount = DefaultProfileCount;
        Connected = false;
        SetPrompts(&prompts_);
    }
    void TearDown() override {
        form_.reset();
        SetPrompts(nullptr);
        LoadAdapterDriverFrom("");
    }

    // Binds the recording driver with the given serial ports.
    RecordingDriver& Recorder(const std::vector<std::string>& ports = {"COM1", "COM2"}) {
        rec_ = std::make_unique<RecordingDriver>();
        rec_->SetPorts(ports);
        EXPECT_TRUE(rec_->Bind());
        rec_->ClearLog();
        return *rec_;
    }

    // Creates the main window as the program does (FormCreate runs now).
    TFormMain& Form() {
        form_ = std::make_unique<TFormMain>();
        return *form_;
    }
    void DestroyForm() { form_.reset(); }

    std::string JournalFolder() const { return (tmp_.path() + "/state/kestrin").toStdString(); }
    std::string TempFile(const std::string& name) const { return (tmp_.path() + "/" + QString::fromStdString(name)).toStdString(); }

    std::string MakeFile(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string path = TempFile(name);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string MakeFile(const std::string& name, size_t size, uint8_t first = 0) const {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(first + i * 7);
        return MakeFile(name, bytes);
    }

    // Adds a user profile and selects it.
    void SelectUserProfile(uint8_t type, const std::string& name = "user") {
        TProfile p = ProfileTable[type == ctAT89S8253 ? 1 : 0];
        p.Name = name;
        p.IsDefault = false;
        p.Type = type;
        ProfileTable[static_cast<size_t>(Config.ProfileCount)] = p;
        Config.ProfileIndex = Config.ProfileCount;
        ++Config.ProfileCount;
        ++Config.Profiles;
    }

    TScriptedPrompts prompts_;
    std::unique_ptr<RecordingDriver> rec_;
    std::unique_ptr<TFormMain> form_;
    QTemporaryDir tmp_;
};

// True when the log holds no byte sent to the target.
inline bool NothingSent(const std::string& log) {
    return log.find("SPIW") == std::string::npos;
}

}  // namespace kestrin::test
