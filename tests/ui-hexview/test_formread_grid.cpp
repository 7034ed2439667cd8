// The hex view's grid and size controls: layout per size, typing into cells,
// the size edit, the spin buttons, Clear and the column layout.
#include <QHeaderView>
#include <QSignalSpy>
#include <algorithm>

#include "FormReadFixture.h"
#include "ui/HexDump.h"

namespace kestrin::test {
namespace {

using FormReadGrid = FormReadTest;

TEST_F(FormReadGrid, LayoutFollowsTheSize) {
    struct Case {
        const char* size;
        int rows;
        const char* firstLabel;
        const char* lastLabel;
        const char* editText;
        int bytesOnLastRow;
    };
    const std::vector<Case> cases = {
        {"0", 1, "", "", "0000", 0},
        {"11", 2, "000x", "001x", "0011", 1},
        {"10", 1, "000x", "000x", "0010", 16},
        {"10000", 4096, "000x", "FFFx", "10000", 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        Connected = true;
        EnterSize(c.size);
        ASSERT_EQ(DataRows(), c.rows);
        EXPECT_EQ(Cell(0, 1), c.firstLabel);
        EXPECT_EQ(Cell(0, c.rows), c.lastLabel);
        EXPECT_EQ(form->EditSize->text(), c.editText);
        for (int i = 0; i < 16; ++i) {
            const bool shown = i < c.bytesOnLastRow;
            EXPECT_EQ(Cell(kFirstHexColumn + i, c.rows), shown ? "FF" : "") << "column " << i;
            EXPECT_EQ(Cell(kFirstCharColumn + i, c.rows), shown ? QString(QChar(0xFF)) : "") << "column " << i;
        }
        EXPECT_EQ(Cell(kSeparatorColumn, 1), "");
        const bool data = c.rows > 1 || c.bytesOnLastRow > 0;
        EXPECT_EQ(form->SpeedButtonClear->isEnabled(), data);
        EXPECT_EQ(form->SpeedButtonWrite->isEnabled(), data);
        EXPECT_EQ(form->SpeedButtonRead->isEnabled(), data);
        EXPECT_EQ(form->SpeedButtonSave->isEnabled(), data);  // Enter in the size edit modifies
        EXPECT_TRUE(form->SpeedButtonLoad->isEnabled());
        EXPECT_TRUE(form->SpeedButtonExit->isEnabled());
    }
}

TEST_F(FormReadGrid, HeadersAndTheEmptyWindow) {
    for (int i = 0; i < 16; ++i) {
        const QString digit = QString::number(i, 16).toUpper();
        EXPECT_EQ(Cell(kFirstHexColumn + i, 0), digit);
        EXPECT_EQ(Cell(kFirstCharColumn + i, 0), digit);
    }
    EXPECT_EQ(Cell(kSeparatorColumn, 0), "");
    EXPECT_EQ(form->GridModel->columnCount() + 1, kGridColumns);
    // A new window opens with the chosen memory's size (the AT89S8252's 8 KB
    // Flash), so Read µC works at once; nothing to save; panel 5 empty.
    EXPECT_EQ(DataRows(), 0x2000 / 16);
    EXPECT_EQ(Cell(0, 1), "000x");
    EXPECT_EQ(form->EditSize->text(), "2000");
    EXPECT_TRUE(form->SpeedButtonClear->isEnabled());
    EXPECT_FALSE(form->SpeedButtonWrite->isEnabled());
    EXPECT_FALSE(form->SpeedButtonRead->isEnabled());
    EXPECT_FALSE(form->SpeedButtonSave->isEnabled());
    EXPECT_EQ(form->StatusText(4), "--");
    EXPECT_EQ(form->StatusText(5), "");
    EXPECT_EQ(form->StatusText(2), QString::fromStdString(SelectedProfile().Name));
    EXPECT_EQ(std::count(form->Buffer.begin(), form->Buffer.end(), 0xFF), kHexBufferSize);
}

TEST_F(FormReadGrid, TwoHexDigitsStoreTheByteAndRedrawOnlyItsCells) {
    EnterSize("20");
    form->StringGrid1->SetCell(3, 1);
    QSignalSpy changed(form->GridModel, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(form->GridModel, &QAbstractItemModel::modelReset);
    Type("4");
    EXPECT_EQ(form->Buffer[2], 0xFF);  // one digit is not a byte yet
    Type("1");
    EXPECT_EQ(form->Buffer[2], 0x41);
    EXPECT_EQ(Cell(3, 1), "41");
    EXPECT_EQ(Cell(20, 1), "A");
    EXPECT_EQ(form->StringGrid1->Col(), 4);
    EXPECT_EQ(form->StringGrid1->Row(), 1);
    EXPECT_EQ(form->StringGrid1->CellEditor(), nullptr);
    EXPECT_TRUE(form->DataModified);
    EXPECT_TRUE(form->SpeedButtonSave->isEnabled());
    EXPECT_EQ(reset.count(), 0);
    ASSERT_EQ(changed.count(), 2);
    QList<QModelIndex> cells;
    for (const auto& args : changed) {
        EXPECT_EQ(args.at(0).toModelIndex(), args.at(1).toModelIndex());
        cells << args.at(0).toModelIndex();
    }
    EXPECT_TRUE(cells.contains(form->GridModel->CellIndex(3, 1)));
    EXPECT_TRUE(cells.contains(form->GridModel->CellIndex(20, 1)));
}

TEST_F(FormReadGrid, TypingMovesOnAndStopsOnTheLastRow) {
    struct Case {
        const char* what;
        int column, row;
        QString keys;
        int32_t offset;
        uint8_t value;
        int nextColumn, nextRow;
    };
    const std::vector<Case> cases = {
        {"hex, end of the first row", 16, 1, "12", 15, 0x12, 1, 2},
        {"hex, end of the last row", 16, 2, "34", 31, 0x34, 16, 2},
        {"lower-case hex digits", 5, 1, "ab", 4, 0xAB, 6, 1},
        {"character", 18, 1, "z", 0, 'z', 19, 1},
        {"character, end of the first row", 33, 1, "Q", 15, 'Q', 18, 2},
        {"character, end of the last row", 33, 2, "#", 31, '#', 33, 2},
    };
    EnterSize("20");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        form->StringGrid1->SetCell(c.column, c.row);
        Type(c.keys);
        EXPECT_EQ(form->Buffer[static_cast<size_t>(c.offset)], c.value);
        EXPECT_EQ(Cell(HexColumnOf(c.offset), RowOf(c.offset)), QString::fromStdString(ByteHex(c.value)));
        EXPECT_EQ(form->StringGrid1->Col(), c.nextColumn);
        EXPECT_EQ(form->StringGrid1->Row(), c.nextRow);
    }
}

TEST_F(FormReadGrid, RefusedCharactersChangeNothing) {
    EnterSize("20");
    form->DataModified = false;
    const std::vector<uint8_t> before = form->Buffer;
    struct Case {
        int column;
        QString keys;
    };
    const std::vector<Case> cases = {{3, "Z"}, {3, "g "}, {kSeparatorColumn, "A1 z"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys.toStdString());
        form->StringGrid1->SetCell(c.column, 1);
        Type(c.keys);
        EXPECT_EQ(form->StringGrid1->CellEditor(), nullptr);
        EXPECT_EQ(form->StringGrid1->Col(), c.column);
    }
    form->StringGrid1->SetCell(kSeparatorColumn, 1);
    Key(Qt::Key_Return);
    EXPECT_EQ(form->StringGrid1->Col(), kSeparatorColumn);
    EXPECT_EQ(form->StringGrid1->Row(), 1);
    EXPECT_EQ(Cell(kSeparatorColumn, 1), "");
    EXPECT_EQ(form->Buffer, before);
    EXPECT_FALSE(form->DataModified);
}

TEST_F(FormReadGrid, AHalfTypedByteIsDroppedWhenTheEditorCloses) {
    EnterSize("20");
    form->DataModified = false;
    form->StringGrid1->SetCell(7, 1);
    Type("4");
    ASSERT_NE(form->StringGrid1->CellEditor(), nullptr);
    Key(Qt::Key_Escape);
    EXPECT_EQ(form->StringGrid1->CellEditor(), nullptr);
    EXPECT_EQ(form->Buffer[6], 0xFF);
    EXPECT_EQ(Cell(7, 1), "FF");
    EXPECT_FALSE(form->DataModified);
}

TEST_F(FormReadGrid, BytesTypedBeyondTheSizeAreKeptButHiddenAtTheNextRefresh) {
    EnterSize("11");
    form->StringGrid1->SetCell(4, 2);  // offset 0x13
    Type("5A");
    EXPECT_EQ(form->Buffer[0x13], 0x5A);
    EXPECT_EQ(Cell(4, 2), "5A");
    EXPECT_EQ(Cell(21, 2), "Z");
    EXPECT_EQ(form->Params.Size, 0x11);
    form->RefreshView();
    EXPECT_EQ(Cell(4, 2), "");
    EnterSize("14");
    EXPECT_EQ(Cell(4, 2), "5A");
}

TEST_F(FormReadGrid, SizeEditTakesHexDigitsEnterAndLeaving) {
    EnterSize("1FFFF");
    EXPECT_EQ(form->Params.Size, 0x10000);
    EXPECT_EQ(form->EditSize->text(), "10000");
    EXPECT_EQ(DataRows(), 4096);
    EXPECT_TRUE(form->DataModified);

    // Letters other than hex digits are not taken.
    form->EditSize->clear();
    QTest::keyClicks(form->EditSize, "x1g2");
    EXPECT_EQ(form->EditSize->text(), "12");

    // Leaving the edit sets the size and shows it, without a refresh.
    form->DataModified = false;
    form->EditSizeExit();
    EXPECT_EQ(form->EditSize->text(), "0012");
    EXPECT_EQ(form->Params.Size, 0x12);
    EXPECT_EQ(DataRows(), 4096);
    EXPECT_FALSE(form->DataModified);
    form->RefreshView();
    EXPECT_EQ(DataRows(), 2);
}

TEST_F(FormReadGrid, LeavingTheSizeEditForTheGridSetsTheSize) {
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    const int rows = DataRows();
    form->EditSize->setFocus();
    form->EditSize->clear();
    QTest::keyClicks(form->EditSize, "12");
    form->StringGrid1->setFocus();
    EXPECT_EQ(form->EditSize->text(), "0012");
    EXPECT_EQ(form->Params.Size, 0x12);
    EXPECT_EQ(DataRows(), rows);  // the grid follows at the next refresh
}

TEST_F(FormReadGrid, SpinButtonsStepWithinTheBlock) {
    struct Step {
        const char* typed;
        int tag;
        bool up;
        int32_t expected;
    };
    const std::vector<Step> steps = {
        {"F001", 3, true, 0xF001}, {"0005", 1, false, 0x0005}, {"0005", 0, false, 0x0004},
        {"1FFFF", 0, false, 0xFFFF}, {"0000", 2, true, 0x0100},  {"F000", 3, true, 0x10000},
    };
    TSpinButton* buttons[4] = {form->SpinButtonSize1, form->SpinButtonSize2, form->SpinButtonSize3,
                               form->SpinButtonSize4};
    for (const auto& s : steps) {
        SCOPED_TRACE(std::string(s.typed) + (s.up ? " up" : " down") + " tag " + std::to_string(s.tag));
        form->EditSize->setText(s.typed);
        form->DataModified = false;
        TSpinButton* spin = buttons[s.tag];
        QTest::mouseClick(s.up ? spin->UpButton : spin->DownButton, Qt::LeftButton);
        EXPECT_EQ(form->Params.Size, s.expected);
        EXPECT_EQ(form->EditSize->text(), QString::fromStdString(SizeText(s.expected)));
        EXPECT_EQ(DataRows(), GridDataRows(s.expected));
        EXPECT_TRUE(form->DataModified);
    }
    for (TSpinButton* spin : buttons) {
        for (QToolButton* b : {spin->UpButton, spin->DownButton}) {
            EXPECT_EQ(b->focusPolicy(), Qt::NoFocus);
            EXPECT_TRUE(b->autoRepeat());
            EXPECT_EQ(b->autoRepeatDelay(), 400);
            EXPECT_EQ(b->autoRepeatInterval(), 100);
        }
    }
}

TEST_F(FormReadGrid, ClearKeepsTheSizeAndFillsFF) {
    EnterSize("30");
    form->StringGrid1->SetCell(1, 1);
    Type("0011");
    ASSERT_EQ(form->Buffer[0], 0x00);
    form->Buffer[0x20000 - 1] = 0x12;
    QTest::mouseClick(form->SpeedButtonClear, Qt::LeftButton);
    EXPECT_EQ(form->Params.Size, 0x30);
    EXPECT_EQ(DataRows(), 3);
    EXPECT_FALSE(form->DataModified);
    EXPECT_FALSE(form->SpeedButtonSave->isEnabled());
    for (int32_t offset = 0; offset < 0x30; ++offset)
        EXPECT_EQ(Cell(HexColumnOf(offset), RowOf(offset)), "FF") << offset;
    EXPECT_EQ(std::count(form->Buffer.begin(), form->Buffer.end(), 0xFF), kHexBufferSize);
}

TEST_F(FormReadGrid, ColumnsFillTheGridAtEveryWidth) {
    for (int width : {600, 800, 1234}) {
        SCOPED_TRACE(width);
        form->resize(width, 400);
        QCoreApplication::processEvents();
        THexGridView* grid = form->StringGrid1;
        const TGridWidths w = GridColumnWidths(grid->ClientWidth());
        int sum = grid->verticalHeader()->width();
        for (int c = 0; c < form->GridModel->columnCount(); ++c) sum += grid->columnWidth(c);
        EXPECT_EQ(sum, grid->ClientWidth());
        EXPECT_EQ(grid->verticalHeader()->width(), w.Label + 1);
        EXPECT_EQ(grid->columnWidth(0), w.Hex + 1);
        EXPECT_EQ(grid->columnWidth(kFirstCharColumn - 1), w.Char + 1);
        EXPECT_EQ(form->SpeedButtonClear->x(), 120);
        EXPECT_EQ(form->SpeedButtonExit->geometry().right() + 1, form->Panel1->width());
        EXPECT_EQ(form->SpeedButtonLoad->width(), form->SpeedButtonClear->width());
    }
}

TEST_F(FormReadGrid, ClosingStoresPositionAndSize) {
    form->resize(700, 333);
    form->move(40, 50);
    QCoreApplication::processEvents();
    QTest::mouseClick(form->SpeedButtonExit, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(Config.ExtDlgW, 700);
    EXPECT_EQ(Config.ExtDlgH, 333);
    EXPECT_EQ(Config.ExtDlgX, form->x());
    EXPECT_EQ(Config.ExtDlgY, form->y());

    Config.ExtDlgW = 640;
    Config.ExtDlgH = 250;
    TFormRead second;
    EXPECT_EQ(second.width(), 640);
    EXPECT_EQ(second.height(), 250);
    EXPECT_EQ(second.windowTitle(), QString::fromUtf8("Read/Write µC"));
}

}  // namespace
}  // namespace kestrin::test
