// The options dialog's "Detect" button on the virtual adapter: it checks the
// type of the attached controller in the profile being edited.
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <memory>

#include "OptionsTestSupport.h"
#include "ui/UnitOptions.h"
#include "virtual/VirtualDriver.h"

namespace kestrin::test {
namespace {

class DetectButtonTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        form = std::make_unique<TFormOptions>();
        Connected = true;
    }
    void TearDown() override {
        Connected = false;
        DialogTest::TearDown();
    }

    // Attaches the chip, opens the dialog on the AT89S8252 default profile and clicks Detect.
    void DetectWith(const char* chip, const std::vector<std::pair<std::string, std::string>>& options = {}) {
        vd.ResetAll();
        vd.Set("chip", chip);
        for (const auto& [key, value] : options) vd.Set(key, value);
        ASSERT_EQ(Ops.Connect(0, 1), 0);
        Script.Messages.clear();
        form->Open();
        form->ButtonDetect->click();
    }

    VirtualDriver vd;
    std::unique_ptr<TFormOptions> form;
};

TEST_F(DetectButtonTest, ChecksTheTypeOfTheAttachedController) {
    const struct {
        const char* chip;
        uint8_t type;
        const char* message;
    } cases[] = {
        {"ATmega328P", ctATmega, "Detected ATmega328P (ATmega)."},
        {"ATtiny13", ctATtiny, "Detected ATtiny13 (ATtiny)."},
        {"AT90S2313", ctAT90xx, "Detected AT90S2313 (AT90xx)."},
        {"AT89S8253", ctAT89S8253, "Detected AT89S8253 (AT89S8253)."},
        {"AT89S52", ctAT89S52, "Detected AT89S52 (AT89S52)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chip);
        DetectWith(c.chip);
        EXPECT_TRUE(form->RadioButtons[c.type]->isChecked());
        ASSERT_EQ(Script.Messages.size(), 1u);
        EXPECT_EQ(Script.Messages[0].Kind, TMsgKind::Information);
        EXPECT_EQ(Script.Messages[0].Text, c.message);
        // The working profile took the type, as a click on the radio button would.
        EXPECT_TRUE(form->ButtonSave->isEnabled());
        form->Commit();
        EXPECT_EQ(ProfileTable[0].Type, c.type);
        ResetSettings();
    }
}

TEST_F(DetectButtonTest, NothingDetectedLeavesTheTypeAndSaysWhy) {
    const struct {
        const char* chip;
        std::vector<std::pair<std::string, std::string>> options;
        const char* message;
    } cases[] = {
        {"ATmega8", {{"no_target", "1"}}, "No controller detected: nothing answered!"},
        {"AT89S53", {}, "No controller detected: nothing answered!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chip);
        DetectWith(c.chip, c.options);
        EXPECT_TRUE(form->RadioButtons[ctAT89S8252]->isChecked());
        ASSERT_EQ(Script.Messages.size(), 1u);
        EXPECT_EQ(Script.Messages[0].Kind, TMsgKind::Warning);
        EXPECT_EQ(Script.Messages[0].Text, c.message);
        EXPECT_FALSE(form->ButtonSave->isEnabled());
    }

    vd.ResetAll();
    vd.Set("chip", "ATmega8");
    Connected = false;
    Script.Messages.clear();
    form->Open();
    form->ButtonDetect->click();
    ASSERT_EQ(Script.Messages.size(), 1u);
    EXPECT_EQ(Script.Messages[0].Text, "Connect the adapter first!");
    EXPECT_TRUE(vd.Log().empty());
}

TEST_F(DetectButtonTest, ProbesWithTheLineLevelsOfTheDialog) {
    vd.ResetAll();
    vd.Set("chip", "ATmega8");
    vd.Set("wire_sck_inverted", "1");
    ASSERT_EQ(Ops.Connect(0, 1), 0);
    form->Open();
    form->CheckBoxSCK->click();
    Script.Messages.clear();
    form->ButtonDetect->click();
    EXPECT_TRUE(form->RadioButtons[ctATmega]->isChecked());
    EXPECT_TRUE(form->CheckBoxSCK->isChecked());
}

}  // namespace
}  // namespace kestrin::test
