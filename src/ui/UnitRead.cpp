#include "ui/UnitRead.h"

#include "ui/RunOutcome.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "config/UnitConfig.h"
#include "devices/Programmer.h"
#include "files/FileExchg.h"
#include "link/SPI.h"
#include "ui/HexDump.h"
#include "ui/HexGridModel.h"
#include "ui/HexGridView.h"
#include "ui/MessageTexts.h"
#include "ui/QtProgress.h"
#include "ui/SpinButton.h"

namespace kestrin {

namespace {

constexpr int kPanelHeight = 49;
constexpr int kFirstButtonLeft = 120;
constexpr int kPanelWidths[5] = {300, 200, 50, 44, 100};

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The top panel's places: the standard ones where the font fits them, larger
// where a larger font or a longer caption needs more.
struct TTopPanel {
    int LabelHeight, LabelWidth, EditTop, EditWidth, EditHeight, SpinLeft, FirstButtonLeft, Height;
};

TTopPanel TopPanel(const QFontMetrics& fm, const QString& caption, int buttonHeight) {
    TTopPanel p{};
    p.LabelHeight = std::max(16, fm.height() + 2);
    p.LabelWidth = std::max(112, fm.horizontalAdvance(caption) + 4);
    p.EditTop = 3 + p.LabelHeight + 2;
    p.EditWidth = std::max(46, fm.horizontalAdvance(QStringLiteral("FFFFF")) + 8);
    p.EditHeight = std::max(24, fm.height() + 10);
    p.SpinLeft = 4 + p.EditWidth + 2;
    p.FirstButtonLeft = std::max({kFirstButtonLeft, p.SpinLeft + 4 * 16 + 2, 4 + p.LabelWidth + 4});
    p.Height = std::max({kPanelHeight, p.EditTop + p.EditHeight + 4, buttonHeight + 2});
    return p;
}

// The status panels at the widths of the standard font, wider where the
// font or the language needs more: the file name, the profile, the gauge,
// the time of a run, its outcome.
std::array<int, 5> PanelWidths(const QFontMetrics& fm) {
    const int pad = 2 * fm.averageCharWidth();
    int outcome = 0;
    for (int result : {ProgOk, ProgNoDevice, ProgStopped, ProgVerifyFailed})
        outcome = std::max(outcome, fm.horizontalAdvance(ShownMessage(ProgResultText(result))));
    return {std::max(kPanelWidths[0], 40 * fm.averageCharWidth()), std::max(kPanelWidths[1], 26 * fm.averageCharWidth()),
            std::max(kPanelWidths[2], 7 * fm.averageCharWidth()),
            std::max(kPanelWidths[3], fm.horizontalAdvance(QStringLiteral("999,9s")) + pad),
            std::max(kPanelWidths[4], outcome + pad)};
}

QToolButton* MakeSpeedButton(QWidget* parent, const QString& caption, QStyle::StandardPixmap icon) {
    auto* b = new QToolButton(parent);
    b->setText(caption);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    return b;
}

}  // namespace

TFormRead* FormRead = nullptr;

TFormRead::TFormRead(QWidget* parent) : QDialog(parent), Buffer(kHexBufferSize, 0xFF) {
    FormCreate();
}

TFormRead::~TFormRead() = default;

void TFormRead::FormCreate() {
    setObjectName(QStringLiteral("FormRead"));
    setWindowTitle(tr("Read/Write µC"));
    setSizeGripEnabled(false);
    setMinimumSize(600, 200);

    Params = TProgParams{};
    Params.Data = Buffer.data();

    OpenDialog1.Title = tr("Choose file with data for programming").toStdString();
    OpenDialog1.Filter = DataFileFilter;
    OpenDialog1.MustExist = true;
    SaveDialog1.Title = tr("Save data into file").toStdString();
    SaveDialog1.Filter = DataFileFilter;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    layout->addWidget(Panel1);

    Label1 = new QLabel(tr("Data size:"), Panel1);

    EditSize = new QLineEdit(QStringLiteral("0"), Panel1);
    EditSize->setObjectName(QStringLiteral("EditSize"));
    EditSize->setMaxLength(5);
    EditSize->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,5}")), EditSize));
    EditSize->installEventFilter(this);

