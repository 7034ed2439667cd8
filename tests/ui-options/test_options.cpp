#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <climits>
#include <memory>

#include "OptionsTestSupport.h"
#include "ui/UnitNewProfile.h"
#include "ui/QtPrompts.h"
#include "ui/UnitOptions.h"

namespace kestrin::test {
namespace {

struct TSnapshot {
    TConfig Settings = Config;
    TProfileList Table = ProfileTable;
};

void ExpectUnchanged(const TSnapshot& before) {
    EXPECT_EQ(Config.COMIndex, before.Settings.COMIndex);
    EXPECT_EQ(Config.Autoconnect, before.Settings.Autoconnect);
    EXPECT_EQ(Config.ProfileIndex, before.Settings.ProfileIndex);
    EXPECT_EQ(Config.ProfileCount, before.Settings.ProfileCount);
    EXPECT_EQ(Config.Profiles, before.Settings.Profiles);
    EXPECT_TRUE(ProfileTable == before.Table);
}

// The user picks entry i of the profile list.
void Choose(TFormOptions& form, int i) {
    form.ComboBox2->setCurrentIndex(i);
    emit form.ComboBox2->activated(i);
}

void Step(TWaitUpDown* upDown, int steps) {
    for (int n = 0; n < std::abs(steps); ++n) QTest::keyClick(upDown, steps > 0 ? Qt::Key_Up : Qt::Key_Down);
}

bool Shown(const QWidget* w) { return !w->isHidden(); }

struct TSaveDialogSeen {
    QString Name;
    QString Info;
};

class OptionsTest : public DialogTest {
protected:
    TFormOptions& Form() {
        if (!form_) form_ = std::make_unique<TFormOptions>();
        return *form_;
    }
    TFormOptions& Opened() {
        Form().Open();
        return *form_;
    }

    // "Save profile as..." with the name (and, when given, description) typed
    // into the save dialog, left with OK or Cancel; returns what the dialog showed.
    TSaveDialogSeen SaveAs(const QString& name, const char* info = nullptr, bool ok = true) {
        TFormNewProfile& dialog = form_->NewProfileForm();
        TSaveDialogSeen seen;
        WhenShown(dialog, [&] {
            seen = {dialog.EditName->text(), dialog.EditInfo->text()};
            QTest::keyClicks(dialog.EditName, name);
            if (info != nullptr) dialog.EditInfo->setText(QString::fromUtf8(info));
            (ok ? dialog.BitBtnOk : dialog.BitBtnCancel)->click();
        });
        form_->ButtonSave->click();
        return seen;
    }

