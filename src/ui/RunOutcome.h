// What a window shows after a run, the same in every window that runs chips:
// the result in words and colour.
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

}  // namespace kestrin
