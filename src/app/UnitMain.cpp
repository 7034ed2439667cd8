#include "app/UnitMain.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <optional>
#include <vector>

#include "app/CommandLine.h"
#include "config/Prompts.h"
#include "devices/ProgRun.h"
#include "devices/Programmer.h"
#include "files/FileExchg.h"
#include "files/FileResult.h"
#include "jobs/ChipCommands.h"
#include "link/SPI.h"
#include "production/SerialCounter.h"
#include "ui/Glyphs.h"
#include "ui/QtProgress.h"
#include "ui/MessageTexts.h"
#include "ui/RunOutcome.h"
#include "ui/UnitAbout.h"
#include "ui/UnitHelp.h"
#include "ui/UnitOptions.h"
#include "ui/UnitRead.h"

namespace kestrin {

const char* const IdleStatusText = "Kestrin 1.4 (Corvane)";
TFormMain* FormMain = nullptr;

namespace {

// Largest file the window accepts; no target memory holds more.
constexpr int32_t kMaxFileSize = 0x40000;  // the ATmega2560's 256 KB
constexpr int kSpinSteps[4] = {0x1000, 0x100, 0x10, 0x1};
// Steps of the keys in the start-address field.
constexpr int kLineStep = 0x1;
constexpr int kPageStep = 0x100;

// Marked under the context lupdate gives this class (scripts/update-translations.sh).
const char* const kConnectTexts[] = {
    QT_TRANSLATE_NOOP("TFormMain", "opened"),  // not shown in panel 3
    QT_TRANSLATE_NOOP("TFormMain", "COM interface can't be opened"),
    QT_TRANSLATE_NOOP("TFormMain", "Veltro not connected"),
    QT_TRANSLATE_NOOP("TFormMain", "firmware not supported"),
    QT_TRANSLATE_NOOP("TFormMain", "Veltro.dll not found"),
};
const char* const kNoPortText = QT_TRANSLATE_NOOP("TFormMain", "no COM interface present");
const char* const kFileErrorTexts[] = {
    "",  // no error
    QT_TRANSLATE_NOOP("TFormMain", "error at opening file"),
    QT_TRANSLATE_NOOP("TFormMain", "file is empty"),
    QT_TRANSLATE_NOOP("TFormMain", "checksum error"),
    QT_TRANSLATE_NOOP("TFormMain", "file exceeds 256 kByte"),
};
const char* const kNoFileText = QT_TRANSLATE_NOOP("TFormMain", "(no file selected)");

QString U(const char* text) { return QString::fromUtf8(text); }

// A status message as scripts read it on standard error: the English text
// the window shows translated, or the text itself where it has none.
std::string ScriptText(const QString& shown) {
    std::vector<const char*> known = {kNoPortText, kNoFileText};
    known.insert(known.end(), std::begin(kConnectTexts), std::end(kConnectTexts));
    known.insert(known.end(), std::begin(kFileErrorTexts) + 1, std::end(kFileErrorTexts));
    for (const char* text : known)
        if (QCoreApplication::translate("kestrin::TFormMain", text) == shown) return text;
    return shown.toStdString();
}
QString U(const std::string& text) { return QString::fromStdString(text); }

QString AddressText(int32_t address) {
    return QStringLiteral("%1h").arg(QString::number(static_cast<uint32_t>(address), 16).toUpper(), 4, QLatin1Char('0'));
}

QString FormatText(int filterIndex) {
    return DataFileTypeOf(filterIndex) == DataFileType::IntelHex ? QStringLiteral("Intel Hex") : QStringLiteral("binary");
}

// "1FFF", "1fffh" or "1FFFH": a start address as typed; nullopt when it is none.
std::optional<int64_t> ParseAddressText(QString text) {
    text = text.trimmed();
    if (text.endsWith(QLatin1Char('h'), Qt::CaseInsensitive)) text.chop(1);
    if (text.isEmpty() || text.size() > 5) return std::nullopt;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 16);
    if (!ok || value < 0) return std::nullopt;
    return value;
}

QString SizeText(int32_t size) { return QStringLiteral("%1 Byte").arg(size); }

QString PortNameAt(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= PortNames.size()) return {};
    return U(PortNames[static_cast<size_t>(index)]);
}

QColor Rgb(uint32_t rgb) { return QColor::fromRgb(rgb); }

QToolButton* MakeButton(QWidget* parent, const QString& text, const char* glyphName, const QString& hint,
                        int iconSize = 20) {
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setIcon(Glyph(U(glyphName)));
    b->setIconSize(QSize(iconSize, iconSize));
    b->setToolButtonStyle(text.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
    b->setToolTip(hint);
    b->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    return b;
}

// A sky-blue panel with a grid for its controls.
QGridLayout* MakePanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, Rgb(kSkyBlue));
    panel->setPalette(pal);
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(6, 4, 6, 5);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    return grid;
}

int TextWidth(const QFontMetrics& fm, std::initializer_list<QString> texts) {
    int w = 0;
    for (const QString& t : texts) w = std::max(w, fm.horizontalAdvance(t));
    return w;
}

// Shows a cursor while it lives: the hourglass during work, the arrow over a
// question asked in the middle of it.
class TCursor {
public:
    explicit TCursor(Qt::CursorShape shape) { QApplication::setOverrideCursor(shape); }
    ~TCursor() { QApplication::restoreOverrideCursor(); }
    TCursor(const TCursor&) = delete;
    TCursor& operator=(const TCursor&) = delete;
};