    std::unique_ptr<TFormOptions> form_;
};

TEST(WaitScale, PositionAndText) {
    struct TCase {
        const TWaitScale* Scale;
        int32_t Value;
        int Position;
        const char* Text;
    };
    const TCase cases[] = {
        {&WaitScaleFlash, 4000, 40, "4,0ms"},       {&WaitScaleFlash, 4550, 45, "4,5ms"},
        {&WaitScaleFlash, 500, 5, "0,5ms"},         {&WaitScaleFlash, 20000, 100, "10,0ms"},
        {&WaitScaleFlash, 99, 1, "0,1ms"},          {&WaitScaleFlash, INT32_MAX, 100, "10,0ms"},
        {&WaitScaleFlash, INT32_MIN, 1, "0,1ms"},   {&WaitScaleEEPROM, 0, 0, "0,0ms"},
        {&WaitScaleEEPROM, -1, 0, "0,0ms"},         {&WaitScaleErase, 500000, 500, "500ms"},
        {&WaitScaleErase, 999, 0, "0ms"},           {&WaitScaleErase, INT32_MAX, 1000, "1000ms"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Value);
        const int position = WaitPosition(*c.Scale, c.Value);
        EXPECT_EQ(position, c.Position);
        EXPECT_EQ(WaitText(*c.Scale, position), c.Text);
    }
    EXPECT_EQ(WaitValue(WaitScaleFlash, 100), 10000);
    EXPECT_EQ(WaitValue(WaitScaleErase, 1000), 1000000);
}

TEST_F(OptionsTest, UpDownClicksStoreThePosition) {
    enum TRow { Flash, EEPROM, Erase };
    struct TCase {
        TRow Row;
        int32_t Start;
        int Steps;
        int32_t Stored;
        const char* Text;
    };
    const TCase cases[] = {
        {Flash, 4000, 1, 4100, "4,1ms"},       {Flash, 4550, 1, 4600, "4,6ms"},
        {Flash, 4550, -1, 4400, "4,4ms"},      {Flash, 300, -5, 100, "0,1ms"},
        {Flash, 9900, 3, 10000, "10,0ms"},     {EEPROM, 200, -5, 0, "0,0ms"},
        {EEPROM, 9950, 2, 10000, "10,0ms"},    {Erase, 500000, 1, 510000, "510ms"},
        {Erase, 20000, -3, 0, "0ms"},          {Erase, 995000, 2, 1000000, "1000ms"},
        {Erase, 4550, 1, 14000, "14ms"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Row << " " << c.Start << " " << c.Steps);
        ResetSettings();
        TProfile p = User("p", ctATmega, 4000, 4000, 500000);
        int32_t TProfile::*field = c.Row == Flash ? &TProfile::WaitFlash
                                   : c.Row == EEPROM ? &TProfile::WaitEEPROM
                                                     : &TProfile::WaitErase;
        p.*field = c.Start;
        Config.ProfileIndex = AddUser(p);
        form_.reset();
        TFormOptions& form = Opened();
        TWaitUpDown* upDown = c.Row == Flash ? form.UpDown1 : c.Row == EEPROM ? form.UpDown2 : form.UpDown3;
        Step(upDown, c.Steps);
        EXPECT_EQ(upDown->text(), c.Text);
        EXPECT_TRUE(form.ButtonSave->isEnabled());
        form.Commit();
        EXPECT_EQ(ProfileTable[Config.ProfileIndex].*field, c.Stored);
    }
}

TEST_F(OptionsTest, WaitTextsCannotBeTyped) {
    Config.ProfileIndex = AddUser(User("p", ctATmega, 4000, 4000, 500000));
    TFormOptions& form = Opened();
    form.show();
    for (TWaitUpDown* upDown : {form.UpDown1, form.UpDown2, form.UpDown3}) {
        const QString before = upDown->text();
        upDown->setFocus();
        QTest::keyClick(upDown, Qt::Key_Backspace);
        QTest::keyClicks(upDown, "77");
        QTest::keyClick(upDown, Qt::Key_Tab);
        EXPECT_EQ(upDown->text(), before);
    }
    EXPECT_FALSE(form.ButtonSave->isEnabled());
    form.Commit();
    EXPECT_EQ(ProfileTable[Config.ProfileIndex], User("p", ctATmega, 4000, 4000, 500000));
}

TEST_F(OptionsTest, UnclickedWaitKeepsItsExactValue) {
    const int a = AddUser(User("A", ctATmega, 4550, 4550, 512345));
    AddUser(User("B", ctATtiny, 4000, 4000, 10000));
    Config.ProfileIndex = a;
    TFormOptions& form = Opened();
    form.CheckBoxSCK->click();
    Choose(form, a + 1);
    Choose(form, a);
    EXPECT_EQ(form.UpDown1->text(), "4,5ms");
    SaveAs("copy");
    form.Commit();
    EXPECT_EQ(ProfileTable[a].WaitFlash, 4550);
    EXPECT_EQ(ProfileTable[a].WaitEEPROM, 4550);
    EXPECT_EQ(ProfileTable[a].WaitErase, 512345);
    EXPECT_TRUE(ProfileTable[a].SCK);
    const TProfile& copy = ProfileTable[Config.ProfileIndex];
    EXPECT_EQ(copy.Name, "copy");
    EXPECT_EQ(copy.WaitFlash, 4500);
    EXPECT_EQ(copy.WaitEEPROM, 4500);
    EXPECT_EQ(copy.WaitErase, 512000);
    EXPECT_TRUE(copy.SCK);
}

TEST_F(OptionsTest, RowsFollowTheStoredWaits) {
    struct TCase {
        uint8_t Type;
        bool Validate;  // as the loader delivers it
        bool EEPROMRow, EraseRow, Features;
    };
    const TCase cases[] = {
        {ctAT89S8252, true, true, false, false}, {ctAT90xx, true, true, true, false},
        {ctATtiny, true, true, true, true},      {ctATmega, true, true, true, true},
        {ctAT89S8253, true, true, true, true},   {ctAT89S52, true, false, true, true},
        {ctAT89S53, true, false, false, false},
        // Not the type decides, the values do.
        {ctAT89S8252, false, true, true, false}, {ctAT89S53, false, true, true, false},
        {9, false, true, true, false},
    };
    for (const TCase& c : cases) {
        TProfile p = User("p", c.Type, 4000, 4000, 500000);
        if (c.Validate) ValidateProfile(p);
        AddUser(p);
    }
    TFormOptions& form = Opened();
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const TCase& c = cases[i];
        Choose(form, DefaultProfileCount + static_cast<int>(i));
        EXPECT_EQ(Shown(form.Label7), c.EEPROMRow);
        EXPECT_EQ(Shown(form.UpDown2), c.EEPROMRow);
        EXPECT_EQ(Shown(form.LabelCE), c.EraseRow);
        EXPECT_EQ(Shown(form.UpDown3), c.EraseRow);
        EXPECT_EQ(Shown(form.ButtonFeature), c.Features);
        EXPECT_EQ(form.ButtonFeature->isEnabled(), c.Features);
        if (c.Type < form.RadioButtons.size()) {
            EXPECT_TRUE(form.RadioButtons[c.Type]->isChecked());
        }
    }
}

TEST_F(OptionsTest, UnknownTypeLeavesThePreviousRadioChecked) {
    const int mega = AddUser(User("mega", ctATmega, 4000, 4000, 10000));
    const int odd = AddUser(User("odd", 9, 4000, 4000, 10000));
    Config.ProfileIndex = mega;
    TFormOptions& form = Opened();
    Choose(form, odd);
    EXPECT_TRUE(form.RadioButtons[ctATmega]->isChecked());
    form.CheckBoxMISO->click();
    form.Commit();
    // Editing a flag takes the checked radio as the type.
    EXPECT_EQ(ProfileTable[odd].Type, ctATmega);
    EXPECT_TRUE(ProfileTable[odd].MISO);
}

TEST_F(OptionsTest, SavedCopyGetsMinusOneForHiddenRows) {
    struct TCase {
        uint8_t Type;
        int32_t EEPROM, Erase;
    };
    const TCase cases[] = {
        {ctAT89S8252, 4000, -1}, {ctAT89S52, -1, 500000}, {ctAT89S53, -1, -1}, {ctAT89S8253, 4500, 500000}};
    for (const TCase& c : cases) {
        TProfile p = User("src", c.Type, 4000, 4000, 500000);
        p.WaitEEPROM = c.EEPROM == -1 ? -1 : c.EEPROM;
        p.WaitErase = c.Erase;
        AddUser(p);
    }
    TFormOptions& form = Opened();
    for (size_t i = 0; i < std::size(cases); ++i) {
        Choose(form, DefaultProfileCount + static_cast<int>(i));
        SaveAs(QStringLiteral("copy%1").arg(i));
    }
    form.Commit();
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const TProfile& copy = ProfileTable[DefaultProfileCount + std::size(cases) + i];
        EXPECT_EQ(copy.Name, "copy" + std::to_string(i));
        EXPECT_EQ(copy.Type, cases[i].Type);
        EXPECT_EQ(copy.WaitFlash, 4000);
        EXPECT_EQ(copy.WaitEEPROM, cases[i].EEPROM);
        EXPECT_EQ(copy.WaitErase, cases[i].Erase);
        EXPECT_FALSE(copy.IsDefault);
    }
}

