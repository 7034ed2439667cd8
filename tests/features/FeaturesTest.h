// Shared set-up of the fuse and lock bits dialog tests: the dialog over the
// dialog-test frame (scripted prompts, a watchdog for modal windows).
#pragma once

#include <QCheckBox>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/SPI.h"
#include "ui-options/OptionsTestSupport.h"
#include "ui/UnitFeatures.h"

namespace kestrin::test {

class FeaturesTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        form = std::make_unique<TFormFeatures>();
    }
    void TearDown() override {
        form.reset();
        Connected = false;
        DialogTest::TearDown();
    }

    TBitEdit* Edit(const char* name) const { return form->findChild<TBitEdit*>(QString::fromLatin1(name)); }
    QCheckBox* Box(const char* name) const { return form->findChild<QCheckBox*>(QString::fromLatin1(name)); }

    // Error messages shown so far.
    size_t Errors() const {
        size_t n = 0;
        for (const auto& c : Script.Messages)
            n += c.Kind == TMsgKind::Error && c.Text == "Error programming fuse bits!" && c.Buttons == TMsgButtons::Ok;
        return n;
    }

    // Confirmations asked so far; every one of them has No as its default.
    size_t Questions() const {
        size_t n = 0;
        for (const auto& c : Script.Messages) {
            if (c.Kind != TMsgKind::Confirmation) continue;
            EXPECT_EQ(c.Buttons, TMsgButtons::YesNoDefaultNo) << c.Text;
            ++n;
        }
        return n;
    }

    // The AVR bits as the dialog holds them: low, high, extended, lock.
    std::vector<uint8_t> Held() const {
        return {form->Edited.FuseLow, form->Edited.FuseHigh, form->Edited.FuseExtended, form->Edited.AvrLock};
    }

    std::unique_ptr<TFormFeatures> form;
};

}  // namespace kestrin::test
