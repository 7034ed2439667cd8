#include "ui/RunOutcome.h"

#include <QDir>
#include <QLabel>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <cstdio>

#include "config/Prompts.h"
#include "files/FileExchg.h"
#include "files/FileResult.h"

namespace kestrin {

namespace {

QString U(const std::string& text) { return QString::fromStdString(text); }

// The name proposed for a backup file; n > 0 numbers it when the plain name is taken.
QString BackupFileName(bool eeprom, int n) {
    const QString stem = eeprom ? QStringLiteral("backup-eeprom") : QStringLiteral("backup-flash");
    return n == 0 ? stem + QStringLiteral(".bin") : QStringLiteral("%1-%2.bin").arg(stem).arg(n);
}

void SaveUnasked(const TStrandedBackup& backup, const std::string& memory, const std::string& nearFile) {
    QStringList folders;
    if (!nearFile.empty()) folders << QFileInfo(U(nearFile)).absolutePath();
    folders << QDir::currentPath();
    for (const QString& folder : folders) {
        for (int n = 0; n < 1000; ++n) {
            const QString path = QDir(folder).filePath(BackupFileName(backup.EEPROM, n));
            if (QFileInfo::exists(path)) continue;
            const std::string file = path.toStdString();
            if (WriteBinaryFile(file, backup.Data.data(), static_cast<int32_t>(backup.Data.size())) != FileOk) break;
            std::fprintf(stderr,
                         "kestrin: the target stopped answering after its memory was erased; the backup of its %s "
                         "(%zu bytes) was saved to %s\n",
                         memory.c_str(), backup.Data.size(), file.c_str());
            return;
        }
    }
    std::fprintf(stderr,
                 "kestrin: the target stopped answering after its memory was erased; the backup of its %s "
                 "could not be saved to a file and is lost\n",
                 memory.c_str());
}

}  // namespace

uint32_t OutcomeColor(TJobResult result) {
    switch (result) {
        case TJobResult::Ok: return 0x7CD67C;
        case TJobResult::Stopped: return 0xF5C04A;
        case TJobResult::Refused: return 0;
        default: return 0xF08080;
    }
}

void ShowOutcome(QLabel* panel, const TJobOutcome& outcome) {
    if (panel == nullptr) return;
    if (outcome.Status.empty()) {
        ClearOutcome(panel);
        return;
    }
    panel->setText(U(outcome.Status));
    panel->setToolTip(U(outcome.Message));
    const uint32_t rgb = OutcomeColor(outcome.Result);
    panel->setAutoFillBackground(rgb != 0);
    panel->setStyleSheet(rgb == 0 ? QString() : QStringLiteral("background-color: #%1;").arg(rgb, 6, 16, QLatin1Char('0')));
}

void ClearOutcome(QLabel* panel) {
    if (panel == nullptr) return;
    panel->setText({});
    panel->setToolTip({});
    panel->setStyleSheet({});
}

void KeepStrandedBackup(const TStrandedBackup& backup, bool noDisplay, const std::string& nearFile) {
    if (backup.Data.empty()) return;
    const std::string memory = backup.EEPROM ? "E²PROM" : "Flash";
    if (noDisplay) {
        SaveUnasked(backup, memory, nearFile);
        return;
    }
    const std::string question =
        "The target stopped answering after its memory was erased, so the backup of its " + memory +
        " could not be written back. This program holds the only copy (" + std::to_string(backup.Data.size()) +
        " bytes).\n\nSave it to a binary file?";
    for (;;) {
        if (Prompts().Message(TMsgKind::Warning, question, TMsgButtons::YesNo) != TMsgResult::Yes) return;
        TFileDialog dialog;
        dialog.Title = "Save backup of the " + memory;
        dialog.Filter = "binary files|*.bin|any binary file|*.*";
        dialog.FilterIndex = 1;
        const QString folder = nearFile.empty() ? QString() : QFileInfo(U(nearFile)).absolutePath() + '/';
        dialog.FileName = (folder + BackupFileName(backup.EEPROM, 0)).toStdString();
        if (!Prompts().SaveFile(dialog)) continue;
        const FileResult r =
            WriteBinaryFile(dialog.FileName, backup.Data.data(), static_cast<int32_t>(backup.Data.size()));
        if (r == FileOk) return;
        Prompts().Message(TMsgKind::Error, "Can't write file!", TMsgButtons::Ok);
    }
}

}  // namespace kestrin
