#include "ui/UnitOptions.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "config/Prompts.h"
#include "devices/Detect.h"
#include "link/SPI.h"
#include "production/SerialNumber.h"
#include "ui/UnitNewProfile.h"

namespace kestrin {

int WaitPosition(const TWaitScale& scale, int32_t value) {
    return std::clamp(value / scale.Factor, static_cast<int32_t>(scale.Min), static_cast<int32_t>(scale.Max));
}

int32_t WaitValue(const TWaitScale& scale, int position) { return position * scale.Factor; }

std::string WaitText(const TWaitScale& scale, int position) {
    if (!scale.Tenths) return std::to_string(position) + "ms";
    return std::to_string(position / 10) + "," + std::to_string(position % 10) + "ms";
}

TWaitUpDown::TWaitUpDown(const TWaitScale& scale, QWidget* parent) : QSpinBox(parent), scale_(scale) {
    setRange(scale.Min, scale.Max);
    setSingleStep(scale.Step);
    setWrapping(false);
    setAlignment(Qt::AlignRight);
    lineEdit()->setReadOnly(true);
}

void TWaitUpDown::stepBy(int steps) {
    QSpinBox::stepBy(steps);
    emit Clicked();
}

QString TWaitUpDown::textFromValue(int value) const { return QString::fromStdString(WaitText(scale_, value)); }

// The text box cannot be edited, so its text never holds anything but the
// position it was made from.
int TWaitUpDown::valueFromText(const QString&) const { return value(); }

QValidator::State TWaitUpDown::validate(QString&, int&) const { return QValidator::Acceptable; }

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QString SerialHelp() {
    return QCoreApplication::translate(
        "kestrin::TFormOptions",
        "ADDR:LEN:FORMAT:FIRST[:STEP], e.g. 0x7FFC:4:le:1000: the serial number kestrin-cli produce writes into "
        "every chip; FORMAT le, be, bcd, dec or hex; empty: none");
}

// Types whose fuse or lock bits the features dialog handles.
bool HasFeatures(uint8_t type) {
    return type == ctATtiny || type == ctATmega || type == ctAT89S8253 || type == ctAT89S52;
}

QFrame* Band(QWidget* parent) {
    auto* band = new QFrame(parent);
    band->setFrameShape(QFrame::StyledPanel);
    return band;
}

QPushButton* Button(const QString& caption, const QString& hint, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setToolTip(hint);
    return button;
}

// What Detect found, in the words of the window.
QString ShownDetection(const TDetected& detected) {
    switch (detected.State) {
        case TDetected::TState::Known: return Q(DetectedText(detected));
        case TDetected::TState::Unknown: {
            QString bytes;
            for (uint8_t b : detected.Signature) bytes += QStringLiteral(" %1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
            return QCoreApplication::translate("kestrin::TFormOptions", "unknown signature%1").arg(bytes);
        }
        case TDetected::TState::Silent:
            return QCoreApplication::translate("kestrin::TFormOptions", "%1 does not report a signature").arg(Q(detected.Name));
        case TDetected::TState::Nothing: break;
    }
    return QCoreApplication::translate("kestrin::TFormOptions", "nothing answered");
}

// Hidden rows keep their place, so the window does not jump between profiles.
void KeepPlaceWhenHidden(QWidget* w) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
}

}  // namespace

TFormOptions* FormOptions = nullptr;

TFormOptions::TFormOptions(QWidget* parent) : TOkCancelDialog(tr("Options"), parent) { FormCreate(); }

TFormNewProfile& TFormOptions::NewProfileForm() {
    if (FormNewProfile != nullptr) return *FormNewProfile;
    if (ownNewProfile_ == nullptr) ownNewProfile_ = new TFormNewProfile(this);
    return *ownNewProfile_;
}