TEST_F(OptionsTest, SwitchingTypeKeepsTheWaits) {
    TFormOptions& form = Opened();
    ASSERT_TRUE(form.RadioButtons[ctAT89S8252]->isChecked());
    form.RadioButtons[ctAT89S8253]->click();
    EXPECT_FALSE(Shown(form.UpDown3));
    EXPECT_FALSE(Shown(form.LabelCE));
    EXPECT_TRUE(Shown(form.UpDown2));
    EXPECT_TRUE(Shown(form.ButtonFeature));
    EXPECT_TRUE(form.ButtonSave->isEnabled());
    form.Commit();
    EXPECT_EQ(ProfileTable[0].Type, ctAT89S8253);
    EXPECT_EQ(ProfileTable[0].WaitFlash, 4000);
    EXPECT_EQ(ProfileTable[0].WaitEEPROM, 4000);
    EXPECT_EQ(ProfileTable[0].WaitErase, -1);
    EXPECT_TRUE(ProfileTable[0].IsDefault);
}

TEST_F(OptionsTest, SaveEnabledOnlyAfterAChoiceOrAnEdit) {
    struct TCase {
        const char* Label;
        std::function<void(TFormOptions&)> Act;
        bool Enabled;
    };
    const TCase cases[] = {
        {"nothing", [](TFormOptions&) {}, false},
        {"port and autoconnect", [](TFormOptions& f) { f.CheckBox1->click(); f.ComboBox1->setCurrentIndex(2); }, false},
        {"same profile chosen again", [](TFormOptions& f) { Choose(f, f.ComboBox2->currentIndex()); }, true},
        {"type", [](TFormOptions& f) { f.RadioButtons[ctATtiny]->click(); }, true},
        {"flag", [](TFormOptions& f) { f.CheckBoxMOSI->click(); }, true},
        {"wait", [](TFormOptions& f) { Step(f.UpDown1, 1); }, true},
    };
    Config.ProfileIndex = AddUser(User("u", ctATmega, 4000, 4000, 10000));
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        TFormOptions& form = Opened();
        EXPECT_FALSE(form.ButtonSave->isEnabled());
        c.Act(form);
        EXPECT_EQ(form.ButtonSave->isEnabled(), c.Enabled);
    }
}

