// The hex view's grid as a table model over the window's byte buffer. Nothing
// is stored per cell: every text is made from the buffer when the view asks,
// so a refresh costs the same for 16 bytes as for 64 KB.
//
// Model coordinates are the grid's without its fixed header row and label
// column: model row = grid row - 1, model column = grid column - 1. The header
// row and the row labels are the view's header sections.
#pragma once

#include <QAbstractTableModel>
#include <array>
#include <cstdint>

namespace kestrin {

class THexGridModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    // `buffer` must hold at least 16 bytes beyond the largest size shown and outlive the model.
    THexGridModel(const uint8_t* buffer, QObject* parent = nullptr);

    // Shows `size` bytes: rebuilds the rows, labels and cells in one go; the
    // row labels get `addressDigits` hex digits.
    void ShowSize(int32_t size, int addressDigits = 4);
    int32_t ShownSize() const { return shownSize_; }

    // The byte at `offset` was changed in the buffer: redraws its hex and
    // character cell only. A byte typed into the empty cells beyond the size is
    // shown until the next ShowSize.
    void ByteChanged(int32_t offset);

    QModelIndex CellIndex(int column, int row) const { return index(row - 1, column - 1); }
    static int GridColumn(const QModelIndex& index) { return index.column() + 1; }
    static int GridRow(const QModelIndex& index) { return index.row() + 1; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    bool IsShown(int32_t offset) const;

    const uint8_t* buffer_;
    int32_t shownSize_ = 0;
    int32_t rows_ = 1;
    int addressDigits_ = 4;
    // Offsets of the last row at or beyond the size that were typed into.
    std::array<bool, 16> typedBeyond_{};
};

}  // namespace kestrin
