// What a keyboard-only user meets in the main window and the hex view: the
// start address typed and stepped within the chosen chip's memory, the reason
// a disabled Reload && Write gives, F1 everywhere, the hex view's first size,
// Tab out of its grid, and names for the buttons that only show a picture.
#include <QTest>
#include <QTimer>

#include "app/AppFixture.h"
#include "app/Forms.h"
#include "ui/HexGridModel.h"
#include "ui/HexGridView.h"
#include "ui/SpinButton.h"
#include "ui/UnitAbout.h"
#include "ui/UnitHelp.h"
#include "ui/UnitRead.h"

namespace kestrin::test {
namespace {

TEST_F(AppTest, StartAddressIsTypedAndSteppedWithinTheChipsMemory) {
    struct Case {
        uint8_t type;
        bool eeprom;
        const char* typed;  // then Enter; "" types nothing
        std::vector<int> keys;
        const char* shown;
    };
    const Case cases[] = {
        {ctAT89S8252, false, "1a0", {}, "01A0h"},
        {ctAT89S8252, false, "1A0h", {}, "01A0h"},
        {ctAT89S8252, false, "1FFF", {}, "1FFFh"},
        {ctAT89S8252, false, "2000", {}, "0000h"},  // beyond the 8 KB Flash: refused, old value kept
        {ctAT89S8252, true, "07FF", {}, "07FFh"},
        {ctAT89S8252, true, "0800", {}, "0000h"},
        {ctAT89S8253, false, "2FFF", {}, "2FFFh"},  // the upper 4 KB of the AT89S8253
        {ctAT89S8253, false, "3000", {}, "0000h"},
        {ctATmega, false, "FFFF", {}, "FFFFh"},
        {ctAT89S8252, false, "10", {Qt::Key_Up, Qt::Key_Up}, "0012h"},
        {ctAT89S8252, false, "10", {Qt::Key_Down}, "000Fh"},
        {ctAT89S8252, false, "0", {Qt::Key_Down}, "0000h"},
        {ctAT89S8252, false, "1F80", {Qt::Key_PageUp}, "1FFFh"},
        {ctAT89S8252, false, "250", {Qt::Key_PageDown, Qt::Key_PageDown}, "0050h"},
        {ctAT89S8253, false, "2F00", {Qt::Key_PageUp, Qt::Key_Up}, "2FFFh"},
    };
    Recorder();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " type " + std::to_string(c.type));
        Config = TConfig{};
        Config.ProfileCount = DefaultProfileCount;
        SelectUserProfile(c.type);
        Config.Memory = c.eeprom;
        TFormMain& f = Form();
        f.EditAddress->setFocus();
        f.EditAddress->selectAll();
        QTest::keyClicks(f.EditAddress, QString::fromUtf8(c.typed));
        QTest::keyClick(f.EditAddress, Qt::Key_Return);
        for (int key : c.keys) QTest::keyClick(f.EditAddress, static_cast<Qt::Key>(key));
        EXPECT_EQ(f.EditAddress->text(), QString::fromUtf8(c.shown));
        EXPECT_EQ(Config.Startaddress, f.EditAddress->text().chopped(1).toInt(nullptr, 16));
        DestroyForm();
    }
}

TEST_F(AppTest, TypingThatIsNoAddressNeverReachesTheField) {
    Recorder();
    TFormMain& f = Form();
    f.EditAddress->setFocus();
    f.EditAddress->selectAll();
    QTest::keyClicks(f.EditAddress, QStringLiteral("x1-g2"));
    EXPECT_EQ(f.EditAddress->text(), "12");
    QTest::keyClick(f.EditAddress, Qt::Key_Return);
    EXPECT_EQ(f.EditAddress->text(), "0012h");
}

TEST_F(AppTest, DisabledWriteButtonSaysWhy) {
    Recorder();
    const std::string file = MakeFile("a.bin", 8);
    struct Case {
        bool file;
        bool connect;
        const char* hint;
    };
    const Case cases[] = {
        {false, false, "No file chosen"},
        {false, true, "No file chosen"},
        {true, false, "Not connected"},
        {true, true, "Reload choosen file"},
    };
    for (const Case& c : cases) {
        Config = TConfig{};
        Config.ProfileCount = DefaultProfileCount;
        Config.LastFile = c.file ? file : "";
        Config.Autoconnect = c.connect;
        TFormMain& f = Form();
        EXPECT_EQ(f.SpeedButtonWrite->isEnabled(), c.file && c.connect);
        EXPECT_TRUE(f.SpeedButtonWrite->toolTip().startsWith(QString::fromUtf8(c.hint))) << f.SpeedButtonWrite->toolTip().toStdString();
        DestroyForm();
        Connected = false;
    }
}

