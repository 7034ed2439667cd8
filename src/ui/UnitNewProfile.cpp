#include "ui/UnitNewProfile.h"

#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <limits>

namespace kestrin {

TFormNewProfile* FormNewProfile = nullptr;

TFormNewProfile::TFormNewProfile(QWidget* parent)
    : TOkCancelDialog(tr("Save Programming Profile"), parent) {
    FormCreate();
}

void TFormNewProfile::FormCreate() {
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    auto* form = new QFormLayout(panel);

    Label1 = new QLabel(tr("Name:"), panel);
    EditName = new QLineEdit(panel);
    EditName->setObjectName(QStringLiteral("EditName"));
    Label2 = new QLabel(tr("Description:"), panel);
    EditInfo = new QLineEdit(panel);
    EditInfo->setObjectName(QStringLiteral("EditInfo"));
    for (QLineEdit* edit : {EditName, EditInfo}) edit->setMaxLength(std::numeric_limits<int>::max());
    // The description is usually the longer text.
    const int nameWidth = EditName->fontMetrics().averageCharWidth() * 24;
    EditName->setFixedWidth(nameWidth);
    EditInfo->setFixedWidth(nameWidth * 2);
    Label1->setBuddy(EditName);
    Label2->setBuddy(EditInfo);
    form->addRow(Label1, EditName);
    form->addRow(Label2, EditInfo);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(panel);
    outer->addLayout(OkCancelRow());
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

}  // namespace kestrin