    TSpinButton** spins[4] = {&SpinButtonSize4, &SpinButtonSize3, &SpinButtonSize2, &SpinButtonSize1};
    for (int i = 0; i < 4; ++i) {
        const int tag = 3 - i;  // steps 0x1000, 0x100, 0x10, 1
        auto* spin = new TSpinButton(Panel1);
        spin->setObjectName(QStringLiteral("SpinButtonSize%1").arg(tag + 1));
        spin->setProperty("tag", tag);
        connect(spin, &TSpinButton::UpClick, this, [this, tag] { SpinButtonSize1UpClick(tag); });
        connect(spin, &TSpinButton::DownClick, this, [this, tag] { SpinButtonSize1DownClick(tag); });
        const QString step = QString::number(1 << (4 * tag), 16).toUpper() + QLatin1Char('h');
        spin->UpButton->setAccessibleName(tr("Data size up by %1").arg(step));
        spin->DownButton->setAccessibleName(tr("Data size down by %1").arg(step));
        *spins[i] = spin;
    }

    SpeedButtonClear = MakeSpeedButton(Panel1, tr("&Clear"), QStyle::SP_DialogResetButton);
    SpeedButtonLoad = MakeSpeedButton(Panel1, tr("&Load File"), QStyle::SP_DialogOpenButton);
    SpeedButtonWrite = MakeSpeedButton(Panel1, tr("&Write µC"), QStyle::SP_ArrowDown);
    SpeedButtonRead = MakeSpeedButton(Panel1, tr("&Read µC"), QStyle::SP_ArrowUp);
    SpeedButtonSave = MakeSpeedButton(Panel1, tr("&Save File"), QStyle::SP_DialogSaveButton);
    SpeedButtonExit = MakeSpeedButton(Panel1, tr("&Exit"), QStyle::SP_DialogCloseButton);
    SpeedButtonClear->setObjectName(QStringLiteral("SpeedButtonClear"));
    SpeedButtonLoad->setObjectName(QStringLiteral("SpeedButtonLoad"));
    SpeedButtonWrite->setObjectName(QStringLiteral("SpeedButtonWrite"));
    SpeedButtonRead->setObjectName(QStringLiteral("SpeedButtonRead"));
    SpeedButtonSave->setObjectName(QStringLiteral("SpeedButtonSave"));
    SpeedButtonExit->setObjectName(QStringLiteral("SpeedButtonExit"));
    connect(SpeedButtonClear, &QToolButton::clicked, this, &TFormRead::SpeedButtonClearClick);
    connect(SpeedButtonLoad, &QToolButton::clicked, this, &TFormRead::SpeedButtonLoadClick);
    connect(SpeedButtonWrite, &QToolButton::clicked, this, &TFormRead::SpeedButtonWriteClick);
    connect(SpeedButtonRead, &QToolButton::clicked, this, &TFormRead::SpeedButtonReadClick);
    connect(SpeedButtonSave, &QToolButton::clicked, this, &TFormRead::SpeedButtonSaveClick);
    connect(SpeedButtonExit, &QToolButton::clicked, this, &TFormRead::SpeedButtonExitClick);
    // While a run is going, Stop takes the place of Exit.
    SpeedButtonStop = MakeSpeedButton(Panel1, tr("&Stop"), QStyle::SP_BrowserStop);
    SpeedButtonStop->setObjectName(QStringLiteral("SpeedButtonStop"));
    SpeedButtonStop->setToolTip(tr("Stop the run (Esc); a backup is still written back"));
    SpeedButtonStop->setVisible(false);
    connect(SpeedButtonStop, &QToolButton::clicked, this, &TFormRead::StopRun);