void TFormOptions::FormCreate() {
    Updating = false;

    // Port band.
    QFrame* portBand = Band(this);
    Label1 = new QLabel(tr("Serial &Port:"), portBand);
    ComboBox1 = new QComboBox(portBand);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    Label1->setBuddy(ComboBox1);
    for (const std::string& name : PortNames) ComboBox1->addItem(Q(name));
    ComboBox1->setCurrentIndex(PortNames.empty() ? -1 : 0);
    CheckBox1 = new QCheckBox(tr("try to &connect at program launch"), portBand);
    auto* portLayout = new QGridLayout(portBand);
    portLayout->addWidget(Label1, 0, 0);
    portLayout->addWidget(ComboBox1, 0, 1);
    portLayout->addWidget(CheckBox1, 1, 0, 1, 2);
    portLayout->setColumnStretch(1, 1);

    // Profile band.
    QFrame* profileBand = Band(this);
    Label2 = new QLabel(tr("Programming Profile:"), profileBand);
    ComboBox2 = new QComboBox(profileBand);
    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    ComboBox2->setEditable(false);
    ComboBox2->setMaxVisibleItems(12);
    ComboBox2->setMinimumContentsLength(24);
    LabelInfo = new QLabel(tr("(no information available)"), profileBand);
    LabelInfo->setTextFormat(Qt::PlainText);
    Label5 = new QLabel(tr("Profile changes of default profiles will be lost after program leave!"),
                        profileBand);
    Label5->setWordWrap(true);
    QPalette grey = Label5->palette();
    grey.setColor(QPalette::WindowText, grey.color(QPalette::Disabled, QPalette::WindowText));
    Label5->setPalette(grey);
    Label3 = new QLabel(tr("Microcontroller type:"), profileBand);

    static constexpr const char* kTypeCaptions[] = {"AT89S8252", "AT90xx",  "ATtiny", "ATmega",
                                                    "AT89S8253", "AT89S52", "AT89S53"};
    // Grid places (row, column) by type code: the 8051 types lead each column.
    static constexpr int kTypePlaces[][2] = {{0, 0}, {2, 0}, {3, 0}, {3, 1}, {1, 0}, {0, 1}, {1, 1}};
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    auto* typeGrid = new QGridLayout;
    for (size_t code = 0; code < RadioButtons.size(); ++code) {
        QRadioButton* rb = new QRadioButton(QLatin1String(kTypeCaptions[code]), profileBand);
        rb->setObjectName(QStringLiteral("RadioButton%1").arg(code + 1));
        group->addButton(rb, static_cast<int>(code));
        typeGrid->addWidget(rb, kTypePlaces[code][0], kTypePlaces[code][1]);
        connect(rb, &QRadioButton::clicked, this, &TFormOptions::RadioButton1Click);
        RadioButtons[code] = rb;
    }
    RadioButtons[ctAT89S8252]->setChecked(true);
    ButtonDetect = Button(tr("&Detect"), tr("read the signature of the attached controller and select its type"),
                          profileBand);
    typeGrid->addWidget(ButtonDetect, 2, 1);
    connect(ButtonDetect, &QPushButton::clicked, this, &TFormOptions::ButtonDetectClick);

    CheckBoxSCK = new QCheckBox(tr("SCK quiescent high"), profileBand);
    CheckBoxMISO = new QCheckBox(tr("MISO inverted"), profileBand);
    CheckBoxMOSI = new QCheckBox(tr("MOSI inverted"), profileBand);
    auto* flagRow = new QHBoxLayout;
    for (QCheckBox* box : {CheckBoxSCK, CheckBoxMISO, CheckBoxMOSI}) {
        flagRow->addWidget(box);
        connect(box, &QCheckBox::clicked, this, &TFormOptions::RadioButton1Click);
    }
    flagRow->addStretch(1);

    Label4 = new QLabel(tr("Programming wait time:"), profileBand);
    Label6 = new QLabel(tr("Flash"), profileBand);
    UpDown1 = new TWaitUpDown(WaitScaleFlash, profileBand);
    Label7 = new QLabel(tr("E²PROM"), profileBand);
    UpDown2 = new TWaitUpDown(WaitScaleEEPROM, profileBand);
    LabelCE = new QLabel(tr("Chip erase wait time:"), profileBand);
    UpDown3 = new TWaitUpDown(WaitScaleErase, profileBand);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown2->setObjectName(QStringLiteral("UpDown2"));
    UpDown3->setObjectName(QStringLiteral("UpDown3"));
    for (QWidget* w : {static_cast<QWidget*>(Label7), static_cast<QWidget*>(UpDown2),
                       static_cast<QWidget*>(LabelCE), static_cast<QWidget*>(UpDown3)})
        KeepPlaceWhenHidden(w);
    connect(UpDown1, &TWaitUpDown::Clicked, this, &TFormOptions::UpDown1Click);
    connect(UpDown2, &TWaitUpDown::Clicked, this, &TFormOptions::UpDown2Click);
    connect(UpDown3, &TWaitUpDown::Clicked, this, &TFormOptions::UpDown3Click);
    auto* waitGrid = new QGridLayout;
    waitGrid->addWidget(Label6, 0, 0);
    waitGrid->addWidget(UpDown1, 0, 1);
    waitGrid->addWidget(Label7, 0, 2);
    waitGrid->addWidget(UpDown2, 0, 3);
    waitGrid->addWidget(LabelCE, 1, 0, 1, 2);
    waitGrid->addWidget(UpDown3, 1, 3);
    LabelClock = new QLabel(tr("Target clock:"), profileBand);
    ComboClock = new QComboBox(profileBand);
    ComboClock->setObjectName(QStringLiteral("ComboClock"));
    ComboClock->setToolTip(tr("SPI clock for AVR targets: auto reads the clock fuses and checks the signature"));
    ComboClock->addItem(tr("slow"), 0);
    for (int mhz : {1, 8, 16}) ComboClock->addItem(QStringLiteral("%1 MHz").arg(mhz), mhz);
    ComboClock->addItem(tr("auto"), -1);
    KeepPlaceWhenHidden(LabelClock);
    KeepPlaceWhenHidden(ComboClock);
    connect(ComboClock, &QComboBox::activated, this, &TFormOptions::ComboClockChange);
    waitGrid->addWidget(LabelClock, 2, 0, 1, 2);
    waitGrid->addWidget(ComboClock, 2, 3);
    waitGrid->setColumnStretch(4, 1);

    LabelSerial = new QLabel(tr("Serial number:"), profileBand);
    EditSerial = new QLineEdit(profileBand);
    EditSerial->setObjectName(QStringLiteral("EditSerial"));
    EditSerial->setPlaceholderText(tr("none"));
    EditSerial->setToolTip(SerialHelp());
    LabelSerial->setBuddy(EditSerial);
    connect(EditSerial, &QLineEdit::textEdited, this, &TFormOptions::EditSerialChange);
    auto* serialRow = new QHBoxLayout;
    serialRow->addWidget(LabelSerial);
    serialRow->addWidget(EditSerial, 1);

    ButtonSave = Button(tr("Save profile as..."), tr("save settings under new profile"), profileBand);
    ButtonDelete =
        Button(tr("Delete profile..."), tr("delete the selected profile"), profileBand);
    ButtonFeature =
        Button(tr("Features..."), tr("read, modify and write fuse bits"), profileBand);
    KeepPlaceWhenHidden(ButtonFeature);
    connect(ButtonSave, &QPushButton::clicked, this, &TFormOptions::ButtonSaveClick);
    connect(ButtonDelete, &QPushButton::clicked, this, &TFormOptions::ButtonDeleteClick);
    connect(ButtonFeature, &QPushButton::clicked, this, &TFormOptions::ButtonFeatureClick);
    // Only the user's choice in the list counts as a selection, not the program's.
    connect(ComboBox2, &QComboBox::activated, this, &TFormOptions::ComboBox2Change);
    auto* profileButtons = new QHBoxLayout;
    profileButtons->addWidget(ButtonSave);
    profileButtons->addWidget(ButtonDelete);
    profileButtons->addWidget(ButtonFeature);

    auto* profileLayout = new QVBoxLayout(profileBand);
    auto* profileRow = new QHBoxLayout;
    profileRow->addWidget(Label2);
    profileRow->addWidget(ComboBox2, 1);
    profileLayout->addLayout(profileRow);
    profileLayout->addWidget(LabelInfo);
    profileLayout->addWidget(Label5);
    profileLayout->addWidget(Label3);
    profileLayout->addLayout(typeGrid);
    profileLayout->addLayout(flagRow);
    profileLayout->addWidget(Label4);
    profileLayout->addLayout(waitGrid);
    profileLayout->addLayout(serialRow);
    profileLayout->addLayout(profileButtons);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(portBand);
    outer->addWidget(profileBand);
    outer->addLayout(OkCancelRow());
    outer->setSizeConstraint(QLayout::SetFixedSize);
}