TEST_F(OptionsTest, DeleteOnlyForUserProfiles) {
    const int user = AddUser(User("u", ctATmega, 4000, 4000, 10000));
    TFormOptions& form = Opened();
    for (const auto& [index, enabled] : {std::pair{0, false}, std::pair{1, false}, std::pair{user, true}}) {
        SCOPED_TRACE(index);
        Choose(form, index);
        EXPECT_EQ(form.ButtonDelete->isEnabled(), enabled);
    }
}

TEST_F(OptionsTest, DeletingTheMiddleOfThreeUserProfiles) {
    for (const TMsgResult answer : {TMsgResult::Yes, TMsgResult::No}) {
        SCOPED_TRACE(answer == TMsgResult::Yes ? "Yes" : "No");
        ResetSettings();
        const int a = AddUser(User("A", ctATtiny, 1000, 2000, 30000, "about A"));
        const int b = AddUser(User("B", ctATmega, 4000, 5000, 60000, "about B"));
        AddUser(User("C", ctAT89S52, 7000, -1, 90000, "about C"));
        form_.reset();
        TFormOptions& form = Opened();
        Choose(form, b);
        Script.Answers = {answer};
        form.ButtonDelete->click();
        ASSERT_EQ(Script.Messages.size(), 1u);
        EXPECT_EQ(Script.Messages[0].Kind, TMsgKind::Confirmation);
        EXPECT_EQ(Script.Messages[0].Text, "Are you sure to delete the profile\rB");
        EXPECT_EQ(Script.Messages[0].Buttons, TMsgButtons::YesNo);
        const TProfileList before = ProfileTable;
        form.Commit();
        if (answer == TMsgResult::Yes) {
            EXPECT_EQ(form.ComboBox2->count(), 4);
            EXPECT_EQ(form.ComboBox2->itemText(3), "C");
            EXPECT_EQ(form.LabelInfo->text(), "about A");
            EXPECT_EQ(Config.ProfileIndex, a);
            EXPECT_EQ(Config.ProfileCount, 4);
            EXPECT_EQ(Config.Profiles, 2);
            EXPECT_EQ(ProfileTable[a], before[a]);
            EXPECT_EQ(ProfileTable[a + 1], before[a + 2]);
        } else {
            EXPECT_EQ(form.ComboBox2->count(), 5);
            EXPECT_EQ(Config.ProfileIndex, b);
            EXPECT_EQ(Config.ProfileCount, 5);
            EXPECT_EQ(Config.Profiles, 3);
            EXPECT_TRUE(ProfileTable == before);
        }
        Script.Messages.clear();
    }
}