TMsgResult Ask(TMsgKind kind, const std::string& text, TMsgButtons buttons) {
    TCursor arrow(Qt::ArrowCursor);
    return Prompts().Message(kind, text, buttons);
}

}  // namespace

void TFileNameLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, static_cast<int>(alignment()),
                     fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
}

// Marks a write as running for its lifetime: the controls that could start a
// second run or change its inputs are disabled, and a close requested meanwhile
// is carried out when the run has ended.
class TFormMain::TRunGuard {
public:
    explicit TRunGuard(TFormMain& form) : form_(form) {
        form_.running_ = true;
        form_.ButtonBar->setEnabled(false);
        form_.PanelMemory->setEnabled(false);
        form_.SpeedButtonStop->setVisible(true);
        form_.SpeedButtonStop->setEnabled(true);
        form_.SpeedButtonWrite->setToolTip(form_.WriteButtonHint());
    }
    ~TRunGuard() {
        form_.SpeedButtonStop->setVisible(false);
        form_.ButtonBar->setEnabled(true);
        form_.PanelMemory->setEnabled(true);
        form_.running_ = false;
        form_.SpeedButtonWrite->setToolTip(form_.WriteButtonHint());
        if (form_.closeRequested_) {
            form_.closeRequested_ = false;
            form_.RequestClose();
        }
    }
    TRunGuard(const TRunGuard&) = delete;
    TRunGuard& operator=(const TRunGuard&) = delete;

private:
    TCursor cursor_{Qt::WaitCursor};
    TFormMain& form_;
};

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent) {
    BuildControls();
    StartAction = saNothing;
    CreateTrayIcon();
    PlaceWindow();
    LabelFileName->setText({});
    LabelFileSize->setText({});
    if (Config.Memory) RadioButtonEEPROM->setChecked(true);
    EditAddress->setText(AddressText(Config.Startaddress));
    CheckBoxVerify->setChecked(Config.Verify);
    CheckBoxBackup->setChecked(Config.Backup);
    filterIndex_ = Config.FileType;
    SelectDataFile(!Config.CmdFile.empty() ? Config.CmdFile : Config.LastFile);
    if (!Config.CmdFile.empty() && currentFile_ != Config.CmdFile) cmdFileError_ = ScriptText(StatusText(3));
    Connected = false;
    if (PortNames.empty()) {
        SetStatusText(0, {});
        SetStatusText(3, tr(kNoPortText));
        SpeedButtonConnect->setEnabled(false);
    } else {
        ApplyCommandLinePort();
        if (Config.Autoconnect) SpeedButtonConnectClick();
        SetStatusText(0, PortNameAt(Config.COMIndex));
    }
    ShowProfileCaption();
    FirstSetup = true;
    SetupDlg();
    UpdateButtonStates();
    FitWindowSize();
}

TFormMain::~TFormMain() {
    if (FormMain == this) FormMain = nullptr;
}

