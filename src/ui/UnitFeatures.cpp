#include "ui/UnitFeatures.h"

#include "jobs/ChipCommands.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "config/Prompts.h"
#include "config/UnitConfig.h"
#include "devices/AvrFuses.h"
#include "files/ElfFile.h"
#include "files/FileResult.h"
#include "ui/Glyphs.h"
#include "ui/MessageTexts.h"

namespace kestrin {

TFormFeatures* FormFeatures = nullptr;

namespace {

// The window's outer size, frame included, when the fonts leave room for it.
constexpr QSize kOuterSize{193, 178};

// Grid column of a bit column: the leftmost shows the highest bit.
constexpr int kBitColumns = 4;
int ColumnOf(int bitColumn) { return kBitColumns - bitColumn; }

QString BitText(uint8_t value, int bit) { return (value >> bit) & 1 ? QStringLiteral("1") : QStringLiteral("0"); }

const char* const kByteNames[4] = {QT_TRANSLATE_NOOP("kestrin::TFormFeatures", "Low fuse"),
                                   QT_TRANSLATE_NOOP("kestrin::TFormFeatures", "High fuse"),
                                   QT_TRANSLATE_NOOP("kestrin::TFormFeatures", "Extended fuse"),
                                   QT_TRANSLATE_NOOP("kestrin::TFormFeatures", "Lock bits")};
// The same names inside a sentence.
const char* const kByteNamesInText[4] = {QT_TRANSLATE_NOOP("kestrin::TFormFeatures", "low fuse"),
                                         QT_TRANSLATE_NOOP("kestrin::TFormFeatures", "high fuse"),
                                         QT_TRANSLATE_NOOP("kestrin::TFormFeatures", "extended fuse"),
                                         QT_TRANSLATE_NOOP("kestrin::TFormFeatures", "lock bits")};
const char* const kHexNames[4] = {"FuseHexLow", "FuseHexHigh", "FuseHexExtended", "LockHex"};

QString Hex(uint8_t value) { return QStringLiteral("%1h").arg(QString::number(value, 16).toUpper().rightJustified(2, QLatin1Char('0'))); }

QString Binary(uint8_t value, int bits) { return QStringLiteral("%1").arg(value, bits, 2, QLatin1Char('0')); }

// A bit's meaning from the glossary, in the system language; a meaning the
// glossary lacks comes from the part's header and stays as it is.
QString ShownMeaning(const std::string& meaning) {
    return QCoreApplication::translate("kestrin::FuseBitMeaning", meaning.c_str());
}

// The question before a write that cuts the chip off from serial programming.
QString CutOffQuestion(const TCutOff& cut) {
    return TFormFeatures::tr("%1 Write anyway?")
        .arg(QCoreApplication::translate("kestrin::SerialProgrammingCutOffs", cut.Consequence.c_str()));
}

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
        case TFuseRead::Read: return TFormFeatures::tr("Bits read from the chip.");
        case TFuseRead::NotConnected: return TFormFeatures::tr("Not connected: bits not read, nothing can be written.");
        case TFuseRead::NoAnswer: return TFormFeatures::tr("No answer from the chip: nothing can be written.");
        case TFuseRead::UnknownPart: return TFormFeatures::tr("Unknown signature: nothing can be written.");
        case TFuseRead::LinkLost: return TFormFeatures::tr("Connection to the adapter lost: nothing can be written.");
        case TFuseRead::NoWriter: break;
    }
    return TFormFeatures::tr("No fuse or lock bits to write for this controller.");
}

