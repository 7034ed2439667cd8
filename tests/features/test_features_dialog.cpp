// The fuse and lock bits dialog on the recording driver: toggles, writes,
// messages, the status line and what closing does to the adapter lines.
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "FeaturesTest.h"
#include "FuseTarget.h"
#include "config/UnitConfig.h"
#include "devices/AvrFuses.h"
#include "devices/DeviceTable.h"
#include "devices/DeviceTest.h"
#include "ui/QtPrompts.h"

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
        Connected = true;
    }

    // True when the log holds lines as one consecutive run.
    std::vector<std::string> LinesStartingWith(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& line : driver.Lines())
            if (line.rfind(prefix, 0) == 0) out.push_back(line);
        return out;
    }

    bool LogHolds(const std::vector<std::string>& lines) const {
        const auto log = driver.Lines();
        return std::search(log.begin(), log.end(), lines.begin(), lines.end()) != log.end();
    }

    RecordingDriver driver;
    FuseTarget target;
};

TEST_F(FeaturesDialogTest, EachBitEditFlipsTheBitOfItsNameInThatPartsLayout) {
    enum class How { Click, Space };
    const struct {
        const char* part;
        uint8_t type;
        const char* edit;
        How how;
        std::vector<const char*> shown;  // after each toggle
        std::vector<uint8_t> held;       // low, high, extended, lock afterwards
    } cases[] = {
        // The watchdog fuse of the ATmega328P is high-fuse bit 4 (on the ATmega8 that bit is CKOPT).
        {"ATmega328P", ctATmega, "WDTON", How::Click, {"0"}, {0x5A, 0xC9, 0xFF, 0xFF}},
        {"ATmega328P", ctATmega, "CKDIV8", How::Space, {"1", "0"}, {0x5A, 0xD9, 0xFF, 0xFF}},
        {"ATmega328P", ctATmega, "BODLEVEL1", How::Click, {"0"}, {0x5A, 0xD9, 0xFD, 0xFF}},
        {"ATmega328P", ctATmega, "BLB12", How::Click, {"0"}, {0x5A, 0xD9, 0xFF, 0xDF}},
        // ATtiny13: CKDIV8 and WDTON sit where the ATmega8 has SUT0 and SUT1.
        {"ATtiny13", ctATtiny, "CKDIV8", How::Click, {"0"}, {0x4A, 0xD9, 0xFF, 0xFF}},
        {"ATtiny13", ctATtiny, "WDTON", How::Space, {"1"}, {0x7A, 0xD9, 0xFF, 0xFF}},
        // ATtiny2313: bit 7 of the low byte is CKDIV8.
        {"ATtiny2313", ctATtiny, "CKDIV8", How::Click, {"1"}, {0xDA, 0xD9, 0xFF, 0xFF}},
        {"ATmega8", ctATmega, "CKOPT", How::Click, {"0"}, {0x5A, 0xC9, 0xFF, 0xFF}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.part) + " " + c.edit);
        target.Be(c.part);
        target.FuseLow = 0x5A;
        target.FuseHigh = 0xD9;
        form->Open(c.type, false, false, false);
        EXPECT_EQ(form->LabelPart->text().toStdString(), c.part);
        TBitEdit* edit = Edit(c.edit);
        ASSERT_NE(edit, nullptr);
        for (const char* shown : c.shown) {
            if (c.how == How::Click)
                QTest::mouseClick(edit, Qt::LeftButton);
            else
                QTest::keyClick(edit, Qt::Key_Space);
            EXPECT_EQ(edit->text().toStdString(), shown);
        }
        EXPECT_EQ(Held(), c.held);
        form->reject();
    }
}

