#include "ui/QtPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "ui/MessageTexts.h"

namespace kestrin {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

bool RunFileDialog(TFileDialog& d, QFileDialog::AcceptMode mode) {
    QFileDialog dlg(QApplication::activeWindow(), Q(d.Title));
    dlg.setAcceptMode(mode);
    dlg.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    const QStringList filters = QtNameFilters(d.Filter);
    dlg.setNameFilters(filters);
    if (d.FilterIndex >= 1 && d.FilterIndex <= filters.size()) dlg.selectNameFilter(filters[d.FilterIndex - 1]);
    if (!d.FileName.empty()) dlg.selectFile(Q(d.FileName));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
    d.FileName = dlg.selectedFiles().first().toStdString();
    d.FilterIndex = static_cast<int>(filters.indexOf(dlg.selectedNameFilter())) + 1;
    if (d.FilterIndex < 1) d.FilterIndex = 1;
    return true;
}

}  // namespace

QStringList QtNameFilters(const std::string& filter) {
    const QStringList parts = Q(filter).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        out << QStringLiteral("%1 (%2)").arg(ShownFileType(parts[i]), patterns);
    }
    return out;
}

TMsgResult QtPrompts::Message(TMsgKind kind, const std::string& text, TMsgButtons buttons) {
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (kind) {
        case TMsgKind::Information: icon = QMessageBox::Information; break;
        case TMsgKind::Warning: icon = QMessageBox::Warning; break;
        case TMsgKind::Error: icon = QMessageBox::Critical; break;
        case TMsgKind::Confirmation: icon = QMessageBox::Question; break;
    }
    QMessageBox::StandardButtons std = QMessageBox::Ok;
    switch (buttons) {
        case TMsgButtons::Ok: std = QMessageBox::Ok; break;
        case TMsgButtons::Cancel: std = QMessageBox::Cancel; break;
        case TMsgButtons::YesNo:
        case TMsgButtons::YesNoDefaultNo: std = QMessageBox::Yes | QMessageBox::No; break;
        case TMsgButtons::OkCancel: std = QMessageBox::Ok | QMessageBox::Cancel; break;
    }
    // Message texts break lines with a carriage return, which Qt would draw as a space.
    QString shown = ShownMessage(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(icon, QApplication::applicationDisplayName(), shown, std, QApplication::activeWindow());
    if (buttons == TMsgButtons::YesNoDefaultNo) {
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    }
    switch (box.exec()) {
        case QMessageBox::Ok: return TMsgResult::Ok;
        case QMessageBox::Yes: return TMsgResult::Yes;
        case QMessageBox::No: return TMsgResult::No;
        default: return TMsgResult::Cancel;
    }
}

bool QtPrompts::OpenFile(TFileDialog& dialog) { return RunFileDialog(dialog, QFileDialog::AcceptOpen); }

bool QtPrompts::SaveFile(TFileDialog& dialog) { return RunFileDialog(dialog, QFileDialog::AcceptSave); }

}  // namespace kestrin