bool TFormOptions::Execute() {
    Open();
    if (exec() != QDialog::Accepted) return false;
    Commit();
    return true;
}

void TFormOptions::Open() {
    Updating = true;
    // A port index the list does not hold selects nothing, and OK then keeps it.
    const bool portKnown = Config.COMIndex >= 0 && Config.COMIndex < ComboBox1->count();
    ComboBox1->setCurrentIndex(portKnown ? Config.COMIndex : -1);
    CheckBox1->setChecked(Config.Autoconnect);

    WorkProfiles = ProfileTable;
    WorkCount = std::clamp(Config.ProfileCount, int32_t{0}, int32_t{MaxProfiles});
    ComboBox2->clear();
    for (int32_t i = 0; i < WorkCount; ++i) ComboBox2->addItem(Q(WorkProfiles[i].Name));
    ComboBox2->setCurrentIndex(WorkCount > 0 ? std::min(SelectedProfileIndex(), WorkCount - 1) : -1);
    Updating = false;

    Modified = false;
    ShowProfile();
    // Every opening starts on the first control, so Enter means OK and not
    // whatever button had the focus when the dialog last closed.
    ComboBox1->setFocus();
}

void TFormOptions::Commit() {
    if (ComboBox1->currentIndex() >= 0) Config.COMIndex = ComboBox1->currentIndex();
    Config.Autoconnect = CheckBox1->isChecked();
    const int chosen = ComboBox2->currentIndex();
    CommitProfiles(WorkProfiles, WorkCount, chosen >= 0 ? chosen : Config.ProfileIndex);
}