TEST_F(OptionsTest, DeleteConfirmationShowsTheNameOnALineOfItsOwn) {
    QtPrompts real;
    SetPrompts(&real);
    const int b = AddUser(User("B", ctATmega, 4000, 5000, 60000));
    TFormOptions& form = Opened();
    form.show();
    Choose(form, b);
    QString shownText;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll.stop();
            shownText = box->text();
            box->button(QMessageBox::No)->click();
        }
    });
    poll.start(5);
    form.ButtonDelete->click();
    EXPECT_EQ(shownText, "Are you sure to delete the profile\nB");
    EXPECT_EQ(form.ComboBox2->count(), 3);
}

TEST_F(OptionsTest, SavingAppendsAndSelectsTheNewEntry) {
    const int a = AddUser(User("A", ctATtiny, 1000, 2000, 30000, "about A"));
    Config.ProfileIndex = a;
    TFormOptions& form = Opened();
    Choose(form, a);

    const TSaveDialogSeen cancelled = SaveAs("never", nullptr, false);
    EXPECT_EQ(cancelled.Info, "about A");
    EXPECT_EQ(form.ComboBox2->count(), 3);

    const TSaveDialogSeen first = SaveAs("", "copy info");
    EXPECT_EQ(first.Name, "");
    EXPECT_EQ(first.Info, "about A");
    EXPECT_EQ(form.ComboBox2->count(), 4);
    EXPECT_EQ(form.ComboBox2->currentIndex(), 3);
    EXPECT_EQ(form.ComboBox2->itemText(3), "");
    EXPECT_EQ(form.LabelInfo->text(), "copy info");
    EXPECT_TRUE(form.ButtonSave->isEnabled());
    EXPECT_TRUE(form.ButtonDelete->isEnabled());

    const TSaveDialogSeen second = SaveAs("X");
    EXPECT_EQ(second.Name, "");
    EXPECT_EQ(second.Info, "copy info");
    EXPECT_EQ(form.ComboBox2->currentIndex(), 4);

    form.Commit();
    EXPECT_EQ(Config.ProfileCount, 5);
    EXPECT_EQ(Config.Profiles, 3);
    EXPECT_EQ(Config.ProfileIndex, 4);
    EXPECT_EQ(ProfileTable[3].Name, "");
    EXPECT_EQ(ProfileTable[3].Info, "copy info");
    EXPECT_EQ(ProfileTable[4].Name, "X");
    EXPECT_EQ(ProfileTable[4].Type, ctATtiny);
    EXPECT_EQ(ProfileTable[4].WaitEEPROM, 2000);
    EXPECT_EQ(ProfileTable[a].Name, "A");
}

TEST_F(OptionsTest, AsksThroughTheProgramsSaveDialogWhenThereIsOne) {
    TFormNewProfile programs;
    FormNewProfile = &programs;
    TFormOptions& form = Opened();
    Choose(form, 1);
    WhenShown(programs, [&] {
        QTest::keyClicks(programs.EditName, "mine");
        programs.BitBtnOk->click();
    });
    form.ButtonSave->click();
    FormNewProfile = nullptr;
    EXPECT_EQ(form.ComboBox2->itemText(2), "mine");
}

TEST_F(OptionsTest, FullTableRefusesFurtherProfiles) {
    while (Config.ProfileCount < MaxProfiles - 1) AddUser(User("u", ctATmega, 4000, 4000, 10000));
    TFormOptions& form = Opened();
    Choose(form, 0);
    ASSERT_TRUE(form.ButtonSave->isEnabled());
    SaveAs("last");
    EXPECT_EQ(form.ComboBox2->count(), MaxProfiles);
    EXPECT_FALSE(form.ButtonSave->isEnabled());
    Choose(form, 1);
    form.RadioButtons[ctATtiny]->click();
    EXPECT_FALSE(form.ButtonSave->isEnabled());
    form.ButtonSaveClick();
    EXPECT_EQ(form.ComboBox2->count(), MaxProfiles);
    form.Commit();
    EXPECT_EQ(Config.ProfileCount, MaxProfiles);
    EXPECT_EQ(Config.Profiles, MaxUserProfiles);
    EXPECT_EQ(ProfileTable[MaxProfiles - 1].Name, "last");
}