    StringGrid1 = new THexGridView(this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    GridModel = new THexGridModel(Buffer.data(), this);
    StringGrid1->setModel(GridModel);
    StringGrid1->OnKeyPress = [this](int column, char32_t ch) { return StringGrid1KeyPress(column, ch); };
    StringGrid1->OnSetEditText = [this](int column, int row, const QString& text) {
        StringGrid1SetEditText(column, row, text);
    };
    StringGrid1->OnClientResize = [this] {
        StringGrid1->ApplyColumnWidths(GridColumnWidths(StringGrid1->ClientWidth(), AddressDigits(Params.Size)));
    };
    layout->addWidget(StringGrid1, 1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(true);
    layout->addWidget(StatusBar1);
    const std::array<int, 5> panelWidths = PanelWidths(StatusBar1->fontMetrics());
    for (int i = 0; i < 5; ++i) {
        auto* panel = new QLabel(StatusBar1);
        panel->setFixedWidth(panelWidths[static_cast<size_t>(i)]);
        if (i == 4) panel->setAlignment(Qt::AlignCenter);
        StatusBar1->addWidget(panel);
        panels_.push_back(panel);
    }
    // The gauge and the time label sit inside panels 3 and 4, inset from their edges.
    auto* gaugeLayout = new QHBoxLayout(panels_[2]);
    gaugeLayout->setContentsMargins(2, 2, 2, 2);
    Gauge = new QProgressBar(panels_[2]);
    Gauge->setObjectName(QStringLiteral("Gauge"));
    Gauge->setTextVisible(false);
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    gaugeLayout->addWidget(Gauge);
    auto* timeLayout = new QHBoxLayout(panels_[3]);
    timeLayout->setContentsMargins(3, 0, 3, 0);
    LabelTime = new QLabel(QStringLiteral("--"), panels_[3]);
    LabelTime->setObjectName(QStringLiteral("LabelTime"));
    LabelTime->setAlignment(Qt::AlignCenter);
    timeLayout->addWidget(LabelTime);
    progress_ = std::make_unique<QtProgress>(Gauge, LabelTime, StatusBar1->palette().color(QPalette::Window).rgb());

    EditGuard = false;
    DataModified = false;
    GridModel->ShowSize(Params.Size);
    StringGrid1->SetCell(kFirstHexColumn, 1);
    // Six buttons side by side, each as wide as the widest caption needs.
    int buttonWidth = 0;
    for (QToolButton* b : {SpeedButtonClear, SpeedButtonLoad, SpeedButtonWrite, SpeedButtonRead, SpeedButtonSave,
                           SpeedButtonExit})
        buttonWidth = std::max(buttonWidth, b->sizeHint().width());
    const int firstButtonLeft = TopPanel(Panel1->fontMetrics(), Label1->text(), 0).FirstButtonLeft;
    setMinimumWidth(std::max(minimumWidth(), firstButtonLeft + 6 * buttonWidth));
    FormResize();

    move(Config.ExtDlgX, Config.ExtDlgY);
    resize(std::max(Config.ExtDlgW, minimumWidth()), std::max(Config.ExtDlgH, minimumHeight()));
}

void TFormRead::SetRunChoiceProvider(std::function<TRunChoice()> provider) { runChoice_ = std::move(provider); }

QString TFormRead::StatusText(int panel) const {
    if (panel == 4) return LabelTime->text();
    if (panel < 1 || panel > 5) return {};
    return panels_[static_cast<size_t>(panel - 1)]->text();
}

void TFormRead::SetPanel(int panel, const QString& text) { panels_[static_cast<size_t>(panel - 1)]->setText(text); }

void TFormRead::UpdateButtons() {
    const bool data = Params.Size > 0;
    SpeedButtonClear->setEnabled(data);
    SpeedButtonWrite->setEnabled(data && Connected);
    SpeedButtonRead->setEnabled(data && Connected);
    SpeedButtonSave->setEnabled(data && DataModified);
    SpeedButtonLoad->setEnabled(true);
    SpeedButtonExit->setEnabled(true);
}

void TFormRead::RefreshView() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Let the cursor change show; user input waits until the view is consistent again.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    UpdateButtons();

    const int column = std::max(StringGrid1->Col(), kFirstHexColumn);
    const int row = std::max(StringGrid1->Row(), 1);
    GridModel->ShowSize(Params.Size, AddressDigits(Params.Size));
    StringGrid1->SetCell(column, std::min(row, GridModel->rowCount()));

    FormResize();
    ShowSizeText();
    SetPanel(1, Q(SaveDialog1.FileName));
    SetPanel(2, Q(SelectedProfile().Name));
    QApplication::restoreOverrideCursor();
}

void TFormRead::FormResize() {
    QToolButton* buttons[] = {SpeedButtonClear, SpeedButtonLoad, SpeedButtonWrite, SpeedButtonRead, SpeedButtonSave};
    int buttonHeight = SpeedButtonExit->sizeHint().height();
    for (QToolButton* b : buttons) buttonHeight = std::max(buttonHeight, b->sizeHint().height());
    const TTopPanel top = TopPanel(Panel1->fontMetrics(), Label1->text(), buttonHeight);
    Panel1->setFixedHeight(top.Height);
    Label1->setGeometry(4, 3, top.LabelWidth, top.LabelHeight);
    EditSize->setGeometry(4, top.EditTop, top.EditWidth, top.EditHeight);
    TSpinButton* spins[] = {SpinButtonSize4, SpinButtonSize3, SpinButtonSize2, SpinButtonSize1};
    for (int i = 0; i < 4; ++i) spins[i]->setGeometry(top.SpinLeft + i * 16, top.EditTop, 16, top.EditHeight - 2);
    const TButtonWidths w = ButtonWidths(Panel1->width(), top.FirstButtonLeft);
    int left = top.FirstButtonLeft;
    for (QToolButton* b : buttons) {
        b->setGeometry(left, 1, w.Button, top.Height - 2);
        left += w.Button;
    }
    SpeedButtonExit->setGeometry(left, 1, w.Exit, top.Height - 2);
    StringGrid1->ApplyColumnWidths(GridColumnWidths(StringGrid1->ClientWidth(), AddressDigits(Params.Size)));
}

void TFormRead::showEvent(QShowEvent* event) {
    PresetSize();
    QDialog::showEvent(event);
}

void TFormRead::PresetSize() {
    if (Params.Size > 0 || DataModified || running_) return;
    const TJobRequest request = RunRequest();
    const int64_t size = MemoryLimit(request.Profile.Type, request.EEPROM);
    if (size <= 0) return;
    SetSize(static_cast<int32_t>(std::min<int64_t>(size, kHexMaxSize)));
    RefreshView();
}

void TFormRead::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FormResize();
}

