#include "ui/HexGridView.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpressionValidator>

#include "ui/HexGridModel.h"

namespace kestrin {

namespace {

// The cell editor: a frameless line edit that asks the grid's typing rules
// about every character before taking it.
class THexCellEditor final : public QLineEdit {
public:
    THexCellEditor(QWidget* parent, const THexGridView* view, int column)
        : QLineEdit(parent), view_(view), column_(column) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        char32_t ch = 0;
        if (TypedCharacter(event, ch) && view_->OnKeyPress && !view_->OnKeyPress(column_, ch)) {
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }

private:
    const THexGridView* view_;
    int column_;
};

}  // namespace

bool TypedCharacter(const QKeyEvent* event, char32_t& ch) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        ch = 13;
        return true;
    }
    if (event->key() == Qt::Key_Backspace) {
        ch = 8;
        return true;
    }
    const QString text = event->text();
    if (text.isEmpty()) return false;
    const char32_t c = text.toUcs4().value(0);
    if (c >= 0x20 && c != 0x7F) {
        ch = c;
        return true;
    }
    return false;
}

THexGridView::THexGridView(QWidget* parent) : QTableView(parent) {
    setItemDelegate(new THexGridDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                    QAbstractItemView::EditKeyPressed);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setCornerButtonEnabled(false);
    // The arrows move between cells; Tab goes on to the next control, as in other hex editors.
    setTabKeyNavigation(false);

    QHeaderView* top = horizontalHeader();
    top->setMinimumSectionSize(0);
    top->setSectionResizeMode(QHeaderView::Fixed);
    top->setSectionsClickable(false);
    top->setHighlightSections(false);
    top->setFixedHeight(kGridRowHeight);

    QHeaderView* side = verticalHeader();
    side->setMinimumSectionSize(0);
    side->setDefaultSectionSize(kGridRowHeight);
    side->setSectionResizeMode(QHeaderView::Fixed);
    side->setSectionsClickable(false);
    side->setHighlightSections(false);
}

int THexGridView::ClientWidth() const { return viewport()->width() + viewportMargins().left(); }

void THexGridView::ApplyColumnWidths(const TGridWidths& w) {
    // Every section carries its one-pixel grid line on top of the column width.
    if (verticalHeader()->width() != w.Label + 1 || verticalHeader()->minimumWidth() != w.Label + 1) {
        verticalHeader()->setFixedWidth(w.Label + 1);
        updateGeometries();
    }
    const int columns = model() != nullptr ? model()->columnCount() : 0;
    for (int c = 0; c < columns; ++c) {
        const int grid = c + 1;
        const int width = (IsHexColumn(grid) ? w.Hex : IsCharColumn(grid) ? w.Char : w.Separator) + 1;
        if (columnWidth(c) != width) setColumnWidth(c, width);
    }
}

int THexGridView::Col() const {
    const QModelIndex i = currentIndex();
    return i.isValid() ? THexGridModel::GridColumn(i) : 0;
}

int THexGridView::Row() const {
    const QModelIndex i = currentIndex();
    return i.isValid() ? THexGridModel::GridRow(i) : 0;
}

void THexGridView::SetCell(int column, int row) {
    if (model() == nullptr) return;
    const QModelIndex i = model()->index(row - 1, column - 1);
    if (i.isValid()) setCurrentIndex(i);
}

QWidget* THexGridView::CellEditor() const {
    return state() == QAbstractItemView::EditingState ? indexWidget(currentIndex()) : nullptr;
}

void THexGridView::CloseCellEditor() {
    if (QWidget* editor = CellEditor()) closeEditor(editor, QAbstractItemDelegate::NoHint);
}

bool THexGridDelegate::eventFilter(QObject* editor, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            // A byte half typed is dropped, as with Esc; whole bytes are already taken.
            auto* widget = qobject_cast<QWidget*>(editor);
            if (widget != nullptr) emit closeEditor(widget, QAbstractItemDelegate::RevertModelCache);
            QKeyEvent tab(QEvent::KeyPress, key, static_cast<QKeyEvent*>(event)->modifiers());
            QCoreApplication::sendEvent(view_, &tab);
            return true;
        }
    }
    return QStyledItemDelegate::eventFilter(editor, event);
}

void THexGridView::keyPressEvent(QKeyEvent* event) {
    char32_t ch = 0;
    if (state() != QAbstractItemView::EditingState && TypedCharacter(event, ch) && OnKeyPress &&
        !OnKeyPress(Col(), ch)) {
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

bool THexGridView::viewportEvent(QEvent* event) {
    const bool handled = QTableView::viewportEvent(event);
    if (event->type() == QEvent::Resize && OnClientResize) OnClientResize();
    return handled;
}

THexGridDelegate::THexGridDelegate(THexGridView* view) : QStyledItemDelegate(view), view_(view) {}

QWidget* THexGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const {
    const int column = THexGridModel::GridColumn(index);
    const int row = THexGridModel::GridRow(index);
    auto* editor = new THexCellEditor(parent, view_, column);
    editor->setFrame(false);
    editor->setAlignment(Qt::AlignCenter);
    if (IsHexColumn(column)) {
        // Pasted text obeys the same rule as typed text.
        static const QRegularExpression kHex(QStringLiteral("[0-9A-Fa-f]*"));
        editor->setValidator(new QRegularExpressionValidator(kHex, editor));
    }
    THexGridView* view = view_;
    QObject::connect(editor, &QLineEdit::textEdited, editor, [view, column, row](const QString& text) {
        if (view->OnSetEditText) view->OnSetEditText(column, row, text);
    });
    return editor;
}

void THexGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    // A lean painter: a full view repaints about a thousand of these cells, and
    // they need nothing but the selection, the text centred in the whole cell
    // (the narrow character cells have no room for margins) and the focus frame.
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const QPalette::ColorGroup group = (option.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
    if (selected) painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
    const QString text = index.data(Qt::DisplayRole).toString();
    if (!text.isEmpty()) {
        painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(option.rect, Qt::AlignCenter, text);
    }
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.backgroundColor = option.palette.color(group, selected ? QPalette::Highlight : QPalette::Base);
        const QWidget* widget = option.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
}

}  // namespace kestrin
