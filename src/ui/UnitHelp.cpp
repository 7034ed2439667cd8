#include "ui/UnitHelp.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "ui/ScreenPlace.h"

namespace kestrin {

TFormHelp* FormHelp = nullptr;

const char* const CommandLineHelpText =
    "/C=  select COM port. Example: /C=2 (COM2, invalid ports ignored)\n"
    "/P=  select stored profile. Example: /P=2 (89S8253)\n"
    "/M=  Flash or EEPROM. /M=E selects EEPROM, any other Flash\n"
    "/A=  start address (decimal). Example: /A=512\n"
    "/F=  file name. Example for a long name: /F=\"d:\\My File.bin\"\n"
    "/V=  set verify. off: /V=0  on: /V=1\n"
    "/B=  set backup. off: /B=0  on: /B=1\n"
    "/T=  autoconnect on: /T=1 (required for programming)\n"
    "/S=  write file data to microcontroller\n"
    "     0 : invisible window (view on error), exit after writing\n"
    "     1 : exit after writing\n"
    "     2 : exit after writing, if no error occured\n"
    "     3 : don't exit\n"
    "/H=1 show this help (no more action)\n"
    "\n"
    "Only declared parameters overwrites stored settings.\n"
    "The command line parameters are not case sensitive.\n"
    "The order of the parameters don't care.\n"
    "\n"
    "/R=1 write back the backups an interrupted write left (with /T=1)";

namespace {

QFont HelpFont() {
    QFont font = QFontDatabase::families().contains(QStringLiteral("Courier New"))
                     ? QFont(QStringLiteral("Courier New"))
                     : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(10);
    return font;
}

}  // namespace

TFormHelp::TFormHelp(QWidget* parent) : QDialog(parent) {
    // A title but no title-bar buttons: OK is the only way out.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(tr("µC Programmer over Veltro - command line parameters"));

    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setFocusPolicy(Qt::NoFocus);
    Memo1->setFont(HelpFont());
    QPalette pal = Memo1->palette();
    pal.setColor(QPalette::Base, palette().color(QPalette::Window));
    pal.setColor(QPalette::Text, palette().color(QPalette::Highlight));
    Memo1->setPalette(pal);
    Memo1->setPlainText(QString::fromUtf8(CommandLineHelpText));

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), tr("OK"), this);
    BitBtn1->setDefault(true);
    BitBtn1->setAutoDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Memo1);
    layout->addWidget(BitBtn1, 0, Qt::AlignHCenter);

    // Room for every line without scrolling, and no more: the lines as the
    // text box lays them out, plus its margins.
    const QFontMetrics metrics(Memo1->font());
    qreal width = 0;
    qreal height = 0;
    for (QTextBlock block = Memo1->document()->firstBlock(); block.isValid(); block = block.next()) {
        width = std::max(width, static_cast<qreal>(metrics.horizontalAdvance(block.text())));
        height += Memo1->document()->documentLayout()->blockBoundingRect(block).height();
    }
    const int margin = 2 * static_cast<int>(std::ceil(Memo1->document()->documentMargin())) + 2;
    Memo1->setFixedSize(static_cast<int>(std::ceil(width)) + margin, static_cast<int>(std::ceil(height)) + margin);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TFormHelp::Execute() {
    BitBtn1->setFocus();
    CenterOnScreen(*this);
    exec();
}

}  // namespace kestrin