void TFormMain::BuildControls() {
    setWindowTitle(tr("µC Programmer over Veltro"));
    setWindowIcon(Glyph(U(glyph::Program)));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(4, 4, 4, 2);
    column->setSpacing(4);

    // Buttons: file, connect, options, info, exit; then write, reset, hex.
    ButtonBar = new QWidget(central);
    auto* rows = new QVBoxLayout(ButtonBar);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(3);
    auto* row1 = new QHBoxLayout;
    SpeedButtonFile = MakeButton(ButtonBar, tr("&File..."), glyph::File, tr("Choose file to write to µController"));
    SpeedButtonConnect = MakeButton(ButtonBar, tr("&Connect"), glyph::Connect, tr("Open serial port and connect to Veltro"));
    SpeedButtonConnect->setCheckable(true);
    SpeedButtonOptions = MakeButton(ButtonBar, tr("&Options..."), glyph::Options, tr("Setup serial port and verify"));
    SpeedButtonInfo = MakeButton(ButtonBar, {}, glyph::Info, tr("About this program and the Veltro"));
    SpeedButtonInfo->setAccessibleName(tr("About"));
    SpeedButtonExit = MakeButton(ButtonBar, {}, glyph::Exit, tr("Exit program"));
    SpeedButtonExit->setAccessibleName(tr("Exit"));
    row1->addWidget(SpeedButtonFile);
    row1->addWidget(SpeedButtonConnect);
    row1->addWidget(SpeedButtonOptions);
    row1->addStretch(1);
    row1->addWidget(SpeedButtonInfo);
    row1->addWidget(SpeedButtonExit);
    auto* row2 = new QHBoxLayout;
    SpeedButtonWrite = MakeButton(ButtonBar, tr("Reload && &Write"), glyph::Write,
                                  tr("Reload choosen file and write to µController"), 28);
    QFont bold = SpeedButtonWrite->font();
    bold.setBold(true);
    SpeedButtonWrite->setFont(bold);
    SpeedButtonWrite->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    SpeedButtonReset = MakeButton(ButtonBar, tr("&Reset"), glyph::Reset, tr("reset pulse 100ms for connected microcontroller"));
    SpeedButtonHex = MakeButton(ButtonBar, tr("&Hex..."), glyph::Hex, tr("read & write microcontroller with hex dump view"));
    SpeedButtonReset->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Expanding);
    SpeedButtonHex->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Expanding);
    row2->addWidget(SpeedButtonWrite, 1);
    row2->addWidget(SpeedButtonReset);
    row2->addWidget(SpeedButtonHex);
    rows->addLayout(row1);
    rows->addLayout(row2);
    column->addWidget(ButtonBar);

    // Memory, start address, verify and backup.
    QGridLayout* memory = MakePanel(central);
    PanelMemory = memory->parentWidget();
    RadioButtonFlash = new QRadioButton(tr("&program memory (Flash)"), PanelMemory);
    RadioButtonFlash->setToolTip(tr("write into Flash memory"));
    RadioButtonFlash->setChecked(true);
    RadioButtonEEPROM = new QRadioButton(tr("&data memory (E²PROM)"), PanelMemory);
    RadioButtonEEPROM->setToolTip(tr("write into E²PROM memory"));
    Label4 = new QLabel(tr("&Start address:"), PanelMemory);
    EditAddress = new QLineEdit(U("0000h"), PanelMemory);
    // Hex digits with or without a trailing "h"; what else is typed never reaches the field.
    EditAddress->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,5}[hH]?")), EditAddress));
    EditAddress->installEventFilter(this);
    connect(EditAddress, &QLineEdit::editingFinished, this, &TFormMain::EditAddressExit);
    EditAddress->setToolTip(tr("first address for writing data"));
    EditAddress->setAlignment(Qt::AlignCenter);
    {
        QPalette pal = EditAddress->palette();
        pal.setColor(QPalette::Base, Rgb(kSkyBlue));
        EditAddress->setPalette(pal);
        EditAddress->setFixedWidth(EditAddress->fontMetrics().horizontalAdvance(QStringLiteral("00000h")) + 12);
    }
    Label4->setBuddy(EditAddress);
    auto* address = new QHBoxLayout;
    address->setSpacing(1);
    address->addWidget(Label4);
    address->addSpacing(4);
    address->addWidget(EditAddress);
    for (size_t i = 0; i < SpinButton.size(); ++i) {
        SpinButton[i] = new TSpinButton(PanelMemory);
        address->addWidget(SpinButton[i]);
        const int digit = static_cast<int>(i);
        connect(SpinButton[i], &TSpinButton::UpClick, this, [this, digit] { SpinButtonUpClick(digit); });
        connect(SpinButton[i], &TSpinButton::DownClick, this, [this, digit] { SpinButtonDownClick(digit); });
        const QString step = AddressText(kSpinSteps[i]);
        SpinButton[i]->UpButton->setAccessibleName(tr("Start address up by %1").arg(step));
        SpinButton[i]->DownButton->setAccessibleName(tr("Start address down by %1").arg(step));
    }
    address->addStretch(1);
    CheckBoxVerify = new QCheckBox(tr("&Verify"), PanelMemory);
    CheckBoxVerify->setToolTip(tr("read data after write and verify"));
    CheckBoxBackup = new QCheckBox(tr("&Backup"), PanelMemory);
    CheckBoxBackup->setToolTip(tr("Backup/restore EEPROM/flash contents"));
    for (QWidget* w : {static_cast<QWidget*>(CheckBoxBackup), static_cast<QWidget*>(RadioButtonEEPROM)}) {
        // Showing or hiding them for a profile must not move the other controls.
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }
    auto* checks = new QHBoxLayout;
    checks->addWidget(CheckBoxVerify);
    checks->addSpacing(8);
    checks->addWidget(CheckBoxBackup);
    checks->addStretch(1);
    memory->addWidget(RadioButtonFlash, 0, 0);
    memory->addWidget(RadioButtonEEPROM, 1, 0);
    memory->addLayout(address, 0, 1);
    memory->addLayout(checks, 1, 1);
    memory->setColumnStretch(1, 1);
    column->addWidget(PanelMemory, 1);

    // File and profile information, progress.
    QGridLayout* info = MakePanel(central);
    PanelFile = info->parentWidget();
    Label1 = new QLabel(tr("File name:"), PanelFile);
    LabelFileName = new TFileNameLabel(PanelFile);
    LabelFileName->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    {
        QPalette pal = LabelFileName->palette();
        pal.setColor(QPalette::WindowText, pal.color(QPalette::Highlight).darker(130));
        LabelFileName->setPalette(pal);
    }
    Label2 = new QLabel(tr("Data size:"), PanelFile);
    LabelFileSize = new QLabel(PanelFile);
    Label5 = new QLabel(tr("File format:"), PanelFile);
    LabelFormat = new QLabel(U("?"), PanelFile);
    Label6 = new QLabel(tr("Profile:"), PanelFile);
    LabelProfile = new QLabel(PanelFile);
    LabelProfile->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Label3 = new QLabel(tr("Write / read progress:"), PanelFile);
    LabelTime = new QLabel(U("0s"), PanelFile);
    LabelTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Gauge1 = new QProgressBar(PanelFile);
    Gauge1->setTextVisible(false);
    Gauge1->setRange(0, 100);
    Gauge1->setValue(0);
    Gauge1->setFixedHeight(16);
    Gauge1->setStyleSheet(QtProgress::GaugeStyle(kColorWriting, kSkyBlue));
    info->addWidget(Label1, 0, 0);
    info->addWidget(LabelFileName, 0, 1, 1, 3);
    info->addWidget(Label2, 1, 0);
    info->addWidget(LabelFileSize, 1, 1);
    info->addWidget(Label5, 1, 2);
    info->addWidget(LabelFormat, 1, 3);
    info->addWidget(Label6, 2, 0);
    info->addWidget(LabelProfile, 2, 1, 1, 3);
    SpeedButtonStop = new QToolButton(PanelFile);
    SpeedButtonStop->setText(tr("&Stop"));
    SpeedButtonStop->setToolTip(tr("Stop the running write (Esc); a backup is still written back"));
    SpeedButtonStop->setVisible(false);
    auto* timeRow = new QHBoxLayout;
    timeRow->setContentsMargins(0, 0, 0, 0);
    timeRow->addWidget(SpeedButtonStop);
    timeRow->addWidget(LabelTime, 1);
    info->addWidget(Label3, 3, 0, 1, 2);
    info->addLayout(timeRow, 3, 2, 1, 2);
    info->addWidget(Gauge1, 4, 0, 1, 4);
    info->setColumnStretch(1, 1);
    info->setColumnStretch(3, 1);
    column->addWidget(PanelFile, 2);
    setCentralWidget(central);

    // Status bar: port, connection, result of the last write, messages.
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);
    const QFontMetrics fm = bar->fontMetrics();
    QStringList portNames;
    for (const auto& name : PortNames) portNames << U(name);
    const int pad = 10;
    const int widths[3] = {
        std::max(42, std::accumulate(portNames.cbegin(), portNames.cend(), 0,
                                     [&fm](int w, const QString& n) { return std::max(w, fm.horizontalAdvance(n)); }) + pad),
        std::max(68, TextWidth(fm, {tr("opened"), tr("closed")}) + pad),
        std::max(50, TextWidth(fm, {ShownMessage(ProgResultText(0)), ShownMessage(ProgResultText(1)),
                                    ShownMessage(ProgResultText(2)), ShownMessage(ProgResultText(3))}) + pad),
    };
    QStringList messages = {U(IdleStatusText), tr(kNoPortText)};
    for (size_t i = 1; i < std::size(kConnectTexts); ++i) messages << tr(kConnectTexts[i]);
    for (size_t i = 1; i < std::size(kFileErrorTexts); ++i) messages << tr(kFileErrorTexts[i]);
    int messageWidth = 50;
    for (const QString& m : messages) messageWidth = std::max(messageWidth, fm.horizontalAdvance(m) + pad);
    for (size_t i = 0; i < StatusPanel.size(); ++i) {
        auto* panel = new QLabel(bar);
        panel->setAlignment(Qt::AlignCenter);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (i < 3) {
            panel->setFixedWidth(widths[i]);
        } else {
            panel->setMinimumWidth(messageWidth);
        }
        bar->addWidget(panel, i < 3 ? 0 : 1);
        StatusPanel[i] = panel;
    }
    SetStatusText(1, tr("closed"));
    SetStatusText(3, U(IdleStatusText));

    // Pop-up menu of the Options button.
    PopupMenu1 = new QMenu(this);
    copysettingsascommandlineparametersintoclipboard1 =
        PopupMenu1->addAction(tr("&copy settings as command line parameters into clipboard"));
    viewcommandlineparameters1 = PopupMenu1->addAction(tr("&view command line parameters"));
    SpeedButtonOptions->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(SpeedButtonOptions, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(SpeedButtonOptions->mapToGlobal(pos)); });
    connect(copysettingsascommandlineparametersintoclipboard1, &QAction::triggered, this,
            &TFormMain::copysettingsascommandlineparametersintoclipboard1Click);
    connect(viewcommandlineparameters1, &QAction::triggered, this, &TFormMain::viewcommandlineparameters1Click);

    TimerReset = new QTimer(this);
    TimerReset->setInterval(100);
    TimerReset->setSingleShot(true);
    connect(TimerReset, &QTimer::timeout, this, &TFormMain::TimerResetTimer);
    TimerExec = new QTimer(this);
    TimerExec->setInterval(500);
    TimerExec->setSingleShot(true);
    connect(TimerExec, &QTimer::timeout, this, &TFormMain::TimerExecTimer);

    connect(SpeedButtonFile, &QToolButton::clicked, this, &TFormMain::SpeedButtonFileClick);
    connect(SpeedButtonConnect, &QToolButton::clicked, this, &TFormMain::SpeedButtonConnectClick);
    connect(SpeedButtonOptions, &QToolButton::clicked, this, &TFormMain::SpeedButtonOptionsClick);
    connect(SpeedButtonInfo, &QToolButton::clicked, this, &TFormMain::SpeedButtonInfoClick);
    connect(SpeedButtonExit, &QToolButton::clicked, this, &TFormMain::SpeedButtonExitClick);
    connect(SpeedButtonWrite, &QToolButton::clicked, this, &TFormMain::SpeedButtonWriteClick);
    connect(SpeedButtonReset, &QToolButton::clicked, this, &TFormMain::SpeedButtonResetClick);
    connect(SpeedButtonHex, &QToolButton::clicked, this, &TFormMain::SpeedButtonHexClick);
    connect(SpeedButtonStop, &QToolButton::clicked, this, &TFormMain::StopRun);
    connect(RadioButtonEEPROM, &QRadioButton::clicked, this, &TFormMain::RadioButtonEEPROMClick);

    SpeedButtonWrite->setEnabled(false);
    SpeedButtonReset->setEnabled(false);
}