TProfile* TFormOptions::Selected() {
    const int i = ComboBox2->currentIndex();
    return i >= 0 && i < WorkCount ? &WorkProfiles[static_cast<size_t>(i)] : nullptr;
}

uint8_t TFormOptions::CheckedType(uint8_t fallback) const {
    for (size_t code = 0; code < RadioButtons.size(); ++code)
        if (RadioButtons[code]->isChecked()) return static_cast<uint8_t>(code);
    return fallback;
}

void TFormOptions::ShowProfile() {
    if (Updating) return;
    Updating = true;
    const TProfile* p = Selected();
    if (p == nullptr) {
        ButtonSave->setEnabled(false);
        ButtonDelete->setEnabled(false);
        ButtonFeature->setVisible(false);
        Updating = false;
        return;
    }
    LabelInfo->setText(Q(p->Info));
    // An unknown type code leaves the previous choice checked.
    if (p->Type < RadioButtons.size()) RadioButtons[p->Type]->setChecked(true);
    CheckBoxSCK->setChecked(p->SCK);
    CheckBoxMISO->setChecked(p->MISO);
    CheckBoxMOSI->setChecked(p->MOSI);

    UpDown1->setValue(WaitPosition(WaitScaleFlash, p->WaitFlash));
    // The rows follow the stored waits, not the type: a negative wait does not apply.
    const bool eeprom = p->WaitEEPROM >= 0;
    Label7->setVisible(eeprom);
    UpDown2->setVisible(eeprom);
    if (eeprom) UpDown2->setValue(WaitPosition(WaitScaleEEPROM, p->WaitEEPROM));
    const bool erase = p->WaitErase >= 0;
    LabelCE->setVisible(erase);
    UpDown3->setVisible(erase);
    if (erase) UpDown3->setValue(WaitPosition(WaitScaleErase, p->WaitErase));

    const bool avr = IsAvrType(p->Type);
    LabelClock->setVisible(avr);
    ComboClock->setVisible(avr);
    const int clockIndex = ComboClock->findData(p->TargetClock);
    ComboClock->setCurrentIndex(clockIndex >= 0 ? clockIndex : 0);

    std::string serialError;
    const auto serial = ProfileSerial(*p, serialError);
    // A hand-edited profile whose keys make no serial number shows them as they are, in red.
    EditSerial->setText(serial ? Q(SerialSeriesText(*serial))
                        : p->SerialFormat.empty()
                            ? QString()
                            : Q(std::to_string(p->SerialAddress) + ":" + std::to_string(p->SerialLength) + ":" +
                                p->SerialFormat + ":" + p->SerialFirst + ":" + p->SerialStep));
    EditSerial->setStyleSheet(serial || p->SerialFormat.empty() ? QString() : QStringLiteral("color: red"));
    EditSerial->setToolTip(serial || p->SerialFormat.empty() ? SerialHelp() : Q(serialError));

    ButtonSave->setEnabled(Modified && WorkCount < MaxProfiles);
    ButtonDelete->setEnabled(!p->IsDefault);
    ButtonFeature->setVisible(HasFeatures(p->Type));
    ButtonFeature->setEnabled(HasFeatures(p->Type));
    Updating = false;
}

