// Reload and write: the checks that refuse a write before the adapter is touched.
#include "app/AppFixture.h"
#include "devices/Programmer.h"

namespace kestrin::test {
namespace {

const char* const kRangeText = "File size exceeds memory range with given start address!";

class WriteCheckTest : public AppTest {
protected:
    // A connected window with the given file chosen.
    TFormMain& ConnectedWith(const std::string& file) {
        rec_ = nullptr;
        Recorder();
        Config.LastFile = file;
        TFormMain& f = Form();
        f.SpeedButtonConnectClick();
        EXPECT_TRUE(f.SpeedButtonWrite->isEnabled());
        rec_->ClearLog();
        prompts_.Messages.clear();
        return f;
    }

    void ExpectRefused(TFormMain& f, TMsgKind kind, const std::string& text) {
        ASSERT_EQ(prompts_.Messages.size(), 1u);
        EXPECT_EQ(prompts_.Messages[0].Kind, kind);
        // A range refusal goes on to name the sizes.
        EXPECT_EQ(prompts_.Messages[0].Text.rfind(text, 0), 0u) << prompts_.Messages[0].Text;
        EXPECT_EQ(prompts_.Messages[0].Buttons, TMsgButtons::Cancel);
        EXPECT_TRUE(NothingSent(rec_->Log())) << rec_->Log();
        EXPECT_EQ(f.StatusText(2), "");
        EXPECT_FALSE(f.LastWriteOk);
        EXPECT_FALSE(f.Running());
        EXPECT_TRUE(f.SpeedButtonFile->isEnabled());  // controls are back after the refusal
    }
};

TEST_F(WriteCheckTest, ImageMustEndWithinTheAddressSpace) {
    // A profile without a write routine shows which check refused the file:
    // passing the address check leads to the type's refusal.
    struct Case {
        int32_t start;
        size_t size;
        bool passes;
    };
    const Case cases[] = {{0, 65535, true},       {1, 65535, true},         {2, 65535, false}, {0, 65536, true},
                          {1, 65536, false},      {0x1FFF, 0xE001, true},  {0x1FFF, 0xE002, false},
                          {-1, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << " + " << c.size);
        Config = TConfig{};
        Config.ProfileCount = DefaultProfileCount;
        SelectUserProfile(0);
        ProfileTable[static_cast<size_t>(Config.ProfileIndex)].Type = 9;
        TFormMain& f = ConnectedWith(MakeFile("data.bin", c.size));
        Config.Startaddress = c.start;
        f.SpeedButtonWrite->click();
        ExpectRefused(f, TMsgKind::Error, c.passes ? "The profile \"user\" has the unknown controller type 9!" : kRangeText);
        EXPECT_EQ(f.LabelFileSize->text().toStdString(), std::to_string(c.size) + " Byte");
        DestroyForm();
        prompts_.Messages.clear();
    }
}

TEST_F(WriteCheckTest, UnreadableFilesAreReportedEmpty) {
    const std::string file = MakeFile("data.bin", 32);
    TFormMain& f = ConnectedWith(file);

    std::ofstream(file, std::ios::trunc).close();  // emptied on disk
    f.SpeedButtonWrite->click();
    ExpectRefused(f, TMsgKind::Information, "File is empty!");
    EXPECT_EQ(f.LabelFileSize->text(), "0 Byte");

    prompts_.Messages.clear();
    std::remove(file.c_str());  // deleted from disk
    f.SpeedButtonWrite->click();
    ExpectRefused(f, TMsgKind::Information, "File is empty!");
}

TEST_F(WriteCheckTest, HexFileWithBadChecksumIsReportedEmpty) {
    const std::string good = TempFile("data.hex");
    std::ofstream(good) << ":0400000001020304F2\n:00000001FF\n";
    Config.FileType = HexFilterIndex;
    TFormMain& f = ConnectedWith(good);
    ASSERT_EQ(f.LabelFileSize->text(), "4 Byte");
    std::ofstream(good, std::ios::trunc) << ":0400000001020304F3\n:00000001FF\n";
    f.LabelFormat->setText("?");
    f.SpeedButtonWrite->click();
    ExpectRefused(f, TMsgKind::Information, "File is empty!");
    EXPECT_EQ(f.LabelFormat->text(), "Intel Hex");
}

TEST_F(WriteCheckTest, ImageMustFitTheControllersMemory) {
    struct Case {
        uint8_t type;
        bool eeprom;
        int32_t start;
        int32_t extra;  // bytes beyond the memory's end
    };
    const Case cases[] = {
        {ctAT89S8252, false, 0, 2048},     // 10 KB into 8 KB Flash
        {ctAT89S8252, false, 0x1FFF, 1},   // last byte one past the end
        {ctAT89S8252, true, 0, 1},
        {ctAT89S8253, true, 0x07FF, 1},
        {ctAT89S8253, false, 0x1000, 1},
        {ctAT89S52, false, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.type) << (c.eeprom ? " E2PROM " : " Flash ") << c.start);
        if (!HasWriteRoutine(c.type)) continue;
        const int32_t memory = MemorySize(c.type, c.eeprom);
        ASSERT_GT(memory, c.start);
        Config = TConfig{};
        Config.ProfileCount = DefaultProfileCount;
        SelectUserProfile(c.type);
        Config.Memory = c.eeprom;
        Config.Startaddress = c.start;
        TFormMain& f = ConnectedWith(MakeFile("data.bin", static_cast<size_t>(memory - c.start + c.extra)));
        f.SpeedButtonWrite->click();
        ExpectRefused(f, TMsgKind::Error, kRangeText);
        DestroyForm();
    }
}

TEST_F(WriteCheckTest, TypesWithoutRoutineAreRefused) {
    int refused = 0;
    for (int type = 0; type <= 12; ++type) {
        if (HasWriteRoutine(static_cast<uint8_t>(type))) continue;
        SCOPED_TRACE(type);
        ++refused;
        Config = TConfig{};
        Config.ProfileCount = DefaultProfileCount;
        SelectUserProfile(0);
        ProfileTable[static_cast<size_t>(Config.ProfileIndex)].Type = static_cast<uint8_t>(type);
        TFormMain& f = ConnectedWith(MakeFile("data.bin", 16));
        f.SpeedButtonWrite->click();
        const std::string name = ControllerName(static_cast<uint8_t>(type));
        ExpectRefused(f, TMsgKind::Error,
                      name.empty() ? "The profile \"user\" has the unknown controller type " + std::to_string(type) + "!"
                                   : "Writing to the " + name + " is not supported yet!");
        DestroyForm();
        prompts_.Messages.clear();
    }
    EXPECT_GE(refused, 6);  // at least every code above 6
}

TEST_F(WriteCheckTest, DisabledWriteDoesNothing) {
    Recorder();
    Config.LastFile = MakeFile("data.bin", 16);
    TFormMain& f = Form();  // not connected
    rec_->ClearLog();
    f.LastWriteOk = true;
    f.SpeedButtonWriteClick();
    EXPECT_FALSE(f.LastWriteOk);
    EXPECT_EQ(rec_->Log(), "");
    EXPECT_TRUE(prompts_.Messages.empty());
}

}  // namespace
}  // namespace kestrin::test