// Over the whole generated table: the box called X flips the bit the part's
// header calls X, every named bit has its box, and each row says what it does.
TEST_F(FeaturesDialogTest, NoFuseOrLockBitIsMislabelledOnAnyPart) {
    int parts = 0;
    for (const TDeviceInfo& device : Devices()) {
        if (device.Type != ctATmega && device.Type != ctATtiny) continue;
        // Parts that share a signature (ATmega8 and ATmega8A) cannot be told
        // apart on the wire: the dialog shows the first of them.
        if (FindDevice(device.Signature) != &device) continue;
        SCOPED_TRACE(device.Name);
        const avrparts::AvrPart& part = *device.Part;
        target.Signature = device.Signature;
        target.FuseLow = target.FuseHigh = target.FuseExtended = target.AvrLock = 0xFF;
        form->Open(device.Type, false, false, false);
        ASSERT_EQ(form->LabelStatus->text().toStdString(), "Bits read from the chip.");
        const auto names = LockBitNames(part.lockMask);
        size_t named = 0;
        for (int byte = 0; byte < 4; ++byte)
            for (size_t bit = 0; bit < 8; ++bit) {
                const bool lock = byte == 3;
                if (!lock && byte >= part.fuseCount) continue;
                named += lock ? !names[bit].empty() : part.fuseBits[static_cast<size_t>(byte)][bit] != nullptr;
            }
        const QList<TBitEdit*> edits = form->Panel1->findChildren<TBitEdit*>();
        EXPECT_EQ(static_cast<size_t>(edits.size()), named);
        for (TBitEdit* edit : edits) {
            const std::string name = edit->objectName().toStdString();
            const std::vector<uint8_t> before = Held();
            QTest::mouseClick(edit, Qt::LeftButton);
            const std::vector<uint8_t> after = Held();
            int flipped = 0;
            for (size_t byte = 0; byte < 4; ++byte) {
                const uint8_t diff = before[byte] ^ after[byte];
                for (size_t bit = 0; bit < 8; ++bit) {
                    if (((diff >> bit) & 1) == 0) continue;
                    ++flipped;
                    const char* header = byte == 3 ? names[bit].c_str() : part.fuseBits[byte][bit];
                    EXPECT_STREQ(header, name.c_str()) << "byte " << byte << " bit " << bit;
                }
            }
            EXPECT_EQ(flipped, 1) << name;
            const auto* meaning = form->Panel1->findChild<QLabel*>(QStringLiteral("Meaning") + edit->objectName());
            ASSERT_NE(meaning, nullptr) << name;
            EXPECT_FALSE(meaning->text().isEmpty()) << name;
        }
        form->reject();
        ++parts;
    }
    EXPECT_GT(parts, 110);
}

TEST_F(FeaturesDialogTest, HexValuesShowTheBitsAndEditingOneSetsThem) {
    target.Be("ATmega328P");
    target.FuseLow = 0x62;
    target.FuseHigh = 0xD9;
    target.FuseExtended = 0xFD;
    form->Open(ctATmega, false, false, false);
    const auto hex = [&](int i) { return form->HexEdits[static_cast<size_t>(i)]->text().toStdString(); };
    EXPECT_EQ(hex(0), "62");
    EXPECT_EQ(hex(1), "D9");
    EXPECT_EQ(hex(2), "FD");
    EXPECT_EQ(hex(3), "FF");
    QLineEdit* high = form->HexEdits[1];
    high->selectAll();
    QTest::keyClicks(high, QStringLiteral("C9"));
    emit high->editingFinished();
    EXPECT_EQ(form->Edited.FuseHigh, 0xC9);
    EXPECT_EQ(Edit("WDTON")->text().toStdString(), "0");
    QTest::mouseClick(Edit("CKDIV8"), Qt::LeftButton);
    EXPECT_EQ(hex(0), "E2");
    // The factory values of the part, shown but not written.
    driver.ClearLog();
    QTest::mouseClick(form->ButtonDefaults, Qt::LeftButton);
    EXPECT_EQ(Held(), (std::vector<uint8_t>{0x62, 0xD9, 0xFF, 0xFF}));
    EXPECT_EQ(hex(2), "FF");
    EXPECT_TRUE(driver.Lines().empty()) << driver.Log();
    form->reject();
}