void TFormMain::CreateTrayIcon() {
    // On this platform the application's system menu is the tray icon's menu.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    TrayIcon = new QSystemTrayIcon(Glyph(U(glyph::Program)), this);
    TrayIcon->setToolTip(QApplication::applicationName());
    auto* menu = new QMenu(this);
    connect(menu->addAction(tr("Reload && Write")), &QAction::triggered, this, [this] { SystemMenuHook(kSysCmdWrite); });
    connect(menu->addAction(tr("Reset")), &QAction::triggered, this, [this] { SystemMenuHook(kSysCmdReset); });
    TrayIcon->setContextMenu(menu);
    TrayIcon->show();
}

void TFormMain::PlaceWindow() {
    QPoint pos(Config.MainX, Config.MainY);
    // A position left from a screen that is no longer there would hide the window.
    if (QGuiApplication::screenAt(pos + QPoint(40, 20)) == nullptr) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) pos = screen->availableGeometry().topLeft() + QPoint(10, 10);
    }
    move(pos);
}

void TFormMain::FitWindowSize() {
    // The client area is 393 × 284 unless the fonts need more room.
    centralWidget()->layout()->activate();
    const QSize hint = sizeHint();
    // The status bar lays its panels out only once shown: their room is
    // added up here, with the bar's spacing and margins.
    int statusWidth = 2 * statusBar()->style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    for (const QLabel* panel : StatusPanel)
        if (panel != nullptr) statusWidth += panel->minimumWidth() + 8;
    setFixedSize(std::max({393, hint.width(), statusWidth}), std::max(284, hint.height()));
}

