#include "ui/UnitNewProfile.h"

#include <QFormLayout>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace kestrin {

TFormNewProfile::TFormNewProfile(QWidget* parent) : QDialog(parent) { FormCreate(); }

void TFormNewProfile::FormCreate() {
    setWindowTitle(QStringLiteral("Save Programming Profile"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    auto* form = new QFormLayout(panel);

    Label1 = new QLabel(QStringLiteral("Name:"), panel);
    EditName = new QLineEdit(panel);
    EditName->setObjectName(QStringLiteral("EditName"));
    Label2 = new QLabel(QStringLiteral("Description:"), panel);
    EditInfo = new QLineEdit(panel);
    EditInfo->setObjectName(QStringLiteral("EditInfo"));
    // The description is usually the longer text.
    const int nameWidth = EditName->fontMetrics().averageCharWidth() * 24;
    EditName->setFixedWidth(nameWidth);
    EditInfo->setFixedWidth(nameWidth * 2);
    Label1->setBuddy(EditName);
    Label2->setBuddy(EditInfo);
    form->addRow(Label1, EditName);
    form->addRow(Label2, EditInfo);

    BitBtnOk = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BitBtnCancel =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    BitBtnOk->setDefault(true);
    connect(BitBtnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtnOk);
    buttons->addWidget(BitBtnCancel);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(panel);
    outer->addLayout(buttons);
    outer->setSizeConstraint(QLayout::SetFixedSize);
}

bool TFormNewProfile::Execute(std::string& name, std::string& info) {
    EditName->clear();
    EditInfo->setText(QString::fromStdString(info));
    EditName->setFocus();
    if (exec() != QDialog::Accepted) return false;
    name = EditName->text().toStdString();
    info = EditInfo->text().toStdString();
    return true;
}

void TFormNewProfile::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* s = screen() != nullptr ? screen() : QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

}  // namespace kestrin