TEST_F(OptionsTest, PortChoice) {
    struct TCase {
        std::vector<std::string> Ports;
        int32_t Stored;
        int Shown;   // selected entry at opening, -1 none
        int Chosen;  // entry the user picks, -1 none
        int32_t Committed;
    };
    const TCase cases[] = {
        {{"COM1", "COM2", "COM3"}, 1, 1, -1, 1}, {{"COM1", "COM2", "COM3"}, 1, 1, 2, 2},
        {{}, 3, -1, -1, 3},                      {{"COM1"}, 5, -1, -1, 5},
        {{"COM1", "COM2"}, -1, -1, -1, -1},      {{"COM1", "COM2"}, 7, -1, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Stored);
        PortNames = c.Ports;
        Config.COMIndex = c.Stored;
        form_.reset();
        TFormOptions& form = Opened();
        EXPECT_EQ(form.ComboBox1->count(), static_cast<int>(c.Ports.size()));
        EXPECT_EQ(form.ComboBox1->currentIndex(), c.Shown);
        if (c.Chosen >= 0) form.ComboBox1->setCurrentIndex(c.Chosen);
        form.Commit();
        EXPECT_EQ(Config.COMIndex, c.Committed);
    }
}

TEST_F(OptionsTest, StoredProfileIndexOutsideTheList) {
    AddUser(User("u", ctATmega, 4000, 4000, 10000, "about u"));
    for (const auto& [stored, selected] : {std::pair{7, 2}, std::pair{3, 2}, std::pair{1, 1}, std::pair{-4, 0}}) {
        SCOPED_TRACE(stored);
        Config.ProfileIndex = stored;
        TFormOptions& form = Opened();
        EXPECT_EQ(form.ComboBox2->currentIndex(), selected);
        EXPECT_EQ(form.LabelInfo->text(), QString::fromStdString(ProfileTable[selected].Info));
        form.Commit();
        EXPECT_EQ(Config.ProfileIndex, selected);
    }
}

