// The fuse and lock bits dialog against the virtual adapter: what a write
// leaves in the chip, and what the dialog shows when it opens again.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

#include "FeaturesTest.h"
#include "config/UnitConfig.h"
#include "VirtualChip.h"

namespace kestrin::test {
namespace {

class FeaturesVirtualTest : public FeaturesTest, public VirtualChip {
protected:

    // The dialog's AVR bits, CKSEL3 to CKSEL0, SUT1, SUT0, CKOPT; or its boxes,
    // Fuse4 to Fuse1, Lock3 to Lock1.
    std::string Shown(bool avr) const {
        std::string out;
        if (avr) {
            for (const char* e : {"CKSEL3", "CKSEL2", "CKSEL1", "CKSEL0", "SUT1", "SUT0", "CKOPT"})
                out += Edit(e)->text().toStdString();
        } else {
            for (const char* b : {"CheckBoxFuse4", "CheckBoxFuse3", "CheckBoxFuse2", "CheckBoxFuse1", "CheckBoxLock3",
                                  "CheckBoxLock2", "CheckBoxLock1"})
                out += Box(b)->isChecked() ? '1' : '0';
        }
        return out;
    }
};

TEST_F(FeaturesVirtualTest, WrittenBitsAreInTheChipAndShownWhenTheDialogOpensAgain) {
    const struct {
        const char* chip;
        uint8_t type;
        std::string before;              // as the factory-fresh chip shows
        std::vector<const char*> click;  // edits clicked or boxes toggled
        std::string after;
        std::vector<uint8_t> fuses, lock;  // what the chip then holds
    } cases[] = {
        // Low E1, high D9: CKSEL 0001, SUT 10, CKOPT 1.
        {"ATmega8", ctATmega, "0001101", {"CKSEL1", "SUT0", "CKOPT"}, "0011110", {0xF3, 0xC9}, {0xFF}},
        // Low 64, high DF; CKOPT is bit 7 of the low byte.
        {"ATtiny2313", ctATtiny, "0100100", {"CKSEL0", "CKOPT"}, "0101101", {0xE5, 0xDF}, {0xFF}},
        // User fuses A (Fuse2, Fuse4), no lock bit programmed; then Fuse3 set, Lock1 programmed.
        {"AT89S8253", ctAT89S8253, "1010111", {"CheckBoxFuse3", "CheckBoxLock1"}, "1110110", {0xFE}, {0xFE}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chip);
        Use(c.chip);
        const bool avr = c.type != ctAT89S8253;
        WhenShown(*form, [&] {
            EXPECT_EQ(Shown(avr), c.before);
            EXPECT_EQ(form->LabelStatus->text().toStdString(), "Bits read from the chip.");
            for (const char* name : c.click) {
                if (avr)
                    QTest::mouseClick(Edit(name), Qt::LeftButton);
                else
                    Box(name)->toggle();
            }
            QTest::mouseClick(form->BitBtnWrite, Qt::LeftButton);
            EXPECT_EQ(form->LabelStatus->text().toStdString(), "Written and read back.");
            QTest::mouseClick(form->BitBtn2, Qt::LeftButton);
        });
        form->Execute(c.type, false, false, false);
        EXPECT_TRUE(Script.Messages.empty());
        EXPECT_EQ(vd.Read(VV_FUSES, 0, static_cast<int32_t>(c.fuses.size())), c.fuses);
        EXPECT_EQ(vd.Read(VV_LOCK, 0, 1), c.lock);

        WhenShown(*form, [&] {
            EXPECT_EQ(Shown(avr), c.after);
            form->close();
        });
        form->Execute(c.type, false, false, false);
    }
}

TEST_F(FeaturesVirtualTest, ChipWithoutAnswerGivesTheErrorAndStartsAtZero) {
    Use("ATmega8");
    vd.Set("no_target", "1");
    WhenShown(*form, [&] {
        EXPECT_EQ(form->LabelStatus->text().toStdString(), "No answer from the chip: all bits start at 0.");
        EXPECT_EQ(Shown(true), "0000000");
        QTest::mouseClick(form->BitBtnWrite, Qt::LeftButton);
        form->close();
    });
    form->Execute(ctATmega, false, false, false);
    EXPECT_EQ(Errors(), 1u);
    EXPECT_EQ(vd.Read(VV_FUSES, 0, 2), (std::vector<uint8_t>{0xE1, 0xD9}));
}

}  // namespace
}  // namespace kestrin::test
