// Every settings test runs against its own settings folder (XDG_CONFIG_HOME)
// and records the messages the program shows instead of showing them.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "config/Prompts.h"
#include "config/UnitConfig.h"
#include "support/ScriptedPrompts.h"

namespace kestrin::test {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrin-settings-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        folder_ = root_ / "config";
        ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
        prompts_.FileDialogsExpected = false;
        SetPrompts(&prompts_);
        Config = TConfig{};
        ProfileTable.fill(TProfile{});
    }
    void TearDown() override {
        SetPrompts(nullptr);
        std::filesystem::remove_all(root_);
    }

    std::filesystem::path File() const { return folder_ / "Kestrin.ini"; }

    void WriteSettings(const std::string& text) {
        std::filesystem::create_directories(folder_);
        std::ofstream(File(), std::ios::binary) << text;
    }

    std::string ReadSettings() const {
        std::ifstream in(File(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    size_t Corrections() const {
        size_t n = 0;
        for (const auto& m : prompts_.Messages) {
            EXPECT_EQ(m.Kind, TMsgKind::Information);
            EXPECT_EQ(m.Buttons, TMsgButtons::Ok);
            if (m.Text == "Invalid profile information is corrected!") ++n;
        }
        return n;
    }

    std::filesystem::path root_;
    std::filesystem::path folder_;
    TScriptedPrompts prompts_;
};

}  // namespace kestrin::test
