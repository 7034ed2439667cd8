// Shared set-up of the fuse and lock bits dialog tests: the dialog, scripted
// prompts, and a watchdog that closes a modal window left open.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QTimer>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "config/Prompts.h"
#include "link/SPI.h"
#include "ui-options/OptionsTestSupport.h"
#include "ui/UnitFeatures.h"

namespace kestrin::test {

class FeaturesTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetPrompts(&prompts);
        form = std::make_unique<TFormFeatures>();
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
        form.reset();
        SetPrompts(nullptr);
        Connected = false;
    }

    TBitEdit* Edit(const char* name) const { return form->findChild<TBitEdit*>(QString::fromLatin1(name)); }
    QCheckBox* Box(const char* name) const { return form->findChild<QCheckBox*>(QString::fromLatin1(name)); }

    // Error messages shown so far.
    size_t Errors() const {
        size_t n = 0;
        for (const auto& c : prompts.Calls)
            n += c.Kind == TMsgKind::Error && c.Text == "Error programming fuse bits!" && c.Buttons == TMsgButtons::Ok;
        return n;
    }

    ScriptedPrompts prompts;
    std::unique_ptr<TFormFeatures> form;

private:
    QTimer watchdog_;
};

}  // namespace kestrin::test