bool TFormRead::StringGrid1KeyPress(int column, char32_t ch) { return !running_ && GridKeyPasses(column, ch); }

void TFormRead::StringGrid1SetEditText(int column, int row, const QString& text) {
    if (EditGuard || running_) return;
    EditGuard = true;
    // Two hex digits or one character make a byte: take it and move on, so
    // that a row can be typed in one go.
    const bool hex = IsHexColumn(column);
    if ((hex && text.size() >= 2) || (IsCharColumn(column) && !text.isEmpty())) {
        StringGrid1->CloseCellEditor();
        CommitCell(column, row, text);
        const int last = hex ? kLastHexColumn : kLastCharColumn;
        if (column < last)
            StringGrid1->SetCell(column + 1, row);
        else if (row < GridModel->rowCount())
            StringGrid1->SetCell(hex ? kFirstHexColumn : kFirstCharColumn, row + 1);
        DataModified = true;
    }
    SpeedButtonSave->setEnabled(Params.Size > 0 && DataModified);
    EditGuard = false;
}

void TFormRead::CommitCell(int column, int row, const QString& text) {
    if (column < 1 || column > kLastCharColumn || row < 1 || row > GridModel->rowCount()) return;
    const int32_t offset = CellOffset(column, row);
    if (offset < 0) return;  // the separator keeps nothing
    uint8_t value = 0;
    if (IsHexColumn(column)) {
        value = HexTextToByte(text.toStdString());
    } else {
        // One byte per cell: a character outside Latin-1 has no byte to stand for.
        const char32_t code = text.toUcs4().value(0);
        if (code > 0xFF) return;
        value = static_cast<uint8_t>(code);
    }
    Buffer[static_cast<size_t>(offset)] = value;
    GridModel->ByteChanged(offset);
}

