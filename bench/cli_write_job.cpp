// The yardstick of kestrin-cli's own cost: the same write as
//   kestrin-cli write FILE --chip CHIP --quiet [--verify]
// run straight through the programming job, with nothing around it. Prints
// the job's own time; run it against kestrin-cli with farm-bench --vs.
//
//   bench_cli_write_job FILE CHIP [--verify]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/AdapterSession.h"
#include "cli/Commands.h"
#include "files/FileResult.h"
#include "jobs/ProgrammingJob.h"
#include "link/SPI.h"

int main(int argc, char** argv) {
    using namespace kestrin;
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_cli_write_job FILE CHIP [--verify]\n");
        return 64;
    }
    const auto profile = ChipProfile(argv[2]);
    if (!profile) return 64;
    LoadSettings();
    LoadAdapterDriver();
    TAdapterSession session;
    if (!session.Open("", *profile)) {
        std::fprintf(stderr, "%s\n", session.Error().c_str());
        return 1;
    }
    TJobRequest request;
    request.FileName = argv[1];
    request.FileType = FilterIndexForName(request.FileName, 1);
    request.Profile = *profile;
    request.Verify = argc > 3 && std::strcmp(argv[3], "--verify") == 0;
    TNullProgress progress;
    const auto start = std::chrono::steady_clock::now();
    const TJobOutcome outcome = RunWriteJob(request, progress);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("job %.6f s, exit %d\n", seconds, outcome.ExitCode());
    return outcome.ExitCode();
}
