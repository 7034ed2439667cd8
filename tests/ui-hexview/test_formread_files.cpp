// The hex view's Load File and Save File.
#include <filesystem>

#include "FormReadFixture.h"
#include "files/FileResult.h"
#include "files/IntelHex.h"
#include "ui/HexDump.h"

namespace kestrin::test {
namespace {

using FormReadFiles = FormReadTest;

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(FormReadFiles, ASmallerFileLeavesTheRestOfTheBuffer) {
    const std::vector<uint8_t> big = Pattern(1000, 0x10);
    const std::vector<uint8_t> small = Pattern(100, 0x80);
    Load(WriteFile("big.bin", big));
    ASSERT_EQ(form->Params.Size, 1000);
    Load(WriteFile("small.bin", small));
    ASSERT_EQ(form->Params.Size, 100);
    EXPECT_EQ(DataRows(), 7);
    EXPECT_FALSE(form->DataModified);
    EXPECT_EQ(form->StatusText(1), QString::fromStdString(Path("small.bin")));

    EnterSize("3E8");
    for (int32_t offset : {0, 99}) EXPECT_EQ(form->Buffer[static_cast<size_t>(offset)], small[static_cast<size_t>(offset)]);
    for (int32_t offset : {100, 101, 500, 999}) {
        EXPECT_EQ(form->Buffer[static_cast<size_t>(offset)], big[static_cast<size_t>(offset)]) << offset;
        EXPECT_EQ(Cell(HexColumnOf(offset), RowOf(offset)),
                  QString::fromStdString(ByteHex(big[static_cast<size_t>(offset)])));
    }
    EXPECT_TRUE(prompts.Messages.empty());
}

TEST_F(FormReadFiles, AnOversizedFileIsCutWithAWarning) {
    const std::vector<uint8_t> bytes = Pattern(70000, 0x33);
    const std::string path = WriteFile("large.bin", bytes);
    Load(path);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0].Text, "Data exceeds maximum size and will be cut!");
    EXPECT_EQ(prompts.Messages[0].Buttons, TMsgButtons::Ok);
    EXPECT_EQ(form->Params.Size, 0x10000);
    EXPECT_EQ(DataRows(), 4096);
    EXPECT_EQ(form->EditSize->text(), "10000");
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 0x10000, form->Buffer.begin()));
    EXPECT_EQ(form->Buffer[0x10000], 0xFF);  // nothing beyond the block
    EXPECT_EQ(form->StatusText(1), QString::fromStdString(path));
}

TEST_F(FormReadFiles, UnreadableFilesChangeNothing) {
    Load(WriteFile("first.bin", Pattern(64, 1)));
    const std::vector<uint8_t> before = form->Buffer;
    form->DataModified = true;
    struct Case {
        const char* what;
        std::string path;
        int entry;
    };
    std::ofstream(Path("bad.hex")) << ":0300000002003AC0\n";  // checksum wrong
    const std::vector<Case> cases = {
        {"missing file", Path("missing.bin"), 1},
        {"empty file", WriteFile("empty.bin", {}), 1},
        {"bad checksum", Path("bad.hex"), HexFilterIndex},
        {"binary data under the Intel HEX entry", WriteFile("data.bin", Pattern(10, 0)), HexFilterIndex},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        prompts.Messages.clear();
        Load(c.path, c.entry);
        ASSERT_EQ(prompts.Messages.size(), 1u);
        EXPECT_EQ(prompts.Messages[0].Text, "Error reading file!");
        EXPECT_EQ(prompts.Messages[0].Kind, TMsgKind::Error);
        EXPECT_EQ(prompts.Messages[0].Buttons, TMsgButtons::Cancel);
        EXPECT_EQ(form->Params.Size, 64);
        EXPECT_EQ(form->Buffer, before);
        EXPECT_TRUE(form->DataModified);
    }
    // Cancelling the dialog does nothing either.
    prompts.Messages.clear();
    form->SpeedButtonLoadClick();
    EXPECT_TRUE(prompts.Messages.empty());
    EXPECT_EQ(form->Params.Size, 64);
}