TEST_F(AppTest, IconOnlyButtonsHaveNames) {
    Recorder();
    TFormMain& f = Form();
    EXPECT_FALSE(f.SpeedButtonInfo->accessibleName().isEmpty());
    EXPECT_FALSE(f.SpeedButtonExit->accessibleName().isEmpty());
    for (TSpinButton* spin : f.SpinButton) {
        EXPECT_TRUE(spin->UpButton->accessibleName().contains("up")) << spin->UpButton->accessibleName().toStdString();
        EXPECT_TRUE(spin->DownButton->accessibleName().contains("down"));
    }
}

class FormsTest : public AppTest {
protected:
    TForms& Forms() {
        forms_ = std::make_unique<TForms>();
        return *forms_;
    }
    void TearDown() override {
        forms_.reset();
        AppTest::TearDown();
    }
    std::unique_ptr<TForms> forms_;
};

TEST_F(FormsTest, F1OpensTheHelpWindowFromEveryWindow) {
    Recorder();
    TForms& forms = Forms();
    QWidget* windows[] = {&forms.Main(), FormRead, FormAbout};
    for (QWidget* w : windows) {
        SCOPED_TRACE(w->metaObject()->className());
        w->show();
        bool shown = false;
        QTimer::singleShot(0, [&shown] {
            shown = FormHelp->isVisible();
            FormHelp->close();
        });
        QTest::keyClick(w, Qt::Key_F1);
        EXPECT_TRUE(shown);
        EXPECT_FALSE(FormHelp->isVisible());
        if (w != &forms.Main()) w->hide();
    }
}

TEST_F(FormsTest, HexViewOpensWithTheChosenMemorysSize) {
    struct Case {
        uint8_t type;
        bool eeprom;
        const char* size;
    };
    const Case cases[] = {
        {ctAT89S8252, false, "2000"},
        {ctAT89S8252, true, "0800"},
        {ctAT89S8253, false, "3000"},
        {ctAT89S52, false, "2000"},
    };
    Recorder();
    for (const Case& c : cases) {
        Config = TConfig{};
        Config.ProfileCount = DefaultProfileCount;
        SelectUserProfile(c.type);
        Config.Memory = c.eeprom;
        TForms& forms = Forms();
        (void)forms;
        FormRead->RefreshView();
        FormRead->show();
        EXPECT_EQ(FormRead->EditSize->text(), QString::fromUtf8(c.size));
        EXPECT_EQ(FormRead->Params.Size, FormRead->EditSize->text().toInt(nullptr, 16));
        FormRead->hide();
        forms_.reset();
    }
}

TEST_F(FormsTest, TabLeavesTheHexGridAndUnprintableBytesShowAsDots) {
    Recorder();
    Forms();
    FormRead->show();
    FormRead->Buffer[0] = 0x00;
    FormRead->Buffer[1] = 0x41;
    FormRead->Buffer[2] = 0x7F;
    FormRead->Buffer[3] = 0x9B;
    FormRead->Buffer[4] = 0xE4;
    FormRead->RefreshView();
    const QString shown[] = {".", "A", ".", ".", QString(QChar(0xE4))};
    for (int i = 0; i < 5; ++i) {
        const QModelIndex cell = FormRead->GridModel->index(0, CharColumnOf(i) - 1);
        EXPECT_EQ(cell.data(Qt::DisplayRole).toString(), shown[i]) << i;
    }
    FormRead->activateWindow();
    FormRead->StringGrid1->setFocus();
    ASSERT_TRUE(FormRead->StringGrid1->hasFocus());
    const int col = FormRead->StringGrid1->Col();
    QTest::keyClick(FormRead->StringGrid1, Qt::Key_Right);
    EXPECT_EQ(FormRead->StringGrid1->Col(), col + 1);
    QTest::keyClick(FormRead->StringGrid1, Qt::Key_Tab);
    EXPECT_FALSE(FormRead->StringGrid1->hasFocus());
}

}  // namespace
}  // namespace kestrin::test
