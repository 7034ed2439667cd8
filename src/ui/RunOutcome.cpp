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
#include "ui/MessageTexts.h"

namespace kestrin {

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
    panel->setText(ShownMessage(outcome.Status));
    panel->setToolTip(ShownMessage(outcome.Message));
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

}  // namespace kestrin