TEST_F(FormReadFiles, LoadingIntelHexProposesTheSameFileAndTypeForSaving) {
    const std::vector<uint8_t> bytes = Pattern(40, 0x21);
    const std::string path = Path("data.hex");
    ASSERT_EQ(WriteIntelHexFile(path, bytes.data(), static_cast<int32_t>(bytes.size())), FileOk);
    Load(path, HexFilterIndex);
    ASSERT_EQ(prompts.OpenDialogs.size(), 1u);
    EXPECT_EQ(prompts.OpenDialogs[0].Title, "Choose file with data for programming");
    EXPECT_EQ(prompts.OpenDialogs[0].Filter, DataFileFilter);
    EXPECT_TRUE(prompts.OpenDialogs[0].MustExist);
    ASSERT_EQ(form->Params.Size, 40);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), form->Buffer.begin()));

    form->SpeedButtonSaveClick();  // cancelled by the script
    ASSERT_EQ(prompts.SaveDialogs.size(), 1u);
    EXPECT_EQ(prompts.SaveDialogs[0].Title, "Save data into file");
    EXPECT_EQ(prompts.SaveDialogs[0].FilterIndex, HexFilterIndex);
    EXPECT_EQ(prompts.SaveDialogs[0].FileName, path);
    // The open dialog remembers its own entry for the next load.
    form->SpeedButtonLoadClick();
    ASSERT_EQ(prompts.OpenDialogs.size(), 2u);
    EXPECT_EQ(prompts.OpenDialogs[1].FilterIndex, HexFilterIndex);
}

TEST_F(FormReadFiles, SavingAppendsAnExtensionOnlyToABareName) {
    const std::vector<uint8_t> bytes = Pattern(0x25, 0x40);
    Load(WriteFile("source.bin", bytes));
    struct Case {
        const char* chosen;
        int entry;
        const char* written;
        bool hex;
    };
    const std::vector<Case> cases = {
        {"dump", HexFilterIndex, "dump.hex", true},
        {"dump", 3, "dump.bin", false},
        {"dump", 1, "dump.bin", false},
        {"dump.dat", HexFilterIndex, "dump.dat", true},
        {"plain.dat", 3, "plain.dat", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.chosen) + " entry " + std::to_string(c.entry));
        std::filesystem::remove(Path(c.written));
        form->DataModified = true;
        prompts.SaveAnswers.push_back({Path(c.chosen), c.entry});
        form->SpeedButtonSaveClick();
        ASSERT_TRUE(std::filesystem::exists(Path(c.written)));
        if (std::string(c.chosen) != c.written) {
            EXPECT_FALSE(std::filesystem::exists(Path(c.chosen)));
        }
        std::vector<uint8_t> image;
        int32_t size = 0;
        if (c.hex) {
            ASSERT_EQ(ReadIntelHexFile(Path(c.written), image, size), FileOk);
            image.resize(static_cast<size_t>(size));
        } else {
            image = FileBytes(Path(c.written));
        }
        EXPECT_EQ(image, bytes);
        EXPECT_FALSE(form->DataModified);
        EXPECT_FALSE(form->SpeedButtonSave->isEnabled());
        form->RefreshView();
        EXPECT_EQ(form->StatusText(1), QString::fromStdString(Path(c.written)));
    }
    EXPECT_TRUE(prompts.Messages.empty());
}

TEST_F(FormReadFiles, AFailedSaveKeepsTheDataModified) {
    Load(WriteFile("source.bin", Pattern(16, 0)));
    form->StringGrid1->SetCell(1, 1);
    Type("77");
    ASSERT_TRUE(form->DataModified);
    prompts.SaveAnswers.push_back({Path("no/such/folder/dump.bin"), 1});
    form->SpeedButtonSaveClick();
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0].Text, "Error saving data into file!");
    EXPECT_EQ(prompts.Messages[0].Buttons, TMsgButtons::Ok);
    EXPECT_TRUE(form->DataModified);
    EXPECT_TRUE(form->SpeedButtonSave->isEnabled());
}

}  // namespace
}  // namespace kestrin::test