TEST_F(OptionsTest, FeaturesGetsTheTypeAndTheLevelFlags) {
    struct TCall {
        uint8_t Type;
        bool SCK, MISO, MOSI;
        bool operator==(const TCall&) const = default;
    };
    const TCall cases[] = {
        {ctATtiny, true, false, true}, {ctATmega, false, true, false},
        {ctAT89S8253, false, false, false}, {ctAT89S52, true, true, true}};
    for (const TCall& c : cases) AddUser(User("p", c.Type, 4000, 4000, 10000));
    TFormOptions& form = Opened();
    std::vector<TCall> calls;
    form.OnFeatures = [&](uint8_t type, bool sck, bool miso, bool mosi) { calls.push_back({type, sck, miso, mosi}); };
    for (size_t i = 0; i < std::size(cases); ++i) {
        Choose(form, DefaultProfileCount + static_cast<int>(i));
        if (cases[i].SCK) form.CheckBoxSCK->click();
        if (cases[i].MISO) form.CheckBoxMISO->click();
        if (cases[i].MOSI) form.CheckBoxMOSI->click();
        ASSERT_TRUE(Shown(form.ButtonFeature));
        form.ButtonFeature->click();
    }
    ASSERT_EQ(calls.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_TRUE(calls[i] == cases[i]) << i;
}

enum class TLeave { OkButton, EnterKey, CancelButton, EscapeKey, TitleBar };

void Leave(TFormOptions& form, TLeave how) {
    switch (how) {
        case TLeave::OkButton: QTest::mouseClick(form.BitBtnOk, Qt::LeftButton); break;
        case TLeave::EnterKey: QTest::keyClick(&form, Qt::Key_Return); break;
        case TLeave::CancelButton: QTest::mouseClick(form.BitBtnCancel, Qt::LeftButton); break;
        case TLeave::EscapeKey: QTest::keyClick(&form, Qt::Key_Escape); break;
        case TLeave::TitleBar: form.close(); break;
    }
}

TEST_F(OptionsTest, CancelAfterChangingEverythingCommitsNothing) {
    Config.COMIndex = 1;
    AddUser(User("A", ctATtiny, 1000, 2000, 30000));
    const int b = AddUser(User("B", ctATmega, 4000, 5000, 60000));
    Config.ProfileIndex = AddUser(User("C", ctAT89S52, 7000, -1, 90000));
    for (const TLeave how : {TLeave::CancelButton, TLeave::EscapeKey, TLeave::TitleBar}) {
        SCOPED_TRACE(static_cast<int>(how));
        const TSnapshot before;
        TFormOptions& form = Form();
        int countAfterEdits = 0;
        WhenShown(form, [&] {
            form.ComboBox1->setCurrentIndex(2);
            form.CheckBox1->click();
            Choose(form, 0);
            form.RadioButtons[ctATmega]->click();
            form.CheckBoxSCK->click();
            Step(form.UpDown1, 3);
            Step(form.UpDown3, 1);
            SaveAs("new");
            Choose(form, b);
            Script.Answers = {TMsgResult::Yes};
            form.ButtonDelete->click();
            countAfterEdits = form.ComboBox2->count();
            Leave(form, how);
        });
        EXPECT_FALSE(form.Execute());
        EXPECT_EQ(countAfterEdits, 5);
        ExpectUnchanged(before);
    }
}

TEST_F(OptionsTest, OkAtOnceChangesNothingAndWritesNoFile) {
    Config.COMIndex = 2;
    Config.Autoconnect = true;
    AddUser(User("A", ctATtiny, 1000, 2000, 30000));
    Config.ProfileIndex = AddUser(User("B", ctAT89S53, 4550, -1, -1));
    for (const TLeave how : {TLeave::OkButton, TLeave::EnterKey}) {
        SCOPED_TRACE(static_cast<int>(how));
        const TSnapshot before;
        TFormOptions& form = Form();
        WhenShown(form, [&] { Leave(form, how); });
        EXPECT_TRUE(form.Execute());
        ExpectUnchanged(before);
    }
    EXPECT_TRUE(QDir(SettingsFolder()).isEmpty());
}

TEST_F(OptionsTest, OkCommitsTheChoices) {
    AddUser(User("A", ctATtiny, 1000, 2000, 30000));
    TFormOptions& form = Form();
    WhenShown(form, [&] {
        form.ComboBox1->setCurrentIndex(2);
        form.CheckBox1->click();
        Choose(form, 2);
        Step(form.UpDown2, -2);
        SaveAs("B");
        QTest::mouseClick(form.BitBtnOk, Qt::LeftButton);
    });
    ASSERT_TRUE(form.Execute());
    EXPECT_EQ(Config.COMIndex, 2);
    EXPECT_TRUE(Config.Autoconnect);
    EXPECT_EQ(Config.ProfileIndex, 3);
    EXPECT_EQ(Config.ProfileCount, 4);
    EXPECT_EQ(Config.Profiles, 2);
    EXPECT_EQ(ProfileTable[2].WaitEEPROM, 1800);
    EXPECT_EQ(ProfileTable[3].Name, "B");
    EXPECT_EQ(ProfileTable[3].WaitEEPROM, 1800);
}

}  // namespace
}  // namespace kestrin::test

namespace kestrin::test {

TEST_F(OptionsTest, TargetClockFieldForAvrProfilesOnly) {
    const int avr = AddUser(User("board", ctATmega, 4000, 9000, 10000));
    const int at89 = AddUser(User("8253", ctAT89S8253, 4500, 4500, 500000));
    TFormOptions& form = Opened();
    QComboBox* clock = form.findChild<QComboBox*>(QStringLiteral("ComboClock"));
    ASSERT_NE(clock, nullptr);

    Choose(form, at89);
    EXPECT_FALSE(Shown(clock));

    Choose(form, avr);
    EXPECT_TRUE(Shown(clock));
    const int autoIndex = clock->findData(-1);
    ASSERT_GE(autoIndex, 0);
    clock->setCurrentIndex(autoIndex);
    emit clock->activated(autoIndex);
    EXPECT_TRUE(form.ButtonSave->isEnabled());
    SaveAs("board, auto clock");

    form.Commit();
    EXPECT_EQ(ProfileTable[avr].TargetClock, -1);
    EXPECT_EQ(ProfileTable[at89].TargetClock, 0);
    const TProfile& copy = ProfileTable[static_cast<size_t>(Config.ProfileCount - 1)];
    EXPECT_EQ(copy.Name, "board, auto clock");
    EXPECT_EQ(copy.TargetClock, -1);
}

}  // namespace kestrin::test
