// kestrin-cli produce: a production line on one adapter or several. On one
// adapter the loop runs here: wait for a chip, write it (with its serial
// number) and verify, log it, show the outcome, wait until it is taken out,
// start again. On several, this process starts one worker process per adapter
// (the driver keeps one connection per process), shows one status line per
// port, and the workers share the serial counter and the log through their
// locks.
#pragma once

#include "cli/Commands.h"
#include "config/UnitConfig.h"

namespace kestrin {

// Runs produce with the chosen profile; the settings are loaded.
int RunProduce(const TCliOptions& options, const TProfile& profile);

// kestrin-cli log: the production log as it is, or as CSV.
int RunProductionLog(const TCliOptions& options);

// The arguments of the worker for one port: the original command line with
// every port option taken out, then --port and the worker flag.
std::vector<std::string> WorkerArguments(const std::vector<std::string>& argv, const std::string& port);

}  // namespace kestrin