bool TFormRead::eventFilter(QObject* watched, QEvent* event) {
    if (watched == EditSize) {
        if (event->type() == QEvent::KeyPress) {
            char32_t ch = 0;
            if (TypedCharacter(static_cast<QKeyEvent*>(event), ch) && !EditSizeKeyPress(ch)) return true;
        } else if (event->type() == QEvent::FocusOut) {
            // Leaving for another control of this window; not a switch to another window.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) EditSizeExit();
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TFormRead::EditSizeKeyPress(char32_t ch) {
    if (running_) return false;
    if (ch == 13) {
        SetSize(TypedSize());
        DataModified = true;
        RefreshView();
        return false;
    }
    return SizeKeyPasses(ch);
}

void TFormRead::EditSizeExit() {
    if (running_) return;
    SetSize(TypedSize());
    ShowSizeText();
}

void TFormRead::SetSize(int32_t size) { Params.Size = size; }

int32_t TFormRead::TypedSize() const { return CapSize(HexTextToInt(EditSize->text().toStdString()), SizeLimit()); }

int32_t TFormRead::SizeLimit() const {
    const TJobRequest request = RunRequest();
    return HexViewLimit(MemoryLimit(request.Profile.Type, request.EEPROM));
}

void TFormRead::ShowSizeText() { EditSize->setText(Q(SizeText(Params.Size))); }

void TFormRead::SpinButtonSize1UpClick(int tag) { SpinClick(tag, true); }

void TFormRead::SpinButtonSize1DownClick(int tag) { SpinClick(tag, false); }

// A spin button does not take the focus, so the edit may still hold an
// uncapped value that was never taken: take it first.
void TFormRead::SpinClick(int tag, bool up) {
    if (running_) return;
    SetSize(TypedSize());
    ShowSizeText();
    SetSize(SteppedSize(Params.Size, tag, up, SizeLimit()));
    DataModified = true;
    RefreshView();
}

void TFormRead::SpeedButtonClearClick() {
    if (running_) return;
    std::fill(Buffer.begin(), Buffer.end(), uint8_t{0xFF});
    DataModified = false;
    RefreshView();
}

void TFormRead::SpeedButtonLoadClick() {
    if (running_) return;
    TFileDialog dialog = OpenDialog1;
    if (!Prompts().OpenFile(dialog)) return;
    OpenDialog1.FileName = dialog.FileName;
    OpenDialog1.FilterIndex = dialog.FilterIndex;

    std::vector<uint8_t> image;
    int32_t size = 0;
    const FileResult r = ReadDataFile(dialog.FileName, dialog.FilterIndex, image, size);
    if (r != FileOk || size < 1 || image.size() < static_cast<size_t>(size)) {
        Prompts().Message(TMsgKind::Error, tr("Error reading file!").toStdString(), TMsgButtons::Cancel);
        return;
    }
    if (size > SizeLimit()) {
        size = SizeLimit();
        Prompts().Message(TMsgKind::Warning, tr("Data exceeds maximum size and will be cut!").toStdString(), TMsgButtons::Ok);
    }
    Params.StartAddress = 0;
    SetSize(size);
    std::copy_n(image.begin(), size, Buffer.begin());
    SaveDialog1.FilterIndex = OpenDialog1.FilterIndex;
    SaveDialog1.FileName = OpenDialog1.FileName;
    DataModified = false;
    RefreshView();
}

void TFormRead::SpeedButtonSaveClick() {
    if (running_) return;
    TFileDialog dialog = SaveDialog1;
    if (!Prompts().SaveFile(dialog)) return;
    const std::string name = WithDefaultExtension(dialog.FileName, dialog.FilterIndex);
    SaveDialog1.FilterIndex = dialog.FilterIndex;
    SaveDialog1.FileName = name;
    const FileResult r = WriteDataFile(name, dialog.FilterIndex, Buffer.data(), Params.Size);
    if (r != FileOk) {
        Prompts().Message(TMsgKind::Error, tr("Error saving data into file!").toStdString(), TMsgButtons::Ok);
        return;
    }
    DataModified = false;
    SpeedButtonSave->setEnabled(false);
}

TJobRequest TFormRead::RunRequest() const {
    const TRunChoice choice = runChoice_ ? runChoice_() : TRunChoice{Config.Memory, Config.Verify, Config.Backup};
    TJobRequest request;
    request.EEPROM = choice.EEPROM;
    request.StartAddress = 0;
    request.Size = Params.Size;
    request.Verify = choice.Verify;
    request.Backup = choice.Backup;
    request.Profile = SelectedProfile();
    return request;
}

void TFormRead::StopRun() {
    if (running_) stop_.Request();
}

void TFormRead::ShowRunOutcome() {
    if (lastOutcome_.Result == TJobResult::Refused) {
        Prompts().Message(lastOutcome_.Informational ? TMsgKind::Information : TMsgKind::Error, lastOutcome_.Message,
                          TMsgButtons::Cancel);
        return;
    }
    ShowOutcome(panels_[4], lastOutcome_);
    if (!lastOutcome_.BackupFile.empty()) Prompts().Message(TMsgKind::Warning, lastOutcome_.Message, TMsgButtons::Ok);
}

void TFormRead::BeginRun() {
    running_ = true;
    enabledBeforeRun_.clear();
    QWidget* controls[] = {EditSize,         SpinButtonSize4,  SpinButtonSize3, SpinButtonSize2,
                           SpinButtonSize1,  SpeedButtonClear, SpeedButtonLoad, SpeedButtonWrite,
                           SpeedButtonRead,  SpeedButtonSave,  SpeedButtonExit, StringGrid1};
    for (QWidget* w : controls) {
        enabledBeforeRun_.emplace_back(w, w->isEnabled());
        w->setEnabled(false);
    }
    stop_.Clear();
    SpeedButtonStop->setGeometry(SpeedButtonExit->geometry());
    SpeedButtonStop->setVisible(true);
    SpeedButtonStop->raise();
}

void TFormRead::EndRun() {
    SpeedButtonStop->setVisible(false);
    for (auto& [w, enabled] : enabledBeforeRun_) w->setEnabled(enabled);
    enabledBeforeRun_.clear();
    running_ = false;
}

void TFormRead::SpeedButtonWriteClick() {
    if (running_) return;
    ClearOutcome(panels_[4]);
    TJobRequest request = RunRequest();
    // The block this window hands over, as the run sees it.
    const int32_t size = Params.Size;
    Params = ProfileBlock(request.Profile);
    Params.Data = Buffer.data();
    Params.Size = size;
    Params.EEPROM = request.EEPROM;
    Params.Verify = request.Verify;
    Params.Backup = request.Backup;
    request.Image = std::vector<uint8_t>(Buffer.begin(), Buffer.begin() + std::max<int32_t>(Params.Size, 0));
    BeginRun();
    lastOutcome_ = RunWriteJob(request, *progress_, &stop_);
    EndRun();
    ShowRunOutcome();
}

void TFormRead::SpeedButtonReadClick() {
    if (running_) return;
    ClearOutcome(panels_[4]);
    BeginRun();
    lastOutcome_ = RunReadJob(RunRequest(), *progress_, &stop_);
    EndRun();
    if (lastOutcome_.Ok()) {
        std::copy(lastOutcome_.Data.begin(), lastOutcome_.Data.end(), Buffer.begin());
        Params.Data = Buffer.data();
        DataModified = true;
        RefreshView();
    } else if (lastOutcome_.Result != TJobResult::Refused && lastOutcome_.Result != TJobResult::Stopped) {
        // A read that did not end well is a failed read, whatever the reason;
        // the tooltip says which.
        lastOutcome_.Status = ProgResultText(ProgVerifyFailed);
    }
    ShowRunOutcome();
}

void TFormRead::SpeedButtonExitClick() { close(); }

void TFormRead::FormClose() {
    Config.ExtDlgX = x();
    Config.ExtDlgY = y();
    Config.ExtDlgW = width();
    Config.ExtDlgH = height();
}

void TFormRead::keyPressEvent(QKeyEvent* event) {
    // Esc during a run stops it; the window stays until the run has ended.
    if (event->key() == Qt::Key_Escape && running_) {
        StopRun();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormRead::done(int result) {
    // A run needs the window until it returns: a close while it goes asks
    // whether to stop the run instead.
    if (running_) {
        if (Prompts().Message(TMsgKind::Confirmation, tr("A run is going. Stop it?").toStdString(), TMsgButtons::YesNo) ==
            TMsgResult::Yes)
            StopRun();
        return;
    }
    FormClose();
    QDialog::done(result);
}

}  // namespace kestrin
