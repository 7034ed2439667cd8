// The hex view's grid widget: a table view whose header row and row-label
// column are the view's own headers, a cell editor that takes only the
// characters the window allows, and a plain painter for the small cells.
#pragma once

#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>

#include "ui/HexDump.h"

namespace kestrin {

class THexGridModel;

class THexGridView final : public QTableView {
public:
    explicit THexGridView(QWidget* parent = nullptr);

    // Asked for every character typed into the grid or its cell editor
    // (column in grid coordinates); false discards the character.
    std::function<bool(int column, char32_t ch)> OnKeyPress;
    // Called whenever the user changes the text in the cell editor.
    std::function<void(int column, int row, const QString& text)> OnSetEditText;
    // Called when the space for the columns changed (the view was resized or
    // its scroll bar came or went).
    std::function<void()> OnClientResize;

    // The grid's client width: the label column plus the cell area.
    int ClientWidth() const;
    void ApplyColumnWidths(const TGridWidths& widths);

    // Current cell in grid coordinates (column 1..33, row 1..), 0 when none.
    int Col() const;
    int Row() const;
    void SetCell(int column, int row);

    // Closes the open cell editor without taking its text.
    void CloseCellEditor();
    // The open cell editor, or nullptr.
    QWidget* CellEditor() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
};

// Creates the cell editors and paints the cells.
class THexGridDelegate final : public QStyledItemDelegate {
public:
    explicit THexGridDelegate(THexGridView* view);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Edits reach the buffer through the window's cell commit only.
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    // Tab in an open cell editor leaves the grid too, instead of opening the next cell.
    bool eventFilter(QObject* editor, QEvent* event) override;

private:
    THexGridView* view_;
};

// Whether a key event carries a typed character that the typing rules judge
// (printable characters, Backspace and Enter); sets `ch` to it.
bool TypedCharacter(const QKeyEvent* event, char32_t& ch);

}  // namespace kestrin