void TFormMain::ApplyCommandLinePort() {
    if (Config.CmdCOM <= 0 && Config.CmdPort.empty()) return;
    const int32_t index = CommandLinePortIndex(PortNames, Config.CmdCOM, Config.CmdPort);
    if (index >= 0) {
        Config.COMIndex = index;
        return;
    }
    const std::string asked = Config.CmdCOM > 0 ? std::to_string(Config.CmdCOM) : Config.CmdPort;
    std::fprintf(stderr, "kestrin: no serial port for /C=%s; the stored port is used\n", asked.c_str());
}

void TFormMain::SetStatusText(int panel, const QString& text) {
    if (panel < 0 || panel >= static_cast<int>(StatusPanel.size())) return;
    StatusPanel[static_cast<size_t>(panel)]->setText(text);
    StatusPanel[static_cast<size_t>(panel)]->setToolTip(text);
}

QString TFormMain::StatusText(int panel) const {
    if (panel < 0 || panel >= static_cast<int>(StatusPanel.size())) return {};
    return StatusPanel[static_cast<size_t>(panel)]->text();
}

void TFormMain::UpdateButtonStates() {
    SpeedButtonConnect->setChecked(Connected);
    SpeedButtonWrite->setEnabled(!Config.LastFile.empty() && Connected);
    SpeedButtonReset->setEnabled(Connected);
    SpeedButtonWrite->setToolTip(WriteButtonHint());
}

QString TFormMain::WriteButtonHint() const {
    // A disabled button says what is missing, so nobody has to guess.
    if (running_) return tr("A run is going: wait for it to end or stop it (Esc)");
    if (Config.LastFile.empty()) return tr("No file chosen: choose one with File...");
    if (!Connected) return tr("Not connected: connect to the Veltro with Connect");
    return tr("Reload choosen file and write to µController");
}

int64_t TFormMain::StartAddressLimit() const {
    // The last address of the chosen memory of the chosen controller.
    const int64_t size = MemoryLimit(SelectedProfile().Type, RadioButtonEEPROM->isChecked());
    return std::max<int64_t>(size - 1, 0);
}

