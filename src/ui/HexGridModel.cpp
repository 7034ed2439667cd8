#include "ui/HexGridModel.h"

#include "ui/HexDump.h"

namespace kestrin {

namespace {

constexpr int kModelColumns = kGridColumns - 1;

// Header texts "0".."F" over both halves, nothing over the separator.
QString ColumnHeader(int column) {
    if (IsHexColumn(column)) return QString::number(column - kFirstHexColumn, 16).toUpper();
    if (IsCharColumn(column)) return QString::number(column - kFirstCharColumn, 16).toUpper();
    return {};
}

}  // namespace

THexGridModel::THexGridModel(const uint8_t* buffer, QObject* parent) : QAbstractTableModel(parent), buffer_(buffer) {}

void THexGridModel::ShowSize(int32_t size, int addressDigits) {
    beginResetModel();
    shownSize_ = size;
    addressDigits_ = addressDigits;
    rows_ = GridDataRows(size);
    typedBeyond_.fill(false);
    endResetModel();
}

bool THexGridModel::IsShown(int32_t offset) const {
    if (offset < shownSize_) return true;
    const int32_t lastRowStart = (rows_ - 1) * 16;
    return offset >= lastRowStart && offset < rows_ * 16 && typedBeyond_[static_cast<size_t>(offset - lastRowStart)];
}

void THexGridModel::ByteChanged(int32_t offset) {
    if (offset < 0 || offset >= rows_ * 16) return;
    if (offset >= shownSize_) typedBeyond_[static_cast<size_t>(offset - (rows_ - 1) * 16)] = true;
    const int row = RowOf(offset);
    const QModelIndex hex = CellIndex(HexColumnOf(offset), row);
    const QModelIndex chr = CellIndex(CharColumnOf(offset), row);
    emit dataChanged(hex, hex, {Qt::DisplayRole, Qt::EditRole});
    emit dataChanged(chr, chr, {Qt::DisplayRole, Qt::EditRole});
}

int THexGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int THexGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kModelColumns; }

QVariant THexGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    const int column = GridColumn(index);
    const int32_t offset = CellOffset(column, GridRow(index));
    if (offset < 0 || !IsShown(offset)) return QString();
    const uint8_t value = buffer_[offset];
    if (IsHexColumn(column)) {
        static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
        const QChar text[2] = {QChar(kDigits[value >> 4]), QChar(kDigits[value & 0x0F])};
        return QString(text, 2);
    }
    // The byte as the character of that code; a control or other unprintable
    // code shows as "." in the view, and the editor still gets the byte itself.
    const QChar ch(value);
    if (role == Qt::DisplayRole && !ch.isPrint()) return QStringLiteral(".");
    return QString(ch);
}

QVariant THexGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return ColumnHeader(section + 1);
    if (shownSize_ <= 0) return QString();
    return QString::fromStdString(RowLabel(section + 1, addressDigits_));
}

Qt::ItemFlags THexGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (GridColumn(index) != kSeparatorColumn) f |= Qt::ItemIsEditable;
    return f;
}

}  // namespace kestrin