void TFormOptions::EditSerialChange() {
    if (Updating) return;
    TProfile* p = Selected();
    if (p == nullptr) return;
    const std::string text = EditSerial->text().trimmed().toStdString();
    std::string error;
    const auto series = text.empty() ? std::nullopt : ParseSerialSeries(text, error);
    // Text that is no serial number leaves the profile as it was and shows why.
    EditSerial->setStyleSheet(error.empty() ? QString() : QStringLiteral("color: red"));
    EditSerial->setToolTip(error.empty() ? SerialHelp() : Q(error));
    if (!error.empty()) return;
    SetProfileSerial(*p, series);
    Modified = true;
    ButtonSave->setEnabled(WorkCount < MaxProfiles);
}

void TFormOptions::ComboBox2Change() {
    Modified = true;
    ShowProfile();
}

void TFormOptions::RadioButton1Click() {
    if (Updating) return;
    TProfile* p = Selected();
    if (p == nullptr) return;
    Updating = true;
    p->Type = CheckedType(p->Type);
    p->SCK = CheckBoxSCK->isChecked();
    p->MISO = CheckBoxMISO->isChecked();
    p->MOSI = CheckBoxMOSI->isChecked();
    Modified = true;
    Updating = false;
    ShowProfile();
}

void TFormOptions::SetWait(int32_t TProfile::*field, const TWaitUpDown& upDown) {
    if (Updating) return;
    TProfile* p = Selected();
    if (p == nullptr) return;
    p->*field = WaitValue(upDown.Scale(), upDown.value());
    Modified = true;
    ShowProfile();
}

void TFormOptions::UpDown1Click() { SetWait(&TProfile::WaitFlash, *UpDown1); }
void TFormOptions::UpDown2Click() { SetWait(&TProfile::WaitEEPROM, *UpDown2); }
void TFormOptions::ComboClockChange() {
    if (Updating) return;
    TProfile* p = Selected();
    if (p == nullptr) return;
    p->TargetClock = ComboClock->currentData().toInt();
    Modified = true;
    ShowProfile();
}

void TFormOptions::UpDown3Click() { SetWait(&TProfile::WaitErase, *UpDown3); }

void TFormOptions::ButtonSaveClick() {
    // A full table has no room; the button is disabled then.
    if (WorkCount >= MaxProfiles) return;
    const TProfile* shown = Selected();
    std::string name;
    std::string info = shown != nullptr ? shown->Info : std::string();
    if (!NewProfileForm().Execute(name, info)) return;

    TProfile p;
    p.Name = name;
    p.Info = info;
    p.IsDefault = false;
    p.Type = CheckedType(ctAT89S8252);
    p.SCK = CheckBoxSCK->isChecked();
    p.MISO = CheckBoxMISO->isChecked();
    p.MOSI = CheckBoxMOSI->isChecked();
    p.WaitFlash = WaitValue(UpDown1->Scale(), UpDown1->value());
    p.WaitEEPROM = UpDown2->isHidden() ? -1 : WaitValue(UpDown2->Scale(), UpDown2->value());
    p.WaitErase = UpDown3->isHidden() ? -1 : WaitValue(UpDown3->Scale(), UpDown3->value());
    p.TargetClock = IsAvrType(p.Type) ? ComboClock->currentData().toInt() : 0;
    if (!AddProfile(WorkProfiles, WorkCount, p)) return;

    ComboBox2->addItem(Q(p.Name));
    ComboBox2->setCurrentIndex(WorkCount - 1);
    ShowProfile();
}

