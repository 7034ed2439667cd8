// The fuse and lock bits dialog on the recording driver: toggles, writes,
// messages, the status line and what closing does to the adapter lines.
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <string>
#include <vector>

#include "FeaturesTest.h"
#include "FuseTarget.h"
#include "config/UnitConfig.h"
#include "devices/DeviceTest.h"

namespace kestrin::test {
namespace {

class FeaturesDialogTest : public FeaturesTest {
protected:
    void SetUp() override {
        FeaturesTest::SetUp();
        ASSERT_TRUE(driver.Bind());
        driver.Reset();
        target.Install(driver);
        target.FuseLow = 0x5A;
        target.FuseHigh = 0xA5;
        Connected = true;
    }

    // True when the log holds lines as one consecutive run.
    bool LogHolds(const std::vector<std::string>& lines) const {
        const auto log = driver.Lines();
        return std::search(log.begin(), log.end(), lines.begin(), lines.end()) != log.end();
    }

    RecordingDriver driver;
    FuseTarget target;
};

TEST_F(FeaturesDialogTest, TogglesInvertOneBitAndShowIt) {
    enum class How { Click, Space };
    const struct {
        const char* what;
        uint8_t type;
        const char* edit;
        How how;
        std::vector<const char*> shown;  // after each toggle
        uint8_t low, high;               // afterwards
    } cases[] = {
        {"CKSEL2 clicked twice", ctATmega, "CKSEL2", How::Click, {"1", "0"}, 0x5A, 0xA5},
        {"CKSEL0 by Space", ctATmega, "CKSEL0", How::Space, {"1"}, 0x5B, 0xA5},
        {"SUT1 clicked", ctATtiny, "SUT1", How::Click, {"1"}, 0x7A, 0xA5},
        {"CKOPT by Space, ATmega", ctATmega, "CKOPT", How::Space, {"1"}, 0x5A, 0xB5},
        {"CKOPT by Space, ATtiny", ctATtiny, "CKOPT", How::Space, {"1", "0"}, 0x5A, 0xA5},
        {"CKOPT clicked, AT89S8253", ctAT89S8253, "CKOPT", How::Click, {"0"}, 0x00, 0x00},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        form->Open(c.type, false, false, false);
        TBitEdit* edit = Edit(c.edit);
        ASSERT_NE(edit, nullptr);
        for (const char* shown : c.shown) {
            if (c.how == How::Click)
                QTest::mouseClick(edit, Qt::LeftButton);
            else
                QTest::keyClick(edit, Qt::Key_Space);
            EXPECT_EQ(edit->text().toStdString(), shown);
        }
        EXPECT_EQ(form->FuseLow, c.low);
        EXPECT_EQ(form->FuseHigh, c.high);
    }
}

TEST_F(FeaturesDialogTest, OpeningShowsTheTypesPanelAndTheBitsReadFromTheChip) {
    target.FuseLow = 0xDA;
    target.UserFuses = 0x06;
    target.LockBits = 0x03;
    const struct {
        const char* what;
        uint8_t type;
        bool connected, answers;
        bool avrPanel;
        std::string status;
        std::string cksel;  // CKSEL3 to CKSEL0, SUT1, SUT0, CKOPT
        std::string boxes;  // Fuse4 to Fuse1, Lock3 to Lock1
    } cases[] = {
        {"ATmega", ctATmega, true, true, true, "Bits read from the chip.", "1010010", "0000000"},
        {"ATtiny", ctATtiny, true, true, true, "Bits read from the chip.", "1010011", "0000000"},
        {"AT89S8253", ctAT89S8253, true, true, false, "Bits read from the chip.", "0000000", "0110011"},
        {"ATmega, not connected", ctATmega, false, true, true, "Not connected: bits not read, all start at 0.",
         "0000000", "0000000"},
        {"AT89S8253, no answer", ctAT89S8253, true, false, false, "No answer from the chip: all bits start at 0.",
         "0000000", "0000000"},
        {"AT89S52", ctAT89S52, true, true, false, "No fuse or lock bits to write for this controller.", "0000000",
         "0000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Connected = c.connected;
        target.Answers = c.answers;
        form->Open(c.type, false, false, false);
        form->show();
        EXPECT_EQ(form->Panel1->isVisible(), c.avrPanel);
        EXPECT_EQ(form->Panel2->isVisible(), !c.avrPanel);
        EXPECT_EQ(form->LabelStatus->text().toStdString(), c.status);
        std::string cksel, boxes;
        for (const char* e : {"CKSEL3", "CKSEL2", "CKSEL1", "CKSEL0", "SUT1", "SUT0", "CKOPT"})
            cksel += Edit(e)->text().toStdString();
        for (const char* b : {"CheckBoxFuse4", "CheckBoxFuse3", "CheckBoxFuse2", "CheckBoxFuse1", "CheckBoxLock3",
                              "CheckBoxLock2", "CheckBoxLock1"})
            boxes += Box(b)->isChecked() ? '1' : '0';
        EXPECT_EQ(cksel, c.cksel);
        EXPECT_EQ(boxes, c.boxes);
        form->reject();
    }
}

TEST_F(FeaturesDialogTest, WriteSendsTheBitsOrShowsTheError) {
    const std::vector<const char*> all8253{"CheckBoxFuse1", "CheckBoxFuse2", "CheckBoxFuse3", "CheckBoxFuse4",
                                           "CheckBoxLock1", "CheckBoxLock2", "CheckBoxLock3"};
    const struct {
        const char* what;
        uint8_t type;
        std::vector<const char*> tick;  // AT89S8253: the other boxes are cleared
        std::vector<TMsgResult> answers;
        size_t questions;               // confirmations asked
        bool answers_handshake;
        std::vector<std::string> sent;  // consecutive lines
        bool error;
    } cases[] = {
        {"AT89S8253 Fuse1, Fuse3, Lock2, confirmed", ctAT89S8253, {"CheckBoxFuse1", "CheckBoxFuse3", "CheckBoxLock2"},
         {TMsgResult::Yes}, 1, true, {"SPIW AC 15 00 00", "Delay 4500", "SPIW AC E2 00 00"}, false},
        {"AT89S8253 Fuse1 refused", ctAT89S8253, {"CheckBoxFuse1"}, {TMsgResult::No}, 1, true, {}, false},
        {"AT89S8253 Fuse3 without a question", ctAT89S8253, {"CheckBoxFuse3"}, {}, 0, true,
         {"SPIW AC 14 00 00", "Delay 4500", "SPIW AC E0 00 00"}, false},
        {"ATmega as read", ctATmega, {}, {}, 0, true, {"SPIW AC A0 00 5A", "Delay 9000", "SPIW AC A8 00 A5"}, false},
        {"ATmega without answer", ctATmega, {}, {}, 0, false, {}, true},
        {"AT89S8253 without answer", ctAT89S8253, {}, {}, 0, false, {}, true},
        {"AT89S52", ctAT89S52, {"CheckBoxFuse1"}, {}, 0, true, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        target = FuseTarget{};
        target.FuseLow = 0x5A;
        target.FuseHigh = 0xA5;
        form->Open(c.type, false, false, false);
        if (c.type == ctAT89S8253)
            for (const char* b : all8253) Box(b)->setChecked(false);
        for (const char* b : c.tick) Box(b)->setChecked(true);
        target.Answers = c.answers_handshake;
        driver.ClearLog();
        Script.Answers.assign(c.answers.begin(), c.answers.end());
        const size_t errorsBefore = Errors();
        const size_t questionsBefore = Questions();
        QTest::mouseClick(form->BitBtnWrite, Qt::LeftButton);
        EXPECT_EQ(Errors() - errorsBefore, c.error ? 1u : 0u);
        EXPECT_EQ(Questions() - questionsBefore, c.questions);
        if (!c.sent.empty()) {
            EXPECT_TRUE(LogHolds(c.sent)) << driver.Log();
        }
        if (c.error) {
            EXPECT_EQ(driver.Log().find("SPIW "), std::string::npos) << driver.Log();
        }
        if (c.type == ctAT89S52 || (c.questions > 0 && c.answers.front() != TMsgResult::Yes)) {
            EXPECT_TRUE(driver.Lines().empty()) << driver.Log();
            if (c.type == ctAT89S8253) {
                EXPECT_EQ(form->LabelStatus->text().toStdString(), "Nothing written.");
            }
        }
        form->reject();
    }
}

TEST_F(FeaturesDialogTest, AReadBackDifferenceIsAnErrorAndShowsWhatTheChipHolds) {
    target.FixedHigh = 0x20;  // SPIEN
    form->Open(ctATmega, false, false, false);
    form->FuseHigh = 0xD5;
    QTest::mouseClick(form->BitBtnWrite, Qt::LeftButton);
    EXPECT_EQ(Errors(), 1u);
    EXPECT_EQ(form->LabelStatus->text().toStdString(), "The chip reads back low 5Ah, high F5h.");
    form->reject();
}

TEST_F(FeaturesDialogTest, ClosingByAnyMeansReleasesTheTargetAndRestoresTheLevels) {
    const struct {
        const char* what;
        bool sck, miso, mosi;
        std::function<void(TFormFeatures&)> close;
    } cases[] = {
        {"Close button", true, false, true, [](TFormFeatures& f) { QTest::mouseClick(f.BitBtn2, Qt::LeftButton); }},
        {"Escape", false, true, false, [](TFormFeatures& f) { QTest::keyClick(&f, Qt::Key_Escape); }},
        {"title bar", true, true, false, [](TFormFeatures& f) { f.close(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WhenShown(*form, [&] {
            QTest::mouseClick(form->BitBtnWrite, Qt::LeftButton);
            driver.ClearLog();
            c.close(*form);
        });
        form->Execute(ctATmega, c.sck, c.miso, c.mosi);
        EXPECT_FALSE(form->isVisible());
        const std::vector<std::string> expected{
            "SetEnables 0 1", "SetLevels " + std::to_string(c.sck) + " " + std::to_string(c.mosi) + " " +
                                  std::to_string(c.miso)};
        EXPECT_EQ(driver.Lines(), expected);
    }
}

TEST_F(FeaturesDialogTest, EveryControlFitsTheWindowAtItsOuterSizeOrLarger) {
    form->show();
    for (uint8_t type : {ctATmega, ctAT89S8253}) {
        SCOPED_TRACE(int(type));
        form->Open(type, false, false, false);
        QApplication::processEvents();
        EXPECT_GE(form->frameGeometry().width(), 193);
        EXPECT_GE(form->frameGeometry().height(), 178);
        EXPECT_EQ(form->minimumSize(), form->maximumSize());
        const QRect inside = form->rect();
        for (QWidget* w : form->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(form.get())) continue;
            SCOPED_TRACE(w->objectName().toStdString());
            const QRect at(w->mapTo(form.get(), QPoint(0, 0)), w->size());
            EXPECT_TRUE(inside.contains(at));
            EXPECT_GE(w->height(), w->minimumSizeHint().height());
            // A bit box needs room for one digit only, not for the widest character of the font.
            if (auto* edit = qobject_cast<TBitEdit*>(w))
                EXPECT_GE(edit->width(), edit->fontMetrics().horizontalAdvance(edit->text()) + 4);
            else
                EXPECT_GE(w->width(), w->minimumSizeHint().width());
        }
    }
}

}  // namespace
}  // namespace kestrin::test