QString WriteText(TFuseWrite result, uint8_t type, const TFuseBits& chip) {
    switch (result) {
        case TFuseWrite::Written: return TFormFeatures::tr("Written and read back.");
        case TFuseWrite::NoAnswer: return TFormFeatures::tr("No answer from the chip.");
        case TFuseWrite::NoWriter: return TFormFeatures::tr("No fuse or lock bits to write for this controller.");
        case TFuseWrite::OtherChip:
            return TFormFeatures::tr("Another chip answers: read its bits before writing them.");
        case TFuseWrite::LinkLost:
            return TFormFeatures::tr("Connection to the adapter lost: the bits may be written in part. Read them again.");
        case TFuseWrite::Differs: break;
    }
    if (type == ctAT89S8253)
        return TFormFeatures::tr("The chip reads back Fuse %1, Lock Bit %2.")
            .arg(Binary(chip.UserFuses & 0x0F, 4), Binary(chip.LockBits & 0x07, 3));
    QStringList parts;
    const int count = chip.Device != nullptr ? chip.Device->Part->fuseCount : 2;
    for (int i = 0; i < count; ++i)
        parts << TFormFeatures::tr("%1 %2").arg(TFormFeatures::tr(kByteNamesInText[i]), Hex(FuseByte(chip, i)));
    return TFormFeatures::tr("The chip reads back %1, lock %2.").arg(parts.join(QStringLiteral(", ")), Hex(chip.AvrLock));
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
    avrGrid_ = PanelGrid(panel);
    avrGrid_->setColumnStretch(0, 0);
    avrGrid_->setColumnStretch(3, 1);
    avrGrid_->setHorizontalSpacing(6);
    LabelPart = NameLabel(QString(), "LabelPart", panel);
    avrGrid_->addWidget(LabelPart, 0, 0, 1, 4);
    for (int byte = 0; byte < 4; ++byte) {
        auto* edit = new QLineEdit(panel);
        edit->setObjectName(QString::fromLatin1(kHexNames[byte]));
        edit->setMaxLength(2);
        edit->setInputMask(QStringLiteral("HH"));
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("FFW")) + 10);
        edit->setToolTip(tr("%1 as a hex byte (0 = programmed)").arg(tr(kByteNames[byte])));
        connect(edit, &QLineEdit::editingFinished, this, [this, byte] { HexEdited(byte); });
        HexEdits[static_cast<size_t>(byte)] = edit;
    }
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
    Label15 = NameLabel(tr("Fuse"), "Label15", panel);
    Label16 = NameLabel(tr("Lock Bit"), "Label16", panel);
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
    CheckBoxFuse1->setToolTip(tr("Fuse1, serial programming: ticked switches it off for good "
                                 "(only a parallel programmer switches it on again)"));
    CheckBoxFuse2->setToolTip(tr("Fuse2, x2 clock: ticked is off"));
    CheckBoxFuse3->setToolTip(tr("Fuse3, user row programming: ticked is off"));
    CheckBoxFuse4->setToolTip(tr("Fuse4, external clock: ticked is off (crystal oscillator)"));
    for (size_t i = 0; i < lockBoxes_.size(); ++i)
        lockBoxes_[i]->setToolTip(tr("Lock bit %1: ticked is not programmed; "
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
    setWindowTitle(tr("Features"));
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

    LabelRule = NewLabel(QString(), "LabelRule", this);
    LabelRule->setWordWrap(true);
    outer->addWidget(LabelRule);

    LabelStatus = NewLabel(QString(), "LabelStatus", this);
    LabelStatus->setWordWrap(true);
    LabelStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelStatus->setMinimumHeight(2 * LabelStatus->fontMetrics().lineSpacing());
    outer->addWidget(LabelStatus);

    auto* buttons = new QHBoxLayout;
    BitBtnWrite = new QPushButton(Glyph(QString::fromLatin1(glyph::Write)), tr("&Write"), this);
    BitBtnWrite->setObjectName(QStringLiteral("BitBtnWrite"));
    BitBtnWrite->setAutoDefault(false);
    BitBtn2 = new QPushButton(Glyph(QString::fromLatin1(glyph::Exit)), tr("&Close"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setAutoDefault(false);
    ButtonReadAgain = new QPushButton(tr("&Read again"), this);
    ButtonReadAgain->setObjectName(QStringLiteral("ButtonReadAgain"));
    ButtonReadAgain->setAutoDefault(false);
    ButtonReadAgain->hide();
    ButtonDefaults = new QPushButton(tr("factory defaults"), this);
    ButtonDefaults->setObjectName(QStringLiteral("ButtonDefaults"));
    ButtonDefaults->setAutoDefault(false);
    ButtonDefaults->setToolTip(tr("The part's fuse bytes as it leaves the factory (not written until Write)"));
    ButtonDefaults->hide();
    ButtonFromElf = new QPushButton(tr("from &ELF file…"), this);
    ButtonFromElf->setObjectName(QStringLiteral("ButtonFromElf"));
    ButtonFromElf->setAutoDefault(false);
    ButtonFromElf->setToolTip(tr("The fuse and lock values an avr-gcc program sets (not written until Write)"));
    ButtonFromElf->hide();
    buttons->addWidget(ButtonDefaults);
    buttons->addWidget(ButtonFromElf);
    buttons->addWidget(ButtonReadAgain);
    buttons->addWidget(BitBtnWrite);
    buttons->addWidget(BitBtn2);
    outer->addLayout(buttons);

    connect(BitBtnWrite, &QPushButton::clicked, this, &TFormFeatures::BitBtnWriteClick);
    connect(ButtonDefaults, &QPushButton::clicked, this, &TFormFeatures::ButtonDefaultsClick);
    connect(ButtonFromElf, &QPushButton::clicked, this, &TFormFeatures::ButtonFromElfClick);
    connect(ButtonReadAgain, &QPushButton::clicked, this, &TFormFeatures::ButtonReadAgainClick);
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

uint8_t& TFormFeatures::ByteOf(int byte) { return byte == 3 ? Edited.AvrLock : FuseByte(Edited, byte); }

// One row per bit the part uses: its box, its name, what it does; each
// byte's heading carries its hex value.
void TFormFeatures::BuildAvrRows() {
    for (QWidget* w : avrRows_) delete w;
    avrRows_.clear();
    bitCells_.clear();
    for (QLineEdit* edit : HexEdits) {
        avrGrid_->removeWidget(edit);
        edit->hide();
    }
    const avrparts::AvrPart* part = Edited.Device != nullptr ? Edited.Device->Part : nullptr;
    LabelPart->setText(part != nullptr ? QString::fromLatin1(part->name) : QString());
    if (part == nullptr) return;
    int row = 1;
    const std::array<std::string, 8> lockNames = LockBitNames(part->lockMask);
    for (int byte = 0; byte < 4; ++byte) {
        if (byte < 3 && byte >= part->fuseCount) continue;
        if (byte == 3 && part->lockMask == 0) continue;
        QLabel* heading = NameLabel(tr(kByteNames[byte]), "", Panel1);
        avrRows_.push_back(heading);
        avrGrid_->addWidget(heading, row, 0, 1, 3);
        QLineEdit* hex = HexEdits[static_cast<size_t>(byte)];
        avrGrid_->addWidget(hex, row, 3, Qt::AlignLeft);
        hex->show();
        ++row;
        for (int bit = 7; bit >= 0; --bit) {
            const size_t b = static_cast<size_t>(bit);
            const std::string name =
                byte == 3 ? lockNames[b] : (part->fuseBits[static_cast<size_t>(byte)][b] ? part->fuseBits[static_cast<size_t>(byte)][b] : "");
            if (name.empty()) continue;
            const QString meaning = ShownMeaning(
                FuseBitMeaning(name, byte == 3 ? nullptr : part->fuseComments[static_cast<size_t>(byte)][b]));
            auto* edit = new TBitEdit(QString::fromStdString(name), Panel1);
            edit->setToolTip(tr("%1, bit %2: %3 (0 = programmed)").arg(QString::fromStdString(name)).arg(bit).arg(meaning));
            QLabel* nameLabel = NewLabel(QString::fromStdString(name), "", Panel1);
            QLabel* meaningLabel = NewLabel(meaning, "", Panel1);
            meaningLabel->setObjectName(QStringLiteral("Meaning") + QString::fromStdString(name));
            avrGrid_->addWidget(edit, row, 0, Qt::AlignCenter);
            avrGrid_->addWidget(nameLabel, row, 1);
            avrGrid_->addWidget(meaningLabel, row, 2, 1, 2);
            avrRows_.insert(avrRows_.end(), {edit, nameLabel, meaningLabel});
            bitCells_.push_back({byte, bit, edit});
            connect(edit, &TBitEdit::Toggle, this, [this, byte, bit] { BitToggle(byte, bit); });
            ++row;
        }
    }
    // A layout shows new children of a visible panel only later; the size
    // of the window is worked out now.
    if (Panel1->isVisible())
        for (QWidget* w : avrRows_) w->show();
}

void TFormFeatures::ShowBits() {
    for (const TBitCell& cell : bitCells_) cell.Edit->setText(BitText(ByteOf(cell.Byte), cell.Bit));
    for (int byte = 0; byte < 4; ++byte)
        HexEdits[static_cast<size_t>(byte)]->setText(
            QString::number(ByteOf(byte), 16).toUpper().rightJustified(2, QLatin1Char('0')));
    for (size_t i = 0; i < fuseBoxes_.size(); ++i) fuseBoxes_[i]->setChecked((Edited.UserFuses >> i) & 1);
    for (size_t i = 0; i < lockBoxes_.size(); ++i) lockBoxes_[i]->setChecked((Edited.LockBits >> i) & 1);
}

void TFormFeatures::ReadChip() {
    TFuseBits bits;
    TFuseRead result = TFuseRead::NoAnswer;
    TJobOutcome outcome;
    {
        TBusyCursor busy;
        outcome = RunFuseReadJob(DeviceType, Levels(), bits, result);
    }
    // Write stays off unless this very chip was read.
    ReadOk = outcome.Ok();
    Edited = ReadOk ? bits : TFuseBits{};
    const bool avr = DeviceType == ctATtiny || DeviceType == ctATmega;
    if (avr) BuildAvrRows();
    ShowBits();
    QString status = ReadText(result);
    if (result == TFuseRead::UnknownPart)
        status = tr("Unknown signature %1 %2 %3: nothing can be written.")
                     .arg(Hex(bits.Signature[0]), Hex(bits.Signature[1]), Hex(bits.Signature[2]));
    LabelStatus->setText(status);
    BitBtnWrite->setEnabled(ReadOk);
    ButtonDefaults->setVisible(avr && ReadOk);
    ButtonFromElf->setVisible(avr && ReadOk);
    ButtonReadAgain->setVisible(!ReadOk && HasFuseWriter(DeviceType));
    Panel1->setEnabled(ReadOk);
    Panel2->setEnabled(ReadOk);
    // The rows just built count only once the panel's own grid has taken
    // them, and the panels' holder takes the room of the panel shown.
    avrGrid_->activate();
    Panel1->parentWidget()->setMinimumSize((avr ? Panel1 : Panel2)->minimumSizeHint());
    layout()->activate();
    FitOuterSize();
}

void TFormFeatures::Open(uint8_t type, bool sck, bool miso, bool mosi) {
    DeviceType = type;
    SCK = sck;
    MISO = miso;
    MOSI = mosi;
    const bool avr = type == ctATtiny || type == ctATmega;
    Panel1->setVisible(avr);
    Panel2->setVisible(!avr);
    // A 1 leaves a fuse or lock bit unprogrammed: said here, not only in the tooltips.
    LabelRule->setText(avr ? tr("1 = unprogrammed, 0 = programmed.")
                           : tr("Ticked = 1 = unprogrammed, clear = 0 = programmed."));
    if (avr) Panel1->raise();
    ReadChip();
    if (avr && !bitCells_.empty())
        bitCells_.front().Edit->setFocus();
    else if (!avr)
        CheckBoxFuse1->setFocus();
}

void TFormFeatures::Execute(uint8_t type, bool sck, bool miso, bool mosi) {
    Open(type, sck, miso, mosi);
    exec();
}

void TFormFeatures::BitToggle(int byte, int bit) {
    ByteOf(byte) ^= static_cast<uint8_t>(1u << bit);
    ShowBits();
}

void TFormFeatures::HexEdited(int byte) {
    bool ok = false;
    const uint32_t value = HexEdits[static_cast<size_t>(byte)]->text().toUInt(&ok, 16);
    if (ok && value <= 0xFF) ByteOf(byte) = static_cast<uint8_t>(value);
    ShowBits();
}

void TFormFeatures::ButtonDefaultsClick() {
    if (Edited.Device == nullptr) return;
    const avrparts::AvrPart& part = *Edited.Device->Part;
    for (int i = 0; i < part.fuseCount; ++i) FuseByte(Edited, i) = part.fuseDefaults[static_cast<size_t>(i)];
    LabelStatus->setText(tr("Factory defaults shown: not written yet."));
    ShowBits();
}

void TFormFeatures::ButtonFromElfClick() {
    if (!ReadOk) return;
    TFileDialog dialog;
    dialog.Title = tr("Fuse values from an ELF program").toStdString();
    dialog.Filter = "ELF (*.elf)|*.elf|any file|*.*";
    dialog.FileName = elfFile_;
    dialog.MustExist = true;
    if (!Prompts().OpenFile(dialog)) return;
    elfFile_ = dialog.FileName;
    const QString name = QFileInfo(QString::fromStdString(dialog.FileName)).fileName();
    DataFileContents file;
    if (ReadElfFile(dialog.FileName, file) != FileOk) {
        LabelStatus->setText(tr("%1: %2. Nothing changed.")
                                 .arg(name, ShownMessage(file.problem.empty() ? "not a readable ELF program" : file.problem)));
        return;
    }
    const TElfFuseOffer offer = ElfFuseOffer(DeviceType, file, Edited);
    if (!offer.Refusal.empty()) {
        LabelStatus->setText(tr("%1: %2. Nothing changed.").arg(name, ShownMessage(offer.Refusal)));
        return;
    }
    Edited = offer.Bits;
    ShowBits();
    LabelStatus->setText(
        tr("%1 sets %2: shown, not written yet.").arg(name, QString::fromStdString(offer.Values)));
}

void TFormFeatures::ButtonReadAgainClick() { ReadChip(); }

void TFormFeatures::BitBtnWriteClick() {
    if (!ReadOk) return;
    TFuseBits bits = Edited;
    for (size_t i = 0; i < fuseBoxes_.size(); ++i)
        bits.UserFuses = static_cast<uint8_t>((bits.UserFuses & ~(1u << i)) | (fuseBoxes_[i]->isChecked() ? 1u << i : 0u));
    for (size_t i = 0; i < lockBoxes_.size(); ++i)
        bits.LockBits = static_cast<uint8_t>((bits.LockBits & ~(1u << i)) | (lockBoxes_[i]->isChecked() ? 1u << i : 0u));
    Edited = bits;
    for (const TCutOff& cut : SerialProgrammingCutOffs(DeviceType, bits))
        if (Prompts().Message(TMsgKind::Confirmation, CutOffQuestion(cut).toStdString(), TMsgButtons::YesNoDefaultNo) !=
            TMsgResult::Yes) {
            LabelStatus->setText(tr("Nothing written."));
            return;
        }
    TFuseBits chip;
    TFuseWrite result = TFuseWrite::NoAnswer;
    TJobOutcome outcome;
    {
        TBusyCursor busy;
        outcome = RunFuseWriteJob(DeviceType, Levels(), bits, chip, result);
    }
    LabelStatus->setText(WriteText(result, DeviceType, chip));
    // Another chip, or one whose bits are unknown now: read it before any write.
    if (result == TFuseWrite::OtherChip || result == TFuseWrite::LinkLost) {
        ReadOk = false;
        BitBtnWrite->setEnabled(false);
        ButtonReadAgain->show();
    }
    if (!outcome.Ok()) Prompts().Message(TMsgKind::Error, tr("Error programming fuse bits!").toStdString(), TMsgButtons::Ok);
}

void TFormFeatures::done(int result) {
    ReleaseTarget(Levels());
    QDialog::done(result);
}

}  // namespace kestrin