void TFormOptions::ButtonDeleteClick() {
    const int i = ComboBox2->currentIndex();
    const TProfile* p = Selected();
    if (p == nullptr || p->IsDefault) return;
    if (Prompts().Message(TMsgKind::Confirmation, tr("Are you sure to delete the profile").toStdString() + "\r" + p->Name,
                          TMsgButtons::YesNo) != TMsgResult::Yes)
        return;
    if (!DeleteProfile(WorkProfiles, WorkCount, i)) return;
    ComboBox2->removeItem(i);
    ComboBox2->setCurrentIndex(i - 1);
    ShowProfile();
}

void TFormOptions::ButtonFeatureClick() {
    const TProfile* p = Selected();
    if (p == nullptr || !OnFeatures) return;
    OnFeatures(p->Type, CheckBoxSCK->isChecked(), CheckBoxMISO->isChecked(), CheckBoxMOSI->isChecked());
}

void TFormOptions::ButtonDetectClick() {
    if (Selected() == nullptr) return;
    if (!Connected) {
        Prompts().Message(TMsgKind::Error, tr("Connect the adapter first!").toStdString(), TMsgButtons::Ok);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TDetected found =
        DetectController(CheckBoxSCK->isChecked(), CheckBoxMISO->isChecked(), CheckBoxMOSI->isChecked());
    QApplication::restoreOverrideCursor();
    const QString text = ShownDetection(found);
    if (found.State == TDetected::TState::Silent) {
        Prompts().Message(TMsgKind::Information, tr("%1 (nor does the AT89S53): choose its profile yourself.").arg(text).toStdString(),
                          TMsgButtons::Ok);
        return;
    }
    if (found.State != TDetected::TState::Known || found.Type >= RadioButtons.size()) {
        Prompts().Message(TMsgKind::Warning, tr("No controller detected: %1!").arg(text).toStdString(), TMsgButtons::Ok);
        return;
    }
    // A profile is the user's: Detect only chooses among them, or adds one
    // when asked, and never retypes the one shown.
    if (Selected()->Type == found.Type) {
        Prompts().Message(TMsgKind::Information, tr("Detected %1.").arg(text).toStdString(), TMsgButtons::Ok);
        return;
    }
    for (int32_t i = 0; i < WorkCount; ++i)
        if (WorkProfiles[static_cast<size_t>(i)].Type == found.Type) {
            ComboBox2->setCurrentIndex(i);
            ComboBox2Change();
            Prompts().Message(TMsgKind::Information,
                              tr("Detected %1: profile \"%2\" selected.")
                                  .arg(text, Q(WorkProfiles[static_cast<size_t>(i)].Name))
                                  .toStdString(),
                              TMsgButtons::Ok);
            return;
        }
    if (WorkCount >= MaxProfiles) {
        Prompts().Message(TMsgKind::Warning,
                          tr("Detected %1, but no profile is for it and there is no room for another.").arg(text).toStdString(),
                          TMsgButtons::Ok);
        return;
    }
    if (Prompts().Message(TMsgKind::Confirmation,
                          tr("Detected %1. No profile is for it: create the profile \"%2\"?").arg(text, Q(found.Name)).toStdString(),
                          TMsgButtons::YesNo) != TMsgResult::Yes)
        return;
    TProfile p;
    p.Name = found.Name;
    p.Info = found.Name + ", found by Detect";
    p.Type = found.Type;
    p.SCK = CheckBoxSCK->isChecked();
    p.MISO = CheckBoxMISO->isChecked();
    p.MOSI = CheckBoxMOSI->isChecked();
    if (!AddProfile(WorkProfiles, WorkCount, p)) return;
    ComboBox2->addItem(Q(p.Name));
    ComboBox2->setCurrentIndex(WorkCount - 1);
    ShowProfile();
}

}  // namespace kestrin