TEST_F(FeaturesDialogTest, OpeningShowsTheTypesPanelAndTheBitsReadFromTheChip) {
    target.FuseLow = 0xDA;
    target.UserFuses = 0x06;
    target.LockBits = 0x03;
    const struct {
        const char* what;
        uint8_t type;
        const char* part;  // the signature the target gives
        bool connected, answers;
        bool avrPanel;
        std::string status;
        std::string hex;    // low, high hex shown
        std::string boxes;  // Fuse4 to Fuse1, Lock3 to Lock1
        bool writable, readAgain;
    } cases[] = {
        {"ATmega", ctATmega, "ATmega8", true, true, true, "Bits read from the chip.", "DAD9", "0000000", true, false},
        {"ATtiny", ctATtiny, "ATtiny2313", true, true, true, "Bits read from the chip.", "DAD9", "0000000", true,
         false},
        {"AT89S8253", ctAT89S8253, "ATmega8", true, true, false, "Bits read from the chip.", "0000", "0110011", true,
         false},
        {"ATmega, not connected", ctATmega, "ATmega8", false, true, true,
         "Not connected: bits not read, nothing can be written.", "0000", "0000000", false, true},
        {"AT89S8253, no answer", ctAT89S8253, "ATmega8", true, false, false,
         "No answer from the chip: nothing can be written.", "0000", "0000000", false, true},
        // An ATtiny's signature when the profile says ATmega: not the part the routines expect.
        {"ATmega profile, ATtiny attached", ctATmega, "ATtiny2313", true, true, true,
         "Unknown signature 1Eh 91h 0Ah: nothing can be written.", "0000", "0000000", false, true},
        {"AT89S52", ctAT89S52, "ATmega8", true, true, false, "No fuse or lock bits to write for this controller.",
         "0000", "0000000", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Connected = c.connected;
        target.Answers = c.answers;
        target.Be(c.part);
        form->Open(c.type, false, false, false);
        form->show();
        EXPECT_EQ(form->Panel1->isVisible(), c.avrPanel);
        EXPECT_EQ(form->Panel2->isVisible(), !c.avrPanel);
        EXPECT_EQ(form->LabelStatus->text().toStdString(), c.status);
        EXPECT_EQ((form->HexEdits[0]->text() + form->HexEdits[1]->text()).toStdString(), c.hex);
        std::string boxes;
        for (const char* b : {"CheckBoxFuse4", "CheckBoxFuse3", "CheckBoxFuse2", "CheckBoxFuse1", "CheckBoxLock3",
                              "CheckBoxLock2", "CheckBoxLock1"})
            boxes += Box(b)->isChecked() ? '1' : '0';
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_EQ(form->BitBtnWrite->isEnabled(), c.writable);
        EXPECT_EQ(form->ButtonReadAgain->isVisible(), c.readAgain);
        form->reject();
    }
}

TEST_F(FeaturesDialogTest, AfterAFailedReadNothingIsWrittenUntilReadAgainReadsTheChip) {
    for (uint8_t type : {ctATmega, ctAT89S8253}) {
        SCOPED_TRACE(int(type));
        target = FuseTarget{};
        target.Answers = false;
        form->Open(type, false, false, false);
        form->show();
        EXPECT_FALSE(form->BitBtnWrite->isEnabled());
        ASSERT_TRUE(form->ButtonReadAgain->isVisible());
        driver.ClearLog();
        form->BitBtnWriteClick();  // even when called without the button
        EXPECT_TRUE(LinesStartingWith("SPIW ").empty()) << driver.Log();
        EXPECT_EQ(Errors(), 0u);

        target.Answers = true;
        QTest::mouseClick(form->ButtonReadAgain, Qt::LeftButton);
        EXPECT_EQ(form->LabelStatus->text().toStdString(), "Bits read from the chip.");
        EXPECT_TRUE(form->BitBtnWrite->isEnabled());
        EXPECT_FALSE(form->ButtonReadAgain->isVisible());
        driver.ClearLog();
        QTest::mouseClick(form->BitBtnWrite, Qt::LeftButton);
        EXPECT_EQ(form->LabelStatus->text().toStdString(), "Written and read back.");
        EXPECT_FALSE(LinesStartingWith("SPIW AC").empty()) << driver.Log();
        form->reject();
    }
}

TEST_F(FeaturesDialogTest, AnotherChipAtWriteTimeIsRefused) {
    target.Be("ATmega8");
    form->Open(ctATmega, false, false, false);
    form->show();
    target.Be("ATmega328P");
    driver.ClearLog();
    QTest::mouseClick(form->BitBtnWrite, Qt::LeftButton);
    EXPECT_TRUE(LinesStartingWith("SPIW AC").empty()) << driver.Log();
    EXPECT_EQ(form->LabelStatus->text().toStdString(), "Another chip answers: read its bits before writing them.");
    EXPECT_EQ(Errors(), 1u);
    EXPECT_FALSE(form->BitBtnWrite->isEnabled());
    EXPECT_TRUE(form->ButtonReadAgain->isVisible());
    QTest::mouseClick(form->ButtonReadAgain, Qt::LeftButton);
    EXPECT_EQ(form->LabelPart->text().toStdString(), "ATmega328P");
    EXPECT_TRUE(form->BitBtnWrite->isEnabled());
    form->reject();
}

TEST_F(FeaturesDialogTest, EveryBitThatEndsSerialProgrammingAsksWithNoAsDefault) {
    const struct {
        const char* what;
        uint8_t type;
        const char* part;
        const char* flip;         // a bit edit or, on the AT89S8253, a box
        const char* consequence;  // named in the question
    } cases[] = {
        {"SPIEN unprogrammed", ctATmega, "ATmega328P", "SPIEN", "only a high-voltage programmer"},
        {"RSTDISBL programmed", ctATmega, "ATmega328P", "RSTDISBL", "reset pin into an I/O pin"},
        // Its header spells the bit RSTDSBL.
        {"RSTDSBL programmed", ctATmega, "AT90USB162", "RSTDSBL", "reset pin into an I/O pin"},
        {"DWEN programmed", ctATmega, "ATmega328P", "DWEN", "debugWIRE"},
        {"AT89S8253 Fuse1", ctAT89S8253, "ATmega328P", "CheckBoxFuse1", "only a parallel programmer"},
    };
    for (const auto& c : cases)
        for (const std::optional<TMsgResult> answer :
             {std::optional<TMsgResult>{}, std::optional{TMsgResult::No}, std::optional{TMsgResult::Yes}}) {
            SCOPED_TRACE(std::string(c.what) + (answer ? (*answer == TMsgResult::Yes ? ", Yes" : ", No") : ", Enter"));
            target = FuseTarget{};
            target.Be(c.part);
            target.UserFuses = 0x00;
            form->Open(c.type, false, false, false);
            if (c.type == ctAT89S8253)
                Box(c.flip)->setChecked(true);
            else
                QTest::mouseClick(Edit(c.flip), Qt::LeftButton);
            Script.Messages.clear();
            Script.Answers.clear();
            if (answer) Script.Answers.push_back(*answer);
            driver.ClearLog();
            QTest::mouseClick(form->BitBtnWrite, Qt::LeftButton);
            ASSERT_EQ(Questions(), 1u);
            EXPECT_NE(Script.Messages.front().Text.find(c.consequence), std::string::npos)
                << Script.Messages.front().Text;
            const bool written = answer == TMsgResult::Yes;
            EXPECT_EQ(LinesStartingWith("SPIW AC").empty(), !written) << driver.Log();
            EXPECT_EQ(form->LabelStatus->text().toStdString(),
                      written ? "Written and read back." : "Nothing written.");
            form->reject();
        }
}

// The question on the screen: Enter and Esc both answer No.
TEST_F(FeaturesDialogTest, TheQuestionBoxAnswersNoToEnterAndEscape) {
    QtPrompts real;
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        SCOPED_TRACE(int(key));
        bool shown = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                poll.stop();
                shown = true;
                EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
                QTest::keyClick(box, key);
            }
        });
        poll.start(5);
        EXPECT_EQ(real.Message(TMsgKind::Confirmation, "Write anyway?", TMsgButtons::YesNoDefaultNo), TMsgResult::No);
        EXPECT_TRUE(shown);
    }
}

