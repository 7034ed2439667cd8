#include "ui/UnitAbout.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/ScreenPlace.h"
#include "ui/UrlLabel.h"

namespace kestrin {

TFormAbout* FormAbout = nullptr;

const char* const ProgramVersion = "1.4";

namespace {

// Until the project has a domain of its own, its addresses live under example.org.
const char* const kMagazineAddress = "https://corvane.example.org/";
const char* const kProjectAddress = "https://kestrin.example.org/controllers/";
const char* const kContactAddress = "kestrin@example.org";
const char* const kSupportAddress = "kestrin-support@example.org";
const char* const kProductLine = "Veltro Flash V1.0 (KVF-0104)";
const char* const kNoticeLine = QT_TRANSLATE_NOOP("kestrin::TFormAbout", "Written & maintained by the Kestrin project");

QLabel* NewLabel(const QString& text, QWidget* parent) { return new QLabel(text, parent); }

TUrlLabel* NewLink(TUrlType type, const QString& address, QWidget* parent) {
    auto* link = new TUrlLabel(parent);
    // The target stays the label's own business: only "contact to author" pops up here.
    link->SetShowHint(false);
    link->setText(address);
    link->SetURLType(type);
    link->SetURL(address);
    return link;
}

QFrame* NewBand(QWidget* parent) {
    auto* band = new QFrame(parent);
    band->setFrameShape(QFrame::StyledPanel);
    band->setFrameShadow(QFrame::Sunken);
    return band;
}

}  // namespace

QString FirmwareText(uint8_t firmware) {
    if (firmware == 0) return TFormAbout::tr("not available (no connection to Veltro)");
    return QString::number(firmware >> 4, 16).toUpper() + QLatin1Char('.') +
           QString::number(firmware & 15, 16).toUpper();
}

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About this program"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    // Title and version.
    QFrame* bandTitle = NewBand(this);
    Image1 = new QLabel(bandTitle);
    Image1->setFixedSize(32, 32);
    Image1->setAttribute(Qt::WA_TranslucentBackground);
    Image1->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    Label1 = NewLabel(tr("µC Programmer over Veltro"), bandTitle);
    QFont titleFont = Label1->font();
    titleFont.setBold(true);
    titleFont.setPointSize(10);
    Label1->setFont(titleFont);
    QPalette titlePalette = Label1->palette();
    titlePalette.setColor(QPalette::WindowText, palette().color(QPalette::Link));
    Label1->setPalette(titlePalette);
    LabelVersion = NewLabel(QString(), bandTitle);
    LabelCorvane = NewLabel(tr("(Corvane Edition)"), bandTitle);
    Label2 = NewLabel(QString(), bandTitle);
    Label2->setTextFormat(Qt::PlainText);
    auto* versionRow = new QHBoxLayout;
    versionRow->addWidget(LabelVersion);
    versionRow->addWidget(LabelCorvane);
    versionRow->addStretch();
    auto* titleText = new QVBoxLayout;
    titleText->addWidget(Label1);
    titleText->addLayout(versionRow);
    titleText->addWidget(Label2);
    auto* titleLayout = new QHBoxLayout(bandTitle);
    titleLayout->addWidget(Image1, 0, Qt::AlignTop);
    titleLayout->addLayout(titleText, 1);

    // Firmware.
    QFrame* bandFirmware = NewBand(this);
    Label3 = NewLabel(tr("Veltro Firmware Version:"), bandFirmware);
    LabelFirmware = NewLabel(QString(), bandFirmware);
    auto* firmwareLayout = new QHBoxLayout(bandFirmware);
    firmwareLayout->addWidget(Label3);
    firmwareLayout->addWidget(LabelFirmware, 1);

    // Links.
    PanelCorvane = NewBand(this);
    Label4 = NewLabel(tr("Internet:"), PanelCorvane);
    UrlLabel1 = NewLink(utCustom, QString(), PanelCorvane);
    Label5 = NewLabel(tr("Informations about support of more microcontrollers:"), PanelCorvane);
    UrlLabel2 = NewLink(utCustom, QString(), PanelCorvane);
    Label6 = NewLabel(tr("E-Mail:"), PanelCorvane);
    Label6->setToolTip(tr("contact to author"));
    UrlLabel3 = NewLink(utMail, QString::fromUtf8(kContactAddress), PanelCorvane);
    UrlLabel3->SetMailSubject(QStringLiteral("Kestrin"));
    Label7 = NewLabel(tr("Support:"), PanelCorvane);
    UrlLabel4 = NewLink(utMail, QString::fromUtf8(kSupportAddress), PanelCorvane);
    UrlLabel4->SetMailSubject(QString::fromUtf8(kProductLine));
    UrlLabel4->SetMailBody({QString::fromUtf8(kProductLine), QString()});
    auto* links = new QGridLayout(PanelCorvane);
    links->addWidget(Label4, 0, 0);
    links->addWidget(UrlLabel1, 0, 1);
    links->addWidget(Label5, 1, 0, 1, 2);
    links->addWidget(UrlLabel2, 2, 1);
    links->addWidget(Label6, 3, 0);
    links->addWidget(UrlLabel3, 3, 1);
    links->addWidget(Label7, 4, 0);
    links->addWidget(UrlLabel4, 4, 1);
    links->setColumnStretch(1, 1);

    BitBtnClose = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), tr("&Close"), this);
    BitBtnClose->setDefault(true);
    connect(BitBtnClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bandTitle);
    layout->addWidget(bandFirmware);
    layout->addWidget(PanelCorvane);
    layout->addWidget(BitBtnClose, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    FormCreate();
}

void TFormAbout::FormCreate() {
    LabelVersion->setText(tr("Version %1").arg(QString::fromUtf8(ProgramVersion)));
    Label2->setText(tr(kNoticeLine));
    UrlLabel1->setText(QString::fromUtf8(kMagazineAddress));
    UrlLabel1->SetURL(UrlLabel1->text());
    UrlLabel2->setText(QString::fromUtf8(kProjectAddress));
    UrlLabel2->SetURL(UrlLabel2->text());
    // Appended in place: the hint keeps the target without the body.
    UrlLabel3->MailBody().append(QStringLiteral("Kestrin V%1 (Corvane)").arg(QString::fromUtf8(ProgramVersion)));
    UrlLabel3->MailBody().append(QStringLiteral(" "));
}

void TFormAbout::Execute(uint8_t firmware) {
    LabelFirmware->setText(FirmwareText(firmware));
    CenterOnScreen(*this);
    exec();
}

}  // namespace kestrin
