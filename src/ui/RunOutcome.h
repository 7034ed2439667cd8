// What a window shows after a run, the same in every window that runs chips:
// the result in words and colour, and a backup that could not be written
// back, offered for saving.
#pragma once

#include <string>

#include "devices/ProgRun.h"
#include "jobs/ProgrammingJob.h"

class QLabel;

namespace kestrin {

// Background of a status panel for each result: green for Ok, red for a
// failure, amber for a stop; none while nothing is shown.
uint32_t OutcomeColor(TJobResult result);

// Shows the outcome's status word in the panel, coloured, with the full
// message as its tooltip. A refusal (no status word) leaves the panel empty.
void ShowOutcome(QLabel* panel, const TJobOutcome& outcome);
// Empties the panel and takes its colour away.
void ClearOutcome(QLabel* panel);

// A backup that a run could not write back into the chip is the only copy of
// that memory.

// Asks whether to save the backup and where, until it is saved or the user
// declines. Without a display nobody can be asked: the copy goes into a new
// file beside nearFile (or into the working folder), never over an existing
// one, and standard error says where.
void KeepStrandedBackup(const TStrandedBackup& backup, bool noDisplay, const std::string& nearFile);

}  // namespace kestrin
