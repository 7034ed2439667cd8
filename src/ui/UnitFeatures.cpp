#include "ui/UnitFeatures.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "config/Prompts.h"
#include "config/UnitConfig.h"
#include "ui/Glyphs.h"

namespace kestrin {

TFormFeatures* FormFeatures = nullptr;

namespace {

// The window's outer size, frame included, when the fonts leave room for it.
constexpr QSize kOuterSize{193, 178};

// Grid column of a bit column: the leftmost shows the highest bit.
constexpr int kBitColumns = 4;
int ColumnOf(int bitColumn) { return kBitColumns - bitColumn; }

const char* const kSerialOffQuestion =
    "Fuse1 set switches the chip's serial programming off: afterwards only a parallel programmer "
    "can reach it. Write anyway?";

QString BitText(uint8_t value, int bit) { return (value >> bit) & 1 ? QStringLiteral("1") : QStringLiteral("0"); }

QString Hex(uint8_t value) { return QStringLiteral("%1h").arg(QString::number(value, 16).toUpper().rightJustified(2, QLatin1Char('0'))); }

QString Binary(uint8_t value, int bits) { return QStringLiteral("%1").arg(value, bits, 2, QLatin1Char('0')); }

// Keeps the wait cursor up while the chip is being talked to.
class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

QString ReadText(TFuseRead result) {
    switch (result) {
        case TFuseRead::Read: return QStringLiteral("Bits read from the chip.");
        case TFuseRead::NotConnected: return QStringLiteral("Not connected: bits not read, all start at 0.");
        case TFuseRead::NoAnswer: return QStringLiteral("No answer from the chip: all bits start at 0.");
        case TFuseRead::NoWriter: break;
    }
    return QStringLiteral("No fuse or lock bits to write for this controller.");
}

QString WriteText(TFuseWrite result, uint8_t type, const TFuseBits& chip) {
    switch (result) {
        case TFuseWrite::Written: return QStringLiteral("Written and read back.");
        case TFuseWrite::NoAnswer: return QStringLiteral("No answer from the chip.");
        case TFuseWrite::NoWriter: return QStringLiteral("No fuse or lock bits to write for this controller.");
        case TFuseWrite::Differs: break;
    }
    if (type == ctAT89S8253)
        return QStringLiteral("The chip reads back Fuse %1, Lock Bit %2.")
            .arg(Binary(chip.UserFuses & 0x0F, 4), Binary(chip.LockBits & 0x07, 3));
    return QStringLiteral("The chip reads back low %1, high %2.").arg(Hex(chip.FuseLow), Hex(chip.FuseHigh));
}

QLabel* NewLabel(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

// A fuse name in bold over its meaning.
QLabel* NameLabel(const QString& text, const char* name, QWidget* parent) {
    QLabel* label = NewLabel(text, name, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLabel* HeadingLabel(const QString& text, const char* name, QWidget* parent) {
    QLabel* label = NewLabel(text, name, parent);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QCheckBox* BitBox(const char* name, QWidget* parent) {
    auto* box = new QCheckBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QFrame* NewPanel(const char* name, QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    return panel;
}

// Column headings in the first grid row, the first heading over bit column 0.
void AddHeadings(QGridLayout* grid, const std::array<QLabel*, 4>& headings) {
    for (int i = 0; i < kBitColumns; ++i) grid->addWidget(headings[static_cast<size_t>(i)], 0, ColumnOf(i));
}

QGridLayout* PanelGrid(QFrame* panel) {
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(0);
    grid->setColumnStretch(0, 1);
    return grid;
}

}  // namespace

// ---- TBitEdit ----

TBitEdit::TBitEdit(const QString& name, QWidget* parent) : QLineEdit(name, parent) {
    setObjectName(name);
    setReadOnly(true);
    setAlignment(Qt::AlignCenter);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setToolTip(name);
    // Room for one digit, not for the widest character of the font.
    setTextMargins(0, 0, 0, 0);
    setFixedWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')) + 10);
}

// A bit has nothing to select: the box shows focus by its frame alone.
void TBitEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    deselect();
}

void TBitEdit::mousePressEvent(QMouseEvent* event) {
    QLineEdit::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) emit Toggle();
}

// The second click of a double click is a click too: two clicks, two toggles.
void TBitEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit Toggle();
}

void TBitEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        emit Toggle();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

// ---- TFormFeatures ----

TFormFeatures::TFormFeatures(QWidget* parent) : QDialog(parent) { FormCreate(); }

QFrame* TFormFeatures::CreatePanel1() {
    QFrame* panel = NewPanel("Panel1", this);
    QGridLayout* grid = PanelGrid(panel);
    Label7 = HeadingLabel(QStringLiteral("0"), "Label7", panel);
    Label8 = HeadingLabel(QStringLiteral("1"), "Label8", panel);
    Label9 = HeadingLabel(QStringLiteral("2"), "Label9", panel);
    Label10 = HeadingLabel(QStringLiteral("3"), "Label10", panel);
    AddHeadings(grid, {Label7, Label8, Label9, Label10});

    Label1 = NameLabel(QStringLiteral("CKOPT"), "Label1", panel);
    Label2 = NewLabel(QStringLiteral("clock option"), "Label2", panel);
    Label3 = NameLabel(QStringLiteral("CKSEL"), "Label3", panel);
    Label4 = NewLabel(QStringLiteral("clock selection"), "Label4", panel);
    Label5 = NameLabel(QStringLiteral("SUT"), "Label5", panel);
    Label6 = NewLabel(QStringLiteral("startup time"), "Label6", panel);
    CKOPT = new TBitEdit(QStringLiteral("CKOPT"), panel);
    CKSEL0 = new TBitEdit(QStringLiteral("CKSEL0"), panel);
    CKSEL1 = new TBitEdit(QStringLiteral("CKSEL1"), panel);
    CKSEL2 = new TBitEdit(QStringLiteral("CKSEL2"), panel);
    CKSEL3 = new TBitEdit(QStringLiteral("CKSEL3"), panel);
    SUT0 = new TBitEdit(QStringLiteral("SUT0"), panel);
    SUT1 = new TBitEdit(QStringLiteral("SUT1"), panel);
    fuseLowEdits_ = {CKSEL0, CKSEL1, CKSEL2, CKSEL3, SUT0, SUT1};

    // Each fuse takes two grid rows: its name over its meaning, its bits beside both.
    const struct {
        QLabel* name;
        QLabel* meaning;
        std::vector<TBitEdit*> bits;  // bit column 0 first
    } rows[] = {
        {Label1, Label2, {CKOPT}},
        {Label3, Label4, {CKSEL0, CKSEL1, CKSEL2, CKSEL3}},
        {Label5, Label6, {SUT0, SUT1}},
    };
    int row = 1;
    for (const auto& r : rows) {
        grid->addWidget(r.name, row, 0);
        grid->addWidget(r.meaning, row + 1, 0);
        for (size_t column = 0; column < r.bits.size(); ++column)
            grid->addWidget(r.bits[column], row, ColumnOf(static_cast<int>(column)), 2, 1, Qt::AlignCenter);
        row += 2;
    }

    connect(CKOPT, &TBitEdit::Toggle, this, &TFormFeatures::CKOPTToggle);
    for (size_t bit = 0; bit < fuseLowEdits_.size(); ++bit)
        connect(fuseLowEdits_[bit], &TBitEdit::Toggle, this, [this, bit] { FuseLowToggle(static_cast<int>(bit)); });
    return panel;
}

QFrame* TFormFeatures::CreatePanel2() {
    QFrame* panel = NewPanel("Panel2", this);
    QGridLayout* grid = PanelGrid(panel);
    grid->setVerticalSpacing(4);
    Label11 = HeadingLabel(QStringLiteral("1"), "Label11", panel);
    Label12 = HeadingLabel(QStringLiteral("2"), "Label12", panel);
    Label13 = HeadingLabel(QStringLiteral("3"), "Label13", panel);
    Label14 = HeadingLabel(QStringLiteral("4"), "Label14", panel);
    Label15 = NameLabel(QStringLiteral("Fuse"), "Label15", panel);
    Label16 = NameLabel(QStringLiteral("Lock Bit"), "Label16", panel);
    CheckBoxFuse1 = BitBox("CheckBoxFuse1", panel);
    CheckBoxFuse2 = BitBox("CheckBoxFuse2", panel);
    CheckBoxFuse3 = BitBox("CheckBoxFuse3", panel);
    CheckBoxFuse4 = BitBox("CheckBoxFuse4", panel);
    CheckBoxLock1 = BitBox("CheckBoxLock1", panel);
    CheckBoxLock2 = BitBox("CheckBoxLock2", panel);
    CheckBoxLock3 = BitBox("CheckBoxLock3", panel);
    fuseBoxes_ = {CheckBoxFuse1, CheckBoxFuse2, CheckBoxFuse3, CheckBoxFuse4};
    lockBoxes_ = {CheckBoxLock1, CheckBoxLock2, CheckBoxLock3};
    // A ticked box writes 1, the chip's unprogrammed state.
    CheckBoxFuse1->setToolTip(QStringLiteral("Fuse1, serial programming: ticked switches it off for good "
                                             "(only a parallel programmer switches it on again)"));
    CheckBoxFuse2->setToolTip(QStringLiteral("Fuse2, x2 clock: ticked is off"));
    CheckBoxFuse3->setToolTip(QStringLiteral("Fuse3, user row programming: ticked is off"));
    CheckBoxFuse4->setToolTip(QStringLiteral("Fuse4, external clock: ticked is off (crystal oscillator)"));
    for (size_t i = 0; i < lockBoxes_.size(); ++i)
        lockBoxes_[i]->setToolTip(QStringLiteral("Lock bit %1: ticked is not programmed; "
                                                 "only a chip erase clears a programmed lock bit")
                                      .arg(i + 1));

    AddHeadings(grid, {Label11, Label12, Label13, Label14});
    grid->addWidget(Label15, 1, 0);
    grid->addWidget(Label16, 2, 0);
    for (size_t i = 0; i < fuseBoxes_.size(); ++i)
        grid->addWidget(fuseBoxes_[i], 1, ColumnOf(static_cast<int>(i)), Qt::AlignCenter);
    for (size_t i = 0; i < lockBoxes_.size(); ++i)
        grid->addWidget(lockBoxes_[i], 2, ColumnOf(static_cast<int>(i)), Qt::AlignCenter);
    grid->setRowStretch(3, 1);
    return panel;
}

void TFormFeatures::FormCreate() {
    setObjectName(QStringLiteral("FormFeatures"));
    setWindowTitle(QStringLiteral("Features"));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->setSpacing(4);

    // Panel2 lies on Panel1's place; the type decides which of the two shows.
    auto* panels = new QWidget(this);
    auto* stack = new QGridLayout(panels);
    stack->setContentsMargins(0, 0, 0, 0);
    Panel1 = CreatePanel1();
    Panel2 = CreatePanel2();
    stack->addWidget(Panel1, 0, 0);
    stack->addWidget(Panel2, 0, 0);
    panels->setMinimumSize(Panel1->minimumSizeHint().expandedTo(Panel2->minimumSizeHint()));
    Panel1->hide();
    outer->addWidget(panels, 1);

    LabelStatus = NewLabel(QString(), "LabelStatus", this);
    LabelStatus->setWordWrap(true);
    LabelStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelStatus->setMinimumHeight(2 * LabelStatus->fontMetrics().lineSpacing());
    outer->addWidget(LabelStatus);

    auto* buttons = new QHBoxLayout;
    BitBtnWrite = new QPushButton(Glyph(QString::fromLatin1(glyph::Write)), QStringLiteral("&Write"), this);
    BitBtnWrite->setObjectName(QStringLiteral("BitBtnWrite"));
    BitBtnWrite->setAutoDefault(false);
    BitBtn2 = new QPushButton(Glyph(QString::fromLatin1(glyph::Exit)), QStringLiteral("&Close"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setAutoDefault(false);
    buttons->addWidget(BitBtnWrite);
    buttons->addWidget(BitBtn2);
    outer->addLayout(buttons);

    connect(BitBtnWrite, &QPushButton::clicked, this, &TFormFeatures::BitBtnWriteClick);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    FitOuterSize();
}

// The outer size the window is meant to have, unless the fonts need more room.
void TFormFeatures::FitOuterSize() {
    const QSize frame = isVisible() ? frameGeometry().size() - geometry().size() : QSize(0, 0);
    layout()->activate();
    QSize need = layout()->totalMinimumSize();
    if (layout()->hasHeightForWidth()) need.setHeight(std::max(need.height(), layout()->totalHeightForWidth(need.width())));
    const QSize client = (kOuterSize - frame).expandedTo(need);
    if (client != size() || minimumSize() != maximumSize()) setFixedSize(client);
}

void TFormFeatures::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FitOuterSize();
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - frameGeometry().center() + pos());
}

TLineLevels TFormFeatures::Levels() const { return TLineLevels{SCK, MISO, MOSI}; }

TFuseBits TFormFeatures::Bits() const {
    TFuseBits bits;
    bits.FuseLow = FuseLow;
    bits.FuseHigh = FuseHigh;
    for (size_t i = 0; i < fuseBoxes_.size(); ++i)
        if (fuseBoxes_[i]->isChecked()) bits.UserFuses |= static_cast<uint8_t>(1u << i);
    for (size_t i = 0; i < lockBoxes_.size(); ++i)
        if (lockBoxes_[i]->isChecked()) bits.LockBits |= static_cast<uint8_t>(1u << i);
    return bits;
}

void TFormFeatures::ShowBits(const TFuseBits& bits) {
    FuseLow = bits.FuseLow;
    FuseHigh = bits.FuseHigh;
    for (size_t i = 0; i < fuseBoxes_.size(); ++i) fuseBoxes_[i]->setChecked((bits.UserFuses >> i) & 1);
    for (size_t i = 0; i < lockBoxes_.size(); ++i) lockBoxes_[i]->setChecked((bits.LockBits >> i) & 1);
    ShowFuseLow();
    ShowCKOPT();
}

void TFormFeatures::ShowFuseLow() {
    for (size_t bit = 0; bit < fuseLowEdits_.size(); ++bit)
        fuseLowEdits_[bit]->setText(BitText(FuseLow, static_cast<int>(bit)));
}

void TFormFeatures::ShowCKOPT() {
    if (DeviceType == ctATtiny)
        CKOPT->setText(BitText(FuseLow, 7));
    else if (DeviceType == ctATmega)
        CKOPT->setText(BitText(FuseHigh, 4));
    else
        CKOPT->setText(QStringLiteral("0"));
}

void TFormFeatures::Open(uint8_t type, bool sck, bool miso, bool mosi) {
    DeviceType = type;
    SCK = sck;
    MISO = miso;
    MOSI = mosi;
    const bool avr = type == ctATtiny || type == ctATmega;
    Panel1->setVisible(avr);
    Panel2->setVisible(!avr);
    if (avr) Panel1->raise();

    // Bits that cannot be read start at 0, and the status line says so.
    TFuseBits bits;
    TFuseRead result;
    {
        TBusyCursor busy;
        result = ReadFuseBits(type, Levels(), bits);
    }
    ShowBits(bits);
    LabelStatus->setText(ReadText(result));
    (avr ? static_cast<QWidget*>(CKSEL0) : CheckBoxFuse1)->setFocus();
}

void TFormFeatures::Execute(uint8_t type, bool sck, bool miso, bool mosi) {
    Open(type, sck, miso, mosi);
    exec();
}

void TFormFeatures::CKOPTToggle() {
    if (DeviceType == ctATtiny)
        FuseLow ^= 0x80;
    else if (DeviceType == ctATmega)
        FuseHigh ^= 0x10;
    else
        return;
    ShowCKOPT();
}

void TFormFeatures::FuseLowToggle(int bit) {
    FuseLow ^= static_cast<uint8_t>(1u << bit);
    fuseLowEdits_[static_cast<size_t>(bit)]->setText(BitText(FuseLow, bit));
}

void TFormFeatures::BitBtnWriteClick() {
    const TFuseBits bits = Bits();
    if (DisablesSerialProgramming(DeviceType, bits) &&
        Prompts().Message(TMsgKind::Confirmation, kSerialOffQuestion, TMsgButtons::YesNo) != TMsgResult::Yes) {
        LabelStatus->setText(QStringLiteral("Nothing written."));
        return;
    }
    TFuseBits chip;
    TFuseWrite result;
    {
        TBusyCursor busy;
        result = WriteFuseBits(DeviceType, Levels(), bits, chip);
    }
    LabelStatus->setText(WriteText(result, DeviceType, chip));
    if (result != TFuseWrite::Written)
        Prompts().Message(TMsgKind::Error, "Error programming fuse bits!", TMsgButtons::Ok);
}

void TFormFeatures::done(int result) {
    ReleaseTarget(Levels());
    QDialog::done(result);
}

}  // namespace kestrin
