#include "ui/Placeholder.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace kestrin {

void BuildPlaceholder(QDialog& dialog, const QString& caption) {
    dialog.setWindowTitle(caption);
    dialog.setModal(true);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QObject::tr("This window is not available in this version."), &dialog));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
}

}  // namespace kestrin
