// The options dialog's "Detect" button on the virtual adapter: it selects the
// profile of the attached controller's type, or offers to add one.
#include <QCheckBox>
#include <QComboBox>
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

// Detect chooses among the user's profiles or adds one when asked; the
// profile shown keeps its type whatever answers.
TEST_F(DetectButtonTest, SelectsOrOffersAProfileButNeverRetypesOne) {
    const struct {
        const char* chip;
        std::vector<TMsgResult> answers;
        TMsgKind kind;
        const char* message;
        const char* selected;  // the profile shown afterwards
        int32_t count;         // profiles afterwards
        uint8_t type;          // the type shown
    } cases[] = {
        {"ATmega328P", {TMsgResult::Yes}, TMsgKind::Confirmation,
         "Detected ATmega328P (ATmega). No profile is for it: create the profile \"ATmega328P\"?", "ATmega328P", 3,
         ctATmega},
        {"ATtiny13", {TMsgResult::No}, TMsgKind::Confirmation,
         "Detected ATtiny13 (ATtiny). No profile is for it: create the profile \"ATtiny13\"?", "89S8252 (default)", 2,
         ctAT89S8252},
        {"AT90S2313", {}, TMsgKind::Confirmation,
         "Detected AT90S2313 (AT90xx). No profile is for it: create the profile \"AT90S2313\"?", "89S8252 (default)",
         2, ctAT89S8252},
        {"AT89S8253", {}, TMsgKind::Information,
         "Detected AT89S8253 (AT89S8253): profile \"89S8253 (default)\" selected.", "89S8253 (default)", 2,
         ctAT89S8253},
        {"AT89S8252", {}, TMsgKind::Information,
         "AT89S8252 does not report a signature (nor does the AT89S53): choose its profile yourself.",
         "89S8252 (default)", 2, ctAT89S8252},
        {"AT89S53", {}, TMsgKind::Information,
         "AT89S8252 does not report a signature (nor does the AT89S53): choose its profile yourself.",
         "89S8252 (default)", 2, ctAT89S8252},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chip);
        Script.Answers.assign(c.answers.begin(), c.answers.end());
        DetectWith(c.chip);
        ASSERT_EQ(Script.Messages.size(), 1u);
        EXPECT_EQ(Script.Messages[0].Kind, c.kind);
        EXPECT_EQ(Script.Messages[0].Text, c.message);
        EXPECT_EQ(form->ComboBox2->currentText().toStdString(), c.selected);
        EXPECT_EQ(form->ComboBox2->count(), c.count);
        EXPECT_TRUE(form->RadioButtons[c.type]->isChecked());
        form->Commit();
        EXPECT_EQ(ProfileTable[0].Type, ctAT89S8252);
        EXPECT_EQ(ProfileTable[0].Info, "Atmel AT89S8252");
        EXPECT_EQ(Config.ProfileCount, c.count);
        if (c.count == 3) {
            EXPECT_EQ(ProfileTable[2].Name, c.chip);
            EXPECT_EQ(ProfileTable[2].Type, c.type);
        }
        ResetSettings();
    }
}

TEST_F(DetectButtonTest, AProfileOfTheDetectedTypeShownStaysShown) {
    Script.Answers = {TMsgResult::Yes};
    DetectWith("ATmega328P");
    ASSERT_EQ(form->ComboBox2->currentText().toStdString(), "ATmega328P");
    Script.Messages.clear();
    form->ButtonDetect->click();
    ASSERT_EQ(Script.Messages.size(), 1u);
    EXPECT_EQ(Script.Messages[0].Text, "Detected ATmega328P (ATmega).");
    EXPECT_EQ(form->ComboBox2->currentText().toStdString(), "ATmega328P");
    EXPECT_EQ(form->ComboBox2->count(), 3);
}

TEST_F(DetectButtonTest, NothingDetectedLeavesTheTypeAndSaysWhy) {
    const struct {
        const char* chip;
        std::vector<std::pair<std::string, std::string>> options;
        const char* message;
    } cases[] = {
        {"ATmega8", {{"no_target", "1"}}, "No controller detected: nothing answered!"},
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

TEST_F(DetectButtonTest, ProbesWithTheLineLevelsOfTheDialogAndKeepsThemInTheNewProfile) {
    vd.ResetAll();
    vd.Set("chip", "ATmega8");
    vd.Set("wire_sck_inverted", "1");
    ASSERT_EQ(Ops.Connect(0, 1), 0);
    form->Open();
    form->CheckBoxSCK->click();
    Script.Messages.clear();
    Script.Answers = {TMsgResult::Yes};
    form->ButtonDetect->click();
    EXPECT_TRUE(form->RadioButtons[ctATmega]->isChecked());
    EXPECT_TRUE(form->CheckBoxSCK->isChecked());
    form->Commit();
    ASSERT_EQ(Config.ProfileCount, 3);
    EXPECT_EQ(ProfileTable[2].Name, "ATmega8");
    EXPECT_TRUE(ProfileTable[2].SCK);
}

}  // namespace
}  // namespace kestrin::test
