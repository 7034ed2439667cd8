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
#include "ElfBuilder.h"
#include <fstream>
#include <QDir>

namespace kestrin::test {
namespace {

class FeaturesVirtualTest : public FeaturesTest, public VirtualChip {
protected:

    // The AVR bit edits of these names, or the AT89S8253's boxes Fuse4 to
    // Fuse1, Lock3 to Lock1.
    std::string Shown(const std::vector<const char*>& edits) const {
        std::string out;
        if (!edits.empty()) {
            for (const char* e : edits) out += Edit(e) != nullptr ? Edit(e)->text().toStdString() : "-";
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
        std::vector<const char*> edits;  // shown, in this order
        std::string before;              // as the factory-fresh chip shows
        std::vector<const char*> click;  // edits clicked or boxes toggled
        std::string after;
        std::vector<uint8_t> fuses, lock;  // what the chip then holds
    } cases[] = {
        // Low E1, high D9: CKSEL 0001, SUT 10, CKOPT 1.
        {"ATmega8", ctATmega, {"CKSEL3", "CKSEL2", "CKSEL1", "CKSEL0", "SUT1", "SUT0", "CKOPT"}, "0001101",
         {"CKSEL1", "SUT0", "CKOPT"}, "0011110", {0xF3, 0xC9}, {0xFF}},
        // Low 64, high DF; bit 7 of the low byte is CKDIV8. LB1 programmed last.
        {"ATtiny2313", ctATtiny, {"CKSEL3", "CKSEL2", "CKSEL1", "CKSEL0", "SUT1", "SUT0", "CKDIV8", "LB1"}, "01001001",
         {"CKSEL0", "CKDIV8", "LB1"}, "01011010", {0xE5, 0xDF, 0xFF}, {0xFE}},
        // The watchdog fuse of the ATmega328P: high-fuse bit 4.
        {"ATmega328P", ctATmega, {"WDTON", "EESAVE", "BODLEVEL0"}, "111", {"WDTON", "BODLEVEL0"}, "010",
         {0x62, 0xC9, 0xFE}, {0xFF}},
        // User fuses A (Fuse2, Fuse4), no lock bit programmed; then Fuse3 set, Lock1 programmed.
        {"AT89S8253", ctAT89S8253, {}, "1010111", {"CheckBoxFuse3", "CheckBoxLock1"}, "1110110", {0xFE}, {0xFE}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chip);
        Use(c.chip);
        const bool avr = c.type != ctAT89S8253;
        const auto& edits = c.edits;
        WhenShown(*form, [&] {
            EXPECT_EQ(Shown(edits), c.before);
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
            EXPECT_EQ(Shown(edits), c.after);
            form->close();
        });
        form->Execute(c.type, false, false, false);
    }
}

// The fuse values an avr-gcc program carries are shown when asked for and
// reach the chip only through Write; a program for another part changes nothing.
TEST_F(FeaturesVirtualTest, FuseValuesFromAnElfProgramAreWrittenOnlyByWrite) {
    const QString folder = QDir::temp().filePath(QStringLiteral("kestrin-elf-fuses-%1").arg(QCoreApplication::applicationPid()));
    QDir().mkpath(folder);
    const struct {
        const char* name;
        std::vector<uint8_t> file;
        std::string status;
        std::vector<uint8_t> written;  // the chip's fuses after Write; empty: Write not clicked
    } cases[] = {
        {"prog.elf", AvrProgramWithFuses({0xE2, 0xD9, 0xFD}, 0xFC, {0x1E, 0x95, 0x0F}),
         "prog.elf sets low=E2 high=D9 extended=FD lock=FC: shown, not written yet.", {0xE2, 0xD9, 0xFD}},
        {"mega8.elf", AvrProgramWithFuses({0xE4, 0xD9}, -1, {0x1E, 0x93, 0x07}),
         "mega8.elf: the file is built for ATmega8, the attached chip is an ATmega328P. Nothing changed.", {}},
        {"nofuses.elf", AvrProgramWithFuses({}, -1, {0x1E, 0x95, 0x0F}),
         "nofuses.elf: the file holds no fuse or lock values. Nothing changed.", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Use("ATmega328P");
        const std::vector<uint8_t> factory = vd.Read(VV_FUSES, 0, 3);
        const std::string path = QDir(folder).filePath(QString::fromLatin1(c.name)).toStdString();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(c.file.data()),
                                                    static_cast<std::streamsize>(c.file.size()));
        Script.FileDialogsExpected = true;
        Script.OpenAnswers.push_back(path);
        WhenShown(*form, [&] {
            ASSERT_TRUE(form->ButtonFromElf->isVisible());
            QTest::mouseClick(form->ButtonFromElf, Qt::LeftButton);
            EXPECT_EQ(form->LabelStatus->text().toStdString(), c.status);
            EXPECT_EQ(vd.Read(VV_FUSES, 0, 3), factory);  // shown only
            if (!c.written.empty()) {
                EXPECT_EQ(form->HexEdits[0]->text().toStdString(), "E2");
                QTest::mouseClick(form->BitBtnWrite, Qt::LeftButton);
                EXPECT_EQ(form->LabelStatus->text().toStdString(), "Written and read back.");
            }
            form->close();
        });
        form->Execute(ctATmega, false, false, false);
        EXPECT_EQ(vd.Read(VV_FUSES, 0, 3), c.written.empty() ? factory : c.written);
        if (!c.written.empty()) {
            EXPECT_EQ(vd.Read(VV_LOCK, 0, 1), std::vector<uint8_t>{0xFC});
        }
    }
    QDir(folder).removeRecursively();
}

TEST_F(FeaturesVirtualTest, ChipWithoutAnswerCannotBeWrittenBlind) {
    Use("ATmega8");
    vd.Set("no_target", "1");
    WhenShown(*form, [&] {
        EXPECT_EQ(form->LabelStatus->text().toStdString(), "No answer from the chip: nothing can be written.");
        EXPECT_FALSE(form->BitBtnWrite->isEnabled());
        EXPECT_TRUE(form->ButtonReadAgain->isVisible());
        EXPECT_EQ(Shown({"CKSEL0", "SUT0"}), "--");
        vd.Set("no_target", "0");
        QTest::mouseClick(form->ButtonReadAgain, Qt::LeftButton);
        EXPECT_EQ(form->LabelStatus->text().toStdString(), "Bits read from the chip.");
        EXPECT_TRUE(form->BitBtnWrite->isEnabled());
        EXPECT_EQ(Shown({"CKSEL3", "CKSEL2", "CKSEL1", "CKSEL0"}), "0001");
        form->close();
    });
    form->Execute(ctATmega, false, false, false);
    EXPECT_EQ(Errors(), 0u);
    EXPECT_EQ(vd.Read(VV_FUSES, 0, 2), (std::vector<uint8_t>{0xE1, 0xD9}));
}

TEST_F(FeaturesVirtualTest, AWriteThatLosesTheAdapterSaysSoAndOffersReadAgain) {
    Use("ATmega328P");
    WhenShown(*form, [&] {
        ASSERT_TRUE(form->BitBtnWrite->isEnabled());
        QTest::mouseClick(Edit("EESAVE"), Qt::LeftButton);
        // Gone after the handshake, the signature and the low fuse byte.
        Ops.Disconnect();
        ASSERT_EQ(Ops.Connect(0, 1), 0);
        vd.Set("unplug_after_transfers", "3");
        QTest::mouseClick(form->BitBtnWrite, Qt::LeftButton);
        EXPECT_EQ(form->LabelStatus->text().toStdString(),
                  "Connection to the adapter lost: the bits may be written in part. Read them again.");
        EXPECT_FALSE(form->BitBtnWrite->isEnabled());
        EXPECT_TRUE(form->ButtonReadAgain->isVisible());
        form->close();
    });
    form->Execute(ctATmega, false, false, false);
    EXPECT_EQ(Errors(), 1u);
}

}  // namespace
}  // namespace kestrin::test
