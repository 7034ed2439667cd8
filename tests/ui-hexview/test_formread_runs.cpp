// Write µC and Read µC of the hex view: the parameter block they hand over, the
// range check, the types without routines, the locked window during a run, and
// round trips through the virtual adapter.
#include <QTimer>

#include <cstdio>
#include <fstream>

#include "FormReadFixture.h"
#include "files/FileResult.h"
#include "ui/HexDump.h"
#include "ui/HexGridModel.h"
#include "devices/Programmer.h"
#include "support/RecordingDriver.h"
#ifdef KESTRIN_VIRTUAL_DRIVER
#include "virtual/VirtualDriver.h"
#endif

namespace kestrin::test {
namespace {

using FormReadRuns = FormReadTest;

bool LogHas(const RecordingDriver& d, const std::string& line) {
    for (const auto& l : d.Lines())
        if (l == line) return true;
    return false;
}

TEST_F(FormReadRuns, WriteTakesLevelsAndWaitsFromTheProfile) {
    RecordingDriver driver;
    ASSERT_TRUE(driver.Bind());
    SelectType(ctAT89S8252);
    TProfile& p = ProfileTable[static_cast<size_t>(Config.ProfileIndex)];
    p.SCK = true;
    p.MOSI = false;
    p.MISO = true;
    p.WaitFlash = 4321;
    Load(WriteFile("data.bin", Pattern(3, 0x55)));
    driver.ClearLog();
    form->SpeedButtonWriteClick();
    EXPECT_TRUE(LogHas(driver, "SetLevels 1 0 1")) << driver.Log();
    EXPECT_TRUE(LogHas(driver, "Delay 4321")) << driver.Log();
    // The recording driver holds no chip: the byte read back after the first
    // write tells, and the run ends there.
    EXPECT_EQ(form->StatusText(5), "no device");
    EXPECT_EQ(form->Params.WaitFlash, 4321);
    EXPECT_EQ(form->Params.StartAddress, 0);
}

TEST_F(FormReadRuns, MemoryVerifyAndBackupComeFromTheMainWindow) {
    RecordingDriver driver;
    ASSERT_TRUE(driver.Bind());
    SelectType(ctAT89S8252);
    Load(WriteFile("data.bin", Pattern(3, 0x55)));
    struct Case {
        bool fromProvider;
        TRunChoice choice;
    };
    const std::vector<Case> cases = {
        {false, {true, true, false}}, {false, {false, false, true}}, {true, {true, false, true}}, {true, {false, true, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.fromProvider) + std::to_string(c.choice.EEPROM) + std::to_string(c.choice.Verify));
        if (c.fromProvider) {
            Config.Memory = !c.choice.EEPROM;
            Config.Verify = !c.choice.Verify;
            Config.Backup = !c.choice.Backup;
            form->SetRunChoiceProvider([choice = c.choice] { return choice; });
        } else {
            Config.Memory = c.choice.EEPROM;
            Config.Verify = c.choice.Verify;
            Config.Backup = c.choice.Backup;
            form->SetRunChoiceProvider(nullptr);
        }
        form->SpeedButtonWriteClick();
        EXPECT_EQ(form->Params.EEPROM, c.choice.EEPROM);
        EXPECT_EQ(form->Params.Verify, c.choice.Verify);
        EXPECT_EQ(form->Params.Backup, c.choice.Backup);
    }
}

TEST_F(FormReadRuns, ARangeBeyondTheMemoryIsRefusedBeforeTheAdapterIsTouched) {
    RecordingDriver driver;
    ASSERT_TRUE(driver.Bind());
    struct Case {
        uint8_t type;
        bool eeprom;
        const char* size;
        bool refused;
    };
    const std::vector<Case> cases = {
        {ctAT89S8252, false, "2001", true}, {ctAT89S8252, false, "2000", false}, {ctAT89S8252, true, "801", true},
        {ctAT89S8253, false, "3001", true}, {ctAT89S8253, true, "800", false},   {ctAT89S52, true, "1", true},
        {ctAT89S52, false, "10000", true},
    };
    for (const auto& c : cases) {
        for (bool write : {true, false}) {
            SCOPED_TRACE(std::string(ControllerName(c.type)) + (c.eeprom ? " E2PROM " : " Flash ") + c.size +
                         (write ? " write" : " read"));
            SelectType(c.type);
            Config.Memory = c.eeprom;
            EnterSize(c.size);
            prompts.Messages.clear();
            driver.ClearLog();
            if (write)
                form->SpeedButtonWriteClick();
            else
                form->SpeedButtonReadClick();
            if (c.refused) {
                ASSERT_EQ(prompts.Messages.size(), 1u);
                const std::string& text = prompts.Messages[0].Text;
                const bool range = text.rfind("File size exceeds memory range with given start address!", 0) == 0;
                const bool noMemory = text == "The AT89S52 has no E²PROM!";
                EXPECT_TRUE(range || noMemory) << text;
                EXPECT_EQ(prompts.Messages[0].Buttons, TMsgButtons::Cancel);
                EXPECT_EQ(driver.Log(), "");
                EXPECT_EQ(form->StatusText(5), "");
            } else {
                EXPECT_TRUE(prompts.Messages.empty());
                EXPECT_NE(driver.Log(), "");
                EXPECT_NE(form->StatusText(5), "");
            }
        }
    }
}

TEST_F(FormReadRuns, TypesWithoutRoutinesSendNothing) {
    RecordingDriver driver;
    ASSERT_TRUE(driver.Bind());
    EnterSize("100");
    // Only a hand-edited settings file can hold a type code without a routine.
    for (int code : {7, 200, 255}) {
        const auto type = static_cast<uint8_t>(code);
        ASSERT_FALSE(HasWriteRoutine(type));
        SCOPED_TRACE(code);
        SelectType(type);
        driver.ClearLog();
        prompts.Messages.clear();
        form->SpeedButtonWriteClick();
        form->SpeedButtonReadClick();
        // Each is refused with a word on the profile, and nothing is sent.
        ASSERT_EQ(prompts.Messages.size(), 2u);
        for (const auto& m : prompts.Messages) {
            EXPECT_NE(m.Text.find("unknown controller type " + std::to_string(code)), std::string::npos) << m.Text;
        }
        EXPECT_EQ(form->StatusText(5), "");
        EXPECT_EQ(driver.Log(), "");
    }
}

TEST_F(FormReadRuns, AFailedReadKeepsTheData) {
    RecordingDriver driver;  // answers nothing: the AT89S8253 handshake fails
    ASSERT_TRUE(driver.Bind());
    SelectType(ctAT89S8253);
    Load(WriteFile("data.bin", Pattern(32, 0x12)));
    const std::vector<uint8_t> before = form->Buffer;
    form->SpeedButtonReadClick();
    EXPECT_EQ(form->StatusText(5), "failed");
    EXPECT_EQ(form->Buffer, before);
    EXPECT_FALSE(form->DataModified);
    form->SpeedButtonWriteClick();
    EXPECT_EQ(form->StatusText(5), "no device");
}

TEST_F(FormReadRuns, TheWindowIsLockedWhileARunIsInProgress) {
    RecordingDriver driver;
    ASSERT_TRUE(driver.Bind());
    SelectType(ctAT89S8252);
    Connected = true;
    // Zero bytes: the one byte read back after the first write matches what the
    // recording driver answers, so the write runs to its end.
    Load(WriteFile("data.bin", std::vector<uint8_t>(64, 0x00)));
    const std::vector<uint8_t> before = form->Buffer;
    struct Seen {
        bool checked = false;
        bool running = false;
        bool anyEnabled = true;
        bool visible = false;
        int32_t size = 0;
        std::vector<uint8_t> buffer;
    } seen;
    // Fires from the routine's event processing, in the middle of the write.
    QTimer::singleShot(0, form.get(), [&] {
        seen.checked = true;
        seen.running = form->Running();
        seen.anyEnabled = false;
        for (QWidget* w : std::initializer_list<QWidget*>{
                 form->EditSize, form->SpinButtonSize1, form->SpinButtonSize4, form->SpeedButtonClear,
                 form->SpeedButtonLoad, form->SpeedButtonWrite, form->SpeedButtonRead, form->SpeedButtonSave,
                 form->SpeedButtonExit, form->StringGrid1})
            seen.anyEnabled = seen.anyEnabled || w->isEnabled();
        form->SpeedButtonClearClick();
        form->SpinButtonSize1UpClick(0);
        form->EditSizeKeyPress(13);
        prompts.OpenAnswers.push_back({Path("data.bin"), 1});
        form->SpeedButtonLoadClick();
        form->SpeedButtonReadClick();
        form->StringGrid1SetEditText(1, 1, "00");
        form->close();
        seen.visible = form->isVisible();
        seen.size = form->Params.Size;
        seen.buffer = form->Buffer;
    });
    form->SpeedButtonWriteClick();
    ASSERT_TRUE(seen.checked);
    EXPECT_TRUE(seen.running);
    EXPECT_FALSE(seen.anyEnabled);
    EXPECT_TRUE(seen.visible);
    EXPECT_EQ(seen.size, 64);
    EXPECT_EQ(seen.buffer, before);
    EXPECT_EQ(prompts.OpenAnswers.size(), 1u);  // the open dialog was never shown
    // Afterwards everything is as before the run.
    EXPECT_FALSE(form->Running());
    EXPECT_TRUE(form->SpeedButtonLoad->isEnabled());
    EXPECT_TRUE(form->SpeedButtonWrite->isEnabled());
    EXPECT_TRUE(form->StringGrid1->isEnabled());
    EXPECT_TRUE(form->EditSize->isEnabled());
    EXPECT_FALSE(form->SpeedButtonSave->isEnabled());
    EXPECT_EQ(form->StatusText(5), "Ok");
}

#ifdef KESTRIN_VIRTUAL_DRIVER

// An ATmega2560 holds 256 KB: a program placed at 1E000h by 04 records is
// loaded, shown with five-digit addresses, written there and read back.
TEST_F(FormReadRuns, AnAvrBeyond64KBIsWrittenAndReadAtItsAddresses) {
    VirtualDriver chip;
    chip.ResetAll();
    chip.Set("chip", "ATmega2560");
    ASSERT_EQ(Ops.Connect(0, 1), 0);
    Connected = true;
    SelectType(ctATmega);
    form->SetRunChoiceProvider([] { return TRunChoice{false, true, false}; });

    const std::vector<uint8_t> code = Pattern(0x300, 0x5A);
    std::ofstream(Path("high.hex")) << ":020000040001F9\n";  // base 10000h
    {
        std::ofstream hex(Path("high.hex"), std::ios::app);
        for (size_t i = 0; i < code.size(); i += 16) {
            const unsigned address = 0xE000 + static_cast<unsigned>(i);
            unsigned sum = 16 + (address >> 8) + (address & 0xFF);
            char line[64];
            std::snprintf(line, sizeof line, ":10%04X00", address);
            hex << line;
            for (size_t k = 0; k < 16; ++k) {
                std::snprintf(line, sizeof line, "%02X", code[i + k]);
                hex << line;
                sum += code[i + k];
            }
            std::snprintf(line, sizeof line, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
            hex << line;
        }
        hex << ":00000001FF\n";
    }
    Load(Path("high.hex"), HexFilterIndex);
    ASSERT_TRUE(prompts.Messages.empty()) << prompts.Messages[0].Text;
    ASSERT_EQ(form->Params.Size, 0x1E300);
    EXPECT_EQ(form->EditSize->text(), "1E300");
    EXPECT_EQ(form->GridModel->headerData(RowOf(0x1E000) - 1, Qt::Vertical, Qt::DisplayRole).toString(), "1E00x");
    EXPECT_EQ(Cell(HexColumnOf(0x1E000), RowOf(0x1E000)), QString::fromStdString(ByteHex(code[0])));

    QTest::mouseClick(form->SpeedButtonWrite, Qt::LeftButton);
    EXPECT_EQ(form->StatusText(5), "Ok");
    EXPECT_EQ(chip.Read(VV_FLASH, 0x1E000, 0x300), code);

    QTest::mouseClick(form->SpeedButtonClear, Qt::LeftButton);
    QTest::mouseClick(form->SpeedButtonRead, Qt::LeftButton);
    EXPECT_EQ(form->StatusText(5), "Ok");
    EXPECT_TRUE(std::equal(code.begin(), code.end(), form->Buffer.begin() + 0x1E000));
    Ops.Disconnect();
}

TEST_F(FormReadRuns, WriteThenReadRoundTripsOnEveryChip) {
    VirtualDriver chip;
    struct Case {
        const char* name;
        uint8_t type;
        bool eeprom;
        int32_t size;
    };
    const std::vector<Case> cases = {
        {"AT89S8252", ctAT89S8252, false, 0x123}, {"AT89S8252", ctAT89S8252, true, 0x40},
        {"AT89S8253", ctAT89S8253, false, 0x2345}, {"AT89S8253", ctAT89S8253, true, 0x81},
        {"AT89S52", ctAT89S52, false, 0x1FFF},   {"ATmega8", ctATmega, false, 0x301},
        {"ATmega8", ctATmega, true, 0x45},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.eeprom ? " E2PROM" : " Flash"));
        chip.ResetAll();
        chip.Set("chip", c.name);
        ASSERT_EQ(Ops.Connect(0, 1), 0);
        Connected = true;
        SelectType(c.type);
        form->SetRunChoiceProvider([&c] { return TRunChoice{c.eeprom, true, false}; });
        const std::vector<uint8_t> bytes = Pattern(static_cast<size_t>(c.size), static_cast<uint8_t>(c.size));
        Load(WriteFile("image.bin", bytes));
        ASSERT_TRUE(form->SpeedButtonWrite->isEnabled());

        QTest::mouseClick(form->SpeedButtonWrite, Qt::LeftButton);
        EXPECT_EQ(form->StatusText(5), "Ok");
        EXPECT_EQ(chip.Read(c.eeprom ? VV_EEPROM : VV_FLASH, 0, c.size), bytes);

        QTest::mouseClick(form->SpeedButtonClear, Qt::LeftButton);
        ASSERT_EQ(form->Buffer[0], 0xFF);
        QTest::mouseClick(form->SpeedButtonRead, Qt::LeftButton);
        EXPECT_EQ(form->StatusText(5), "Ok");
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), form->Buffer.begin()));
        EXPECT_EQ(Cell(HexColumnOf(c.size - 1), RowOf(c.size - 1)), QString::fromStdString(ByteHex(bytes.back())));
        EXPECT_TRUE(form->DataModified);
        EXPECT_TRUE(form->SpeedButtonSave->isEnabled());
        Ops.Disconnect();
    }
}

#endif

}  // namespace
}  // namespace kestrin::test
