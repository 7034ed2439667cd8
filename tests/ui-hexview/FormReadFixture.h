// Shared set-up of the hex view window tests: a fresh window on the offscreen
// platform, scripted prompts, default settings in a private settings folder,
// and helpers that type into the grid the way a user does.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "config/Prompts.h"
#include "config/UnitConfig.h"
#include "link/SPI.h"
#include "support/ScriptedPrompts.h"
#include "ui/HexGridModel.h"
#include "ui/HexGridView.h"
#include "ui/SpinButton.h"
#include "ui/UnitRead.h"

namespace kestrin::test {

class FormReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        setenv("XDG_CONFIG_HOME", dir.path().toUtf8().constData(), 1);
        setenv("XDG_STATE_HOME", (dir.path() + "/state").toUtf8().constData(), 1);
        Config = TConfig{};
        BuildDefaultProfiles(ProfileTable);
        Config.ProfileCount = DefaultProfileCount;
        Config.ProfileIndex = 0;
        Connected = false;
        LoadAdapterDriverFrom("");
        SetPrompts(&prompts);
        form = std::make_unique<TFormRead>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->RefreshView();
    }

    void TearDown() override {
        form.reset();
        SetPrompts(nullptr);
        Connected = false;
        LoadAdapterDriverFrom("");
    }

    // Selects a profile of the given controller type (a user profile after the
    // defaults, made from the default of that type where there is one).
    void SelectType(uint8_t type) {
        TProfile p = ProfileTable[type == ProfileTable[1].Type ? 1 : 0];
        p.Name = "test profile";
        p.IsDefault = false;
        p.Type = type;
        ValidateProfile(p);
        ProfileTable[DefaultProfileCount] = p;
        Config.ProfileCount = DefaultProfileCount + 1;
        Config.ProfileIndex = DefaultProfileCount;
    }

    std::string Path(const std::string& name) const { return (dir.path() + "/" + QString::fromStdString(name)).toStdString(); }

    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string path = Path(name);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    static std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
        return bytes;
    }

    // Loads a file through Load File, answering the open dialog.
    void Load(const std::string& path, int filterIndex = 1) {
        prompts.OpenAnswers.push_back({path, filterIndex});
        form->SpeedButtonLoadClick();
    }

    // Sets the size through the size edit and Enter.
    void EnterSize(const char* hex) {
        form->EditSize->setFocus();
        form->EditSize->clear();
        QTest::keyClicks(form->EditSize, hex);
        QTest::keyClick(form->EditSize, Qt::Key_Return);
    }

    // Text of a grid cell in grid coordinates (row 0 and column 0 are the headers).
    QString Cell(int column, int row) const {
        if (row == 0) return form->GridModel->headerData(column - 1, Qt::Horizontal, Qt::DisplayRole).toString();
        if (column == 0) return form->GridModel->headerData(row - 1, Qt::Vertical, Qt::DisplayRole).toString();
        return form->GridModel->CellIndex(column, row).data().toString();
    }

    int DataRows() const { return form->GridModel->rowCount(); }

    // Types characters at the grid's cursor, into the cell editor once one is open.
    void Type(const QString& keys) {
        for (QChar c : keys) {
            QWidget* target = form->StringGrid1->CellEditor();
            if (target == nullptr) target = form->StringGrid1;
            QTest::keyClick(target, c.toLatin1());
        }
    }

    void Key(Qt::Key key) {
        QWidget* target = form->StringGrid1->CellEditor();
        if (target == nullptr) target = form->StringGrid1;
        QTest::keyClick(target, key);
    }

    QTemporaryDir dir;
    TScriptedPrompts prompts;
    std::unique_ptr<TFormRead> form;
};

}  // namespace kestrin::test