TEST_F(FeaturesDialogTest, WriteSendsEveryByteOfThePartOrShowsTheError) {
    const std::vector<const char*> all8253{"CheckBoxFuse1", "CheckBoxFuse2", "CheckBoxFuse3", "CheckBoxFuse4",
                                           "CheckBoxLock1", "CheckBoxLock2", "CheckBoxLock3"};
    const struct {
        const char* what;
        uint8_t type;
        const char* part;
        std::vector<const char*> tick;  // AT89S8253: the other boxes are cleared; AVR: edits clicked
        bool answers_handshake;
        std::vector<std::string> sent;  // consecutive lines
        bool error;
    } cases[] = {
        {"AT89S8253 Fuse3 and Lock2", ctAT89S8253, "ATmega8", {"CheckBoxFuse3", "CheckBoxLock2"}, true,
         {"SPIW AC 14 00 00", "Delay 4500", "SPIW AC E2 00 00"}, false},
        {"ATmega8 as read", ctATmega, "ATmega8", {}, true, {"SPIW AC A0 00 5A", "Delay 9000", "SPIW AC A8 00 D9"},
         false},
        // Three fuse bytes, and the lock byte because LB1 is programmed.
        {"ATmega328P, LB1", ctATmega, "ATmega328P", {"LB1"}, true,
         {"SPIW AC A0 00 5A", "Delay 9000", "SPIW AC A8 00 D9", "Delay 9000", "SPIW AC A4 00 FF", "Delay 9000",
          "SPIW AC E0 00 FE"},
         false},
        {"ATmega without answer", ctATmega, "ATmega8", {}, false, {}, true},
        {"AT89S8253 without answer", ctAT89S8253, "ATmega8", {}, false, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        target = FuseTarget{};
        target.Be(c.part);
        target.FuseLow = 0x5A;
        target.FuseHigh = 0xD9;
        form->Open(c.type, false, false, false);
        if (c.type == ctAT89S8253) {
            for (const char* b : all8253) Box(b)->setChecked(false);
            for (const char* b : c.tick) Box(b)->setChecked(true);
        } else {
            for (const char* e : c.tick) QTest::mouseClick(Edit(e), Qt::LeftButton);
        }
        target.Answers = c.answers_handshake;
        driver.ClearLog();
        Script.Messages.clear();
        QTest::mouseClick(form->BitBtnWrite, Qt::LeftButton);
        EXPECT_EQ(Errors(), c.error ? 1u : 0u);
        EXPECT_EQ(Questions(), 0u);
        if (!c.sent.empty()) {
            EXPECT_TRUE(LogHolds(c.sent)) << driver.Log();
            EXPECT_EQ(form->LabelStatus->text().toStdString(), "Written and read back.");
        }
        if (c.error) {
            EXPECT_EQ(driver.Log().find("SPIW "), std::string::npos) << driver.Log();
        }
        form->reject();
    }
}

TEST_F(FeaturesDialogTest, AReadBackDifferenceIsAnErrorAndShowsWhatTheChipHolds) {
    target.Be("ATmega328P");
    target.FuseLow = 0x5A;
    target.FuseHigh = 0xD9;
    target.FixedHigh = 0x08;  // EESAVE will not change
    form->Open(ctATmega, false, false, false);
    QTest::mouseClick(Edit("EESAVE"), Qt::LeftButton);
    QTest::mouseClick(form->BitBtnWrite, Qt::LeftButton);
    EXPECT_EQ(Errors(), 1u);
    EXPECT_EQ(form->LabelStatus->text().toStdString(),
              "The chip reads back low fuse 5Ah, high fuse D9h, extended fuse FFh, lock FFh.");
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