void TFormMain::EditAddressExit() {
    if (running_) return;
    const std::optional<int64_t> typed = ParseAddressText(EditAddress->text());
    if (typed && *typed <= StartAddressLimit()) {
        SetStartAddress(*typed);
        return;
    }
    // Refused in place: the old value comes back, the reason goes to the status bar.
    EditAddress->setText(AddressText(Config.Startaddress));
    SetStatusText(3, tr("start address: 0000h … %1").arg(AddressText(static_cast<int32_t>(StartAddressLimit()))));
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == EditAddress && event->type() == QEvent::KeyPress && !running_) {
        int step = 0;
        switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Up: step = kLineStep; break;
            case Qt::Key_Down: step = -kLineStep; break;
            case Qt::Key_PageUp: step = kPageStep; break;
            case Qt::Key_PageDown: step = -kPageStep; break;
            default: break;
        }
        if (step != 0) {
            // What was typed counts first, so the step goes from the value shown.
            EditAddressExit();
            SetStartAddress(static_cast<int64_t>(Config.Startaddress) + step);
            EditAddress->selectAll();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::ShowProfileCaption() {
    const TProfile& profile = SelectedProfile();
    const auto next = NextSerialNumber(profile);
    LabelProfile->setText(next ? tr("%1 (next serial number: %2)").arg(U(profile.Name)).arg(*next)
                               : U(profile.Name));
}

void TFormMain::SetupDlg() {
    const uint8_t type = SelectedProfile().Type;
    CheckBoxBackup->setVisible(type == ctAT89S8253);
    const bool noEEPROM = type == ctAT89S52 || type == ctAT89S53;
    if (noEEPROM) {
        Config.Memory = false;
        RadioButtonFlash->setChecked(true);
    }
    RadioButtonEEPROM->setVisible(!noEEPROM);
    QCoreApplication::processEvents();
    if (FirstSetup) {
        FirstSetup = false;
        StartAction = Config.ShowHelp                              ? saShowHelp
                      : Config.ExecMode >= 0 || Config.CmdRestore ? saUnattendedWrite
                                                                  : saNothing;
        TimerExec->start();
    }
}

void TFormMain::SelectDataFile(const std::string& fileName, int filterIndex) {
    if (fileName.empty()) {
        LabelFileName->setText(tr(kNoFileText));
        LabelFileSize->setText(tr(kNoFileText));
        SetStatusText(3, U(IdleStatusText));
        return;
    }
    std::vector<uint8_t> image;
    int32_t size = 0;
    int result = ReadDataFile(fileName, filterIndex, image, size);
    image.clear();
    if (result == FileOk && size > kMaxFileSize) result = 4;
    if (result == FileOk) {
        // The file and the type it is read with change together, or not at all.
        filterIndex_ = filterIndex;
        Config.LastFile = fileName;
        currentFile_ = fileName;
        LabelFormat->setText(FormatText(filterIndex_));
        LabelFileName->setText(U(fileName));
        LabelFileSize->setText(SizeText(size));
        SetStatusText(3, U(IdleStatusText));
        // The last result belongs to the file before.
        ClearOutcome(StatusPanel[2]);
    } else if (result > 0 && result < static_cast<int>(std::size(kFileErrorTexts))) {
        SetStatusText(3, tr(kFileErrorTexts[result]));
    }
    Gauge1->setValue(0);
    UpdateButtonStates();
    LabelFileName->setToolTip(LabelFileName->text());
    if (result != FileOk && LabelFileName->text().isEmpty()) {
        LabelFileName->setText(tr(kNoFileText));
        LabelFileSize->setText(tr(kNoFileText));
    }
}

void TFormMain::SetStartAddress(int64_t address) {
    const auto clamped = static_cast<int32_t>(std::clamp<int64_t>(address, 0, StartAddressLimit()));
    Config.Startaddress = clamped;
    EditAddress->setText(AddressText(clamped));
}

void TFormMain::SpinButtonUpClick(int digit) {
    if (running_ || digit < 0 || digit > 3) return;
    SetStartAddress(static_cast<int64_t>(Config.Startaddress) + kSpinSteps[digit]);
}

void TFormMain::SpinButtonDownClick(int digit) {
    if (running_ || digit < 0 || digit > 3) return;
    SetStartAddress(static_cast<int64_t>(Config.Startaddress) - kSpinSteps[digit]);
}

void TFormMain::RadioButtonEEPROMClick() {
    if (!running_) SetStartAddress(Config.Startaddress);
}

void TFormMain::SpeedButtonFileClick() {
    if (running_) return;
    TFileDialog dialog;
    dialog.Title = tr("Choose file for later reload & write").toStdString();
    dialog.Filter = DataFileFilter;
    dialog.FilterIndex = filterIndex_;
    dialog.FileName = currentFile_;
    dialog.MustExist = true;
    if (!Prompts().OpenFile(dialog)) return;
    SelectDataFile(dialog.FileName, dialog.FilterIndex);
}

void TFormMain::SpeedButtonConnectClick() {
    if (running_) return;
    TCursor cursor(Qt::WaitCursor);
    QCoreApplication::processEvents();
    if (Connected) {
        Ops.SetReady(0);
        Ops.Disconnect();
        SetStatusText(1, tr("closed"));
        ClearOutcome(StatusPanel[2]);
        SetStatusText(3, U(IdleStatusText));
        Connected = false;
    } else {
        const int32_t result = Ops.Connect(Config.COMIndex, 1);
        if (result == VELTRO_CONNECT_OK) {
            SetStatusText(1, tr("opened"));
            SetStatusText(3, U(IdleStatusText));
            Connected = true;
            const TProfile& profile = SelectedProfile();
            Ops.SetEnables(0, 1);
            Ops.SetLevels(profile.SCK, profile.MOSI, profile.MISO);
            Ops.SetCycleTime(0);
        } else if (result > 0 && result < static_cast<int32_t>(std::size(kConnectTexts))) {
            SetStatusText(3, tr(kConnectTexts[result]));
        }
    }
    UpdateButtonStates();
    Gauge1->setValue(0);
}

void TFormMain::SpeedButtonOptionsClick() {
    if (running_ || FormOptions == nullptr) return;
    if (!FormOptions->Execute()) return;
    ShowProfileCaption();
    SetStatusText(0, PortNameAt(Config.COMIndex));
    SetupDlg();
}

void TFormMain::SpeedButtonInfoClick() {
    if (running_ || FormAbout == nullptr) return;
    FormAbout->Execute(static_cast<uint8_t>(Ops.GetFirmware() & 0xFF));
}

void TFormMain::SpeedButtonExitClick() {
    if (running_) return;
    close();
}

void TFormMain::SpeedButtonHexClick() {
    if (running_ || FormRead == nullptr) return;
    FormRead->RefreshView();
    FormRead->exec();
}

void TFormMain::viewcommandlineparameters1Click() {
    if (FormHelp != nullptr) FormHelp->Execute();
}

void TFormMain::copysettingsascommandlineparametersintoclipboard1Click() {
    TCommandLineSettings s;
    s.PortName = PortNameAt(Config.COMIndex).toStdString();
    s.ProfileIndex = SelectedProfileIndex();
    s.EEPROM = RadioButtonEEPROM->isChecked();
    s.StartAddress = Config.Startaddress;
    s.FileName = Config.LastFile;
    s.Verify = CheckBoxVerify->isChecked();
    s.Backup = CheckBoxBackup->isChecked();
    // An unattended run writes only when connected at its start.
    s.Autoconnect = true;
    QGuiApplication::clipboard()->setText(U(SettingsCommandLine(s)));
    SetStatusText(3, tr("Copied: add /S=1 to write unattended"));
}

void TFormMain::SpeedButtonResetClick() {
    if (!SpeedButtonReset->isEnabled()) return;
    Ops.SetEnables(1, 1);
    Ops.SetLEDs(1, 0);
    TimerReset->start();
}

void TFormMain::TimerResetTimer() {
    TimerReset->stop();
    Ops.SetEnables(0, 1);
    Ops.SetLEDs(0, 1);
}

bool TFormMain::SystemMenuHook(int command) {
    switch (command) {
        case kSysCmdWrite: SpeedButtonWriteClick(); return true;
        case kSysCmdReset: SpeedButtonResetClick(); return true;
        default: return false;
    }
}

TJobRequest TFormMain::RunRequest() const {
    TJobRequest request;
    request.FileName = currentFile_;
    request.FileType = filterIndex_;
    request.EEPROM = RadioButtonEEPROM->isChecked();
    request.StartAddress = Config.Startaddress;
    request.Verify = CheckBoxVerify->isChecked();
    // Also when the box is hidden: the routines of the other types ignore it.
    request.Backup = CheckBoxBackup->isChecked();
    request.Profile = SelectedProfile();
    request.Port = PortNameAt(Config.COMIndex).toStdString();
    // A file chosen as binary that holds records or a program is asked
    // about; an unattended run has nobody to ask and refuses it.
    if (Config.ExecMode < 0 && !NoDisplay) {
        request.AskFormat = [](const std::string& question) {
            return Ask(TMsgKind::Confirmation, question, TMsgButtons::YesNo) == TMsgResult::Yes;
        };
    }
    return request;
}

void TFormMain::StopRun() {
    if (running_) stop_.Request();
}

void TFormMain::SpeedButtonWriteClick() {
    if (running_) return;
    LastWriteOk = false;
    writeAttempted_ = false;
    lastOutcome_ = TJobOutcome{};
    if (!SpeedButtonWrite->isEnabled()) return;
    writeAttempted_ = true;
    // A reset pulse still running would release the target in the middle of the write.
    if (TimerReset->isActive()) TimerResetTimer();
    TRunGuard guard(*this);
    ClearOutcome(StatusPanel[2]);
    stop_.Clear();

    QtProgress progress(Gauge1, LabelTime, kSkyBlue);
    lastOutcome_ = RunWriteJob(RunRequest(), progress, &stop_);
    // A locked AT90S is written only after a chip erase the user agreed to.
    if (lastOutcome_.LockedChip && Config.ExecMode < 0 && !NoDisplay &&
        Ask(TMsgKind::Confirmation,
            lastOutcome_.Message + "\n\n" +
                tr("Erase the chip and write the file? Everything the chip holds is lost.").toStdString(),
            TMsgButtons::YesNoDefaultNo) == TMsgResult::Yes) {
        const TJobOutcome erased = RunEraseJob(SelectedProfile(), progress, &stop_);
        lastOutcome_ = erased.Ok() ? RunWriteJob(RunRequest(), progress, &stop_) : erased;
    }
    LabelFormat->setText(FormatText(filterIndex_));
    LabelFileSize->setText(SizeText(lastOutcome_.FileSize));
    ShowWriteOutcome();
    LastWriteOk = lastOutcome_.Ok();
}

void TFormMain::ShowWriteOutcome() {
    const TJobOutcome& outcome = lastOutcome_;
    if (outcome.Result == TJobResult::Refused) {
        Ask(outcome.Informational ? TMsgKind::Information : TMsgKind::Error, outcome.Message, TMsgButtons::Cancel);
        return;
    }
    ShowOutcome(StatusPanel[2], outcome);
    if (outcome.FirstDifference) SetStatusText(3, ShownMessage(DifferenceText(*outcome.FirstDifference)));
    // An unattended run says it on standard error with its outcome.
    if (!outcome.BackupFile.empty() && Config.ExecMode < 0 && !NoDisplay) {
        TCursor arrow(Qt::ArrowCursor);
        Ask(TMsgKind::Warning, outcome.Message, TMsgButtons::Ok);
    }
}

TJobOutcome TFormMain::RestoreBackup(const TPendingBackup& backup) {
    TProfile profile = SelectedProfile();
    if (profile.Type != backup.Record.ControllerType) {
        for (int32_t i = 0; i < Config.ProfileCount; ++i) {
            if (ProfileTable[static_cast<size_t>(i)].Type != backup.Record.ControllerType) continue;
            profile = ProfileTable[static_cast<size_t>(i)];
            break;
        }
    }
    TRunGuard guard(*this);
    ClearOutcome(StatusPanel[2]);
    QtProgress progress(Gauge1, LabelTime, kSkyBlue);
    TJobOutcome outcome = RestorePendingBackup(backup, profile, progress);
    ShowOutcome(StatusPanel[2], outcome);
    return outcome;
}

bool TFormMain::UnattendedPendingBackups() {
    bool allBack = true;
    for (const TPendingBackup& backup : FindPendingBackups()) {
        if (!Config.CmdRestore || backup.Damaged) {
            std::fprintf(stderr, "kestrin: %s%s\n", PendingBackupText(backup).c_str(),
                         backup.Damaged ? "" : "; /R=1 writes it back");
            continue;
        }
        TJobOutcome outcome;
        if (!Connected) {
            outcome.Message = "not connected to Veltro (/T=1 is required for programming); the backup stays in " +
                              backup.File;
        } else {
            outcome = RestoreBackup(backup);
        }
        std::fprintf(stderr, "kestrin: restore of %s: %s\n", backup.File.c_str(),
                     outcome.Ok() ? "Ok" : outcome.Message.c_str());
        if (!outcome.Ok()) {
            allBack = false;
            ExitCode = outcome.ExitCode();
        }
    }
    std::fflush(stderr);
    return allBack;
}

void TFormMain::OfferPendingBackups() {
    for (const TPendingBackup& backup : FindPendingBackups()) {
        if (backup.Damaged) {
            Ask(TMsgKind::Warning, tr("The backup file %1.").arg(QString::fromStdString(PendingBackupText(backup))).toStdString(),
                TMsgButtons::Ok);
            continue;
        }
        const QString found = tr("A write was cut off before it could put a backup back into the chip: %1.")
                                  .arg(QString::fromStdString(PendingBackupText(backup)));
        if (Ask(TMsgKind::Confirmation, tr("%1\n\nWrite it back into the attached chip now?").arg(found).toStdString(),
                TMsgButtons::YesNo) == TMsgResult::Yes) {
            if (!Connected) {
                Ask(TMsgKind::Information, tr("Connect to Veltro first. The backup stays where it is.").toStdString(),
                    TMsgButtons::Ok);
            } else {
                const TJobOutcome outcome = RestoreBackup(backup);
                if (outcome.Ok()) continue;
                Ask(TMsgKind::Error, outcome.Message, TMsgButtons::Ok);
            }
        }
        if (Ask(TMsgKind::Confirmation, tr("%1\n\nSave it as a binary file elsewhere?").arg(found).toStdString(),
                TMsgButtons::YesNo) != TMsgResult::Yes)
            continue;  // kept for later
        TFileDialog dialog;
        dialog.Title = tr("Save backup of the %1").arg(QString::fromUtf8(MemoryName(backup.Record.EEPROM))).toStdString();
        dialog.Filter = "binary files|*.bin|any binary file|*.*";
        dialog.FilterIndex = 1;
        dialog.FileName = backup.Record.EEPROM ? "backup-eeprom.bin" : "backup-flash.bin";
        if (!Prompts().SaveFile(dialog)) continue;
        std::string error;
        if (!SaveBackupAs(backup, dialog.FileName, error))
            Ask(TMsgKind::Error, tr("Can't write file! %1").arg(QString::fromStdString(error)).toStdString(), TMsgButtons::Ok);
    }
}

void TFormMain::TimerExecTimer() {
    TimerExec->stop();
    switch (StartAction) {
        case saShowHelp:
            if (NoDisplay) {
                std::printf("%s\n", CommandLineHelpText);
                std::fflush(stdout);
            } else if (FormHelp != nullptr) {
                FormHelp->Execute();
            }
            RequestClose();
            show();
            break;
        case saUnattendedWrite: {
            // A backup that is not back stops the write: its erase would clear what is left of it.
            if (!UnattendedPendingBackups()) {
                LastWriteOk = false;
            } else if (Config.ExecMode >= 0) {
                UnattendedWrite();
            } else {
                LastWriteOk = true;  // only /R=1: the restore was all
            }
            // A start with /R=1 and no /S= ends as /S=1 would.
            const int mode = Config.ExecMode < 0 ? 1 : Config.ExecMode;
            // Without a display nobody could use a window left open.
            const bool end = NoDisplay || ((mode == 0 || mode == 2) ? LastWriteOk : mode == 1);
            if (end) {
                RequestClose();
            } else {
                show();
            }
            break;
        }
        default:
            if (!NoDisplay) OfferPendingBackups();
            break;
    }
}

void TFormMain::UnattendedWrite() {
    std::string outcome;
    std::string detail;
    // A file named on the command line that could not be read must not give
    // way to the one chosen in an earlier session.
    if (!cmdFileError_.empty()) {
        LastWriteOk = false;
        ExitCode = ecRefused;
        outcome = Config.CmdFile + ": " + cmdFileError_;
    } else {
        SpeedButtonWriteClick();
        ExitCode = writeAttempted_ ? lastOutcome_.ExitCode() : ecRefused;
        if (writeAttempted_) {
            outcome = lastOutcome_.Status.empty() ? lastOutcome_.Message : lastOutcome_.Status;
            // The detail on a line of its own, so the outcome line stays what scripts match.
            if (!lastOutcome_.Status.empty() && lastOutcome_.Message != lastOutcome_.Status)
                detail = lastOutcome_.Message;
        } else if (!Connected) {
            const QString status = StatusText(3);
            outcome = status != U(IdleStatusText) ? ScriptText(status)
                                                  : std::string("not connected to Veltro (/T=1 is required for programming)");
        } else {
            outcome = "no file selected";
        }
    }
    std::fprintf(stderr, "kestrin: unattended write: %s\n", outcome.c_str());
    if (!detail.empty()) std::fprintf(stderr, "kestrin: %s\n", detail.c_str());
    std::fflush(stderr);
}

void TFormMain::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && running_) {
        StopRun();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TFormMain::RequestClose() { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); }

void TFormMain::FormCloseQuery() {
    Ops.SetReady(0);
    Ops.Disconnect();
    Connected = false;
    SpeedButtonConnect->setChecked(false);
}

void TFormMain::FormClose() {
    Config.MainX = x();
    Config.MainY = y();
    Config.Memory = RadioButtonEEPROM->isChecked();
    Config.Verify = CheckBoxVerify->isChecked();
    Config.Backup = CheckBoxBackup->isChecked();
    Config.FileType = filterIndex_;
}

void TFormMain::closeEvent(QCloseEvent* event) {
    if (running_) {
        // The write must end first; the window closes when it returns. Asked
        // from the window, the user decides whether it stops; a close that
        // nobody asked for (a signal, the session ending) stops it.
        event->ignore();
        closeRequested_ = true;
        if (Ask(TMsgKind::Confirmation,
                tr("A write is running. Stop it? The window closes when the write has ended.").toStdString(),
                TMsgButtons::YesNo) == TMsgResult::Yes)
            StopRun();
        return;
    }
    FormCloseQuery();
    FormClose();
    event->accept();
    if (TrayIcon != nullptr) TrayIcon->hide();
    emit Closed();
}

}  // namespace kestrin
