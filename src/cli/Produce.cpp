#include "cli/Produce.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>

#include "cli/AdapterSession.h"
#include "cli/ProductionLog.h"
#include "cli/Sha256.h"
#include "devices/Detect.h"
#include "files/FileExchg.h"
#include "files/FileIo.h"
#include "files/FileResult.h"
#include "jobs/ProgrammingJob.h"
#include "link/SPI.h"
#include "production/SerialCounter.h"
#include "production/SerialNumber.h"

namespace kestrin {

namespace {

using TClock = std::chrono::steady_clock;

// The pause between two handshakes while waiting for a chip to come or go.
// It runs through the driver's Delay, so a simulated adapter keeps its own time.
constexpr int32_t kPollMicros = 200000;

std::atomic<bool> gStopProduce{false};

extern "C" void OnProduceStop(int) {
    gStopProduce = true;
    static const char kText[] = "\nkestrin-cli: produce ends after this chip\n";
    [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, kText, sizeof kText - 1);
}

int UsageError(const std::string& line) {
    std::fprintf(stderr, "kestrin-cli: produce: %s\n", line.c_str());
    return kUsageExit;
}

int Failure(const std::string& line, int code = 1) {
    std::fprintf(stderr, "kestrin-cli: produce: %s\n", line.c_str());
    return code;
}

// Where a worker's status goes: a line on the terminal, or a line on
// standard output for the process that started it.
class TStatus {
public:
    explicit TStatus(bool worker) : worker_(worker), tty_(isatty(STDERR_FILENO) != 0) {}
    void Show(const std::string& text) {
        if (worker_) {
            std::printf("status %s\n", text.c_str());
            std::fflush(stdout);
        } else if (tty_) {
            std::fprintf(stderr, "\r\033[K%s", text.c_str());
            std::fflush(stderr);
        } else if (text != last_) {
            std::fprintf(stderr, "%s\n", text.c_str());
        }
        last_ = text;
    }
    // The terminal bell for an outcome.
    void Bell() {
        if (worker_) {
            std::printf("bell\n");
            std::fflush(stdout);
        } else if (tty_) {
            std::fputc('\a', stderr);
        }
    }
    void End() {
        if (!worker_ && tty_) std::fputc('\n', stderr);
    }

private:
    bool worker_;
    bool tty_;
    std::string last_;
};

struct TProduction {
    TProfile Profile;
    bool EEPROM = false;
    int32_t Start = 0;
    std::vector<uint8_t> Image;
    std::string File;
    std::string FileSha256;
    std::optional<TSerialSeries> Serial;
    std::vector<std::string> Logs;
    int64_t Count = 0;
};

// Waits until the handshake answers (present) or stops answering (not
// present); false when a stop request came first.
bool WaitForChip(const TProfile& profile, bool present, TDetected& detected) {
    while (!gStopProduce) {
        // The profile's own family only: an empty socket is told quickly, so
        // a short gap between two chips is not missed.
        detected = ProbeFamily(profile.Type, profile.SCK, profile.MISO, profile.MOSI);
        // A chip that came while the probe ran may have answered only half of
        // it: one more probe, on a chip now seated, names it.
        if (present && detected.State != TDetected::TState::Nothing)
            detected = ProbeFamily(profile.Type, profile.SCK, profile.MISO, profile.MOSI);
        if ((detected.State != TDetected::TState::Nothing) == present) return true;
        Ops.Delay(kPollMicros);
    }
    return false;
}

int ProduceOnPort(const TProduction& job, const std::string& port, bool worker) {
    TStatus status(worker);
    TAdapterSession session;
    LoadAdapterDriver();
    if (!session.Open(port, job.Profile)) {
        status.Show("not started: " + session.Error());
        return Failure(session.Error());
    }
    const std::string portName = session.PortName();
    std::optional<TSerialCounter> counter;
    if (job.Serial) counter.emplace(SerialCounterFile(*job.Serial), *job.Serial);

    int64_t good = 0, failed = 0;
    int code = 0;
    Ops.SetLEDs(0, 0);
    while (!gStopProduce && (job.Count == 0 || good < job.Count)) {
        status.Show(std::to_string(good) + " good, " + std::to_string(failed) + " failed; waiting for a chip");
        TDetected detected;
        if (!WaitForChip(job.Profile, true, detected)) break;

        std::optional<uint64_t> serial;
        std::vector<uint8_t> image = job.Image;
        std::string error;
        if (counter) {
            serial = counter->Take(error);
            for (const TSerialHold& hold : counter->NewlyRetired())
                std::fprintf(stderr,
                             "kestrin-cli: produce: serial number %llu was held by process %ld, which ended in the "
                             "middle of its chip; it is not handed out again\n",
                             static_cast<unsigned long long>(hold.Number), hold.Pid);
            if (!serial) {
                code = Failure(error);
                break;
            }
            if (!PatchSerial(image, job.Start, *job.Serial, *serial, error)) {
                counter->GiveBack(*serial, error);
                code = Failure(error);
                break;
            }
        }
        status.Show(std::to_string(good) + " good, " + std::to_string(failed) + " failed; writing" +
                    (serial ? " serial " + std::to_string(*serial) : std::string()));

        TJobRequest request;
        request.Image = std::move(image);
        request.FileName = job.File;
        request.EEPROM = job.EEPROM;
        request.StartAddress = job.Start;
        request.Verify = true;  // a number counts as used only for a verified chip
        request.Profile = job.Profile;
        request.Port = portName;
        TNullProgress none;
        const auto started = TClock::now();
        // Not stoppable half-way: Ctrl+C ends the line between chips.
        const TJobOutcome outcome = RunWriteJob(request, none, nullptr);
        const double seconds = std::chrono::duration<double>(TClock::now() - started).count();

        TProductionRecord record;
        record.Time = ProductionTimeNow();
        record.Port = portName;
        record.Signature = SignatureText(detected.Signature.data(), detected.Signature.size());
        record.Chip = detected.Name.empty() ? ControllerName(job.Profile.Type) : detected.Name;
        record.File = job.File;
        record.FileSha256 = job.FileSha256;
        record.Serial = serial;
        record.Result = outcome.Ok() ? "Ok" : !outcome.Status.empty() ? outcome.Status : "refused";
        record.ExitCode = outcome.ExitCode();
        record.Seconds = seconds;
        if (outcome.FirstDifference) record.FirstDifference = DifferenceText(*outcome.FirstDifference);
        record.Message = outcome.Ok() ? std::string() : outcome.Message;

        if (counter && serial) {
            const bool kept = outcome.Ok() ? counter->Consume(*serial, error) : counter->GiveBack(*serial, error);
            if (!kept) record.Message += (record.Message.empty() ? "" : "; ") + error;
        }
        const std::string line = ProductionLogLine(record);
        bool logged = true;
        for (const std::string& log : job.Logs) {
            std::string logError;
            if (!AppendProductionLine(log, line, logError)) {
                std::fprintf(stderr, "kestrin-cli: produce: the log cannot be written: %s\n", logError.c_str());
                logged = false;
            }
        }
        if (outcome.Ok()) {
            ++good;
            Ops.SetLEDs(1, 0);
        } else {
            ++failed;
            Ops.SetLEDs(0, 1);
        }
        status.Bell();
        const std::string said = (outcome.Ok() ? std::string("Ok") : outcome.Message.empty() ? record.Result : outcome.Message) +
                                 (serial ? " (serial " + std::to_string(*serial) + ")" : std::string());
        if (!error.empty() && counter) {
            code = Failure(error);
            break;
        }
        if (!logged) {
            code = 1;
            break;
        }
        // A refusal comes from the data, not the chip: every chip would get it.
        if (outcome.Result == TJobResult::Refused) {
            code = Failure(outcome.Message);
            break;
        }
        if (job.Count != 0 && good >= job.Count) {
            status.Show(std::to_string(good) + " good, " + std::to_string(failed) + " failed; last: " + said);
            break;
        }
        status.Show(std::to_string(good) + " good, " + std::to_string(failed) + " failed; " + said +
                    " - take the chip out");
        if (!WaitForChip(job.Profile, false, detected)) break;
        Ops.SetLEDs(0, 0);
    }
    if (code == 0 && job.Count != 0 && good < job.Count) code = static_cast<int>(TJobResult::Stopped);
    status.Show("ended: " + std::to_string(good) + " good, " + std::to_string(failed) + " failed");
    status.End();
    return code;
}

// The workers of a multi-adapter line, seen from the process that started them.
struct TWorker {
    std::string Port;
    pid_t Pid = -1;
    int Out = -1;
    std::string Pending;
    std::string Status = "starting";
    int Code = -1;
};

std::atomic<bool> gForwardStop{false};
extern "C" void OnSupervisorStop(int) {
    gForwardStop = true;
}

void DrawStatus(const std::vector<TWorker>& workers, bool tty, bool& drawn, const TWorker* changed) {
    if (!tty) {
        if (changed != nullptr) std::fprintf(stderr, "%s: %s\n", changed->Port.c_str(), changed->Status.c_str());
        return;
    }
    if (drawn) std::fprintf(stderr, "\033[%zuA", workers.size());
    for (const TWorker& w : workers) std::fprintf(stderr, "\r\033[K%-12s %s\n", w.Port.c_str(), w.Status.c_str());
    std::fflush(stderr);
    drawn = true;
}

// Collects a worker's end as soon as its output closes, so that a killed
// worker is gone at once and not left a zombie that looks alive to the counter.
void Reap(TWorker& w, bool tty, bool& drawn, const std::vector<TWorker>& workers) {
    if (w.Code >= 0) return;
    int status = 0;
    while (waitpid(w.Pid, &status, 0) < 0 && errno == EINTR) {
    }
    w.Code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    if (WIFSIGNALED(status)) {
        w.Status += " (worker ended by signal " + std::to_string(WTERMSIG(status)) + ")";
        DrawStatus(workers, tty, drawn, &w);
    }
}

int Supervise(const std::vector<std::string>& argv, const std::vector<std::string>& ports) {
    std::vector<TWorker> workers;
    for (const std::string& port : ports) {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return Failure(std::string("no pipe for a worker: ") + std::strerror(errno));
        const std::vector<std::string> args = WorkerArguments(argv, port);
        const pid_t pid = fork();
        if (pid < 0) return Failure(std::string("no worker for ") + port + ": " + std::strerror(errno));
        if (pid == 0) {
#ifdef __linux__
            // A worker whose starter is gone ends after its chip.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
            dup2(pipeEnds[1], STDOUT_FILENO);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
            std::vector<char*> raw;
            for (const std::string& a : args) raw.push_back(const_cast<char*>(a.c_str()));
            raw.push_back(nullptr);
            execv("/proc/self/exe", raw.data());
            _exit(127);
        }
        close(pipeEnds[1]);
        fcntl(pipeEnds[0], F_SETFD, FD_CLOEXEC);
        TWorker worker;
        worker.Port = port;
        worker.Pid = pid;
        worker.Out = pipeEnds[0];
        workers.push_back(std::move(worker));
    }
    CatchStopSignals(OnSupervisorStop);
    const bool tty = isatty(STDERR_FILENO) != 0;
    bool drawn = false;
    bool forwarded = false;
    DrawStatus(workers, tty, drawn, nullptr);
    size_t open = workers.size();
    while (open > 0) {
        if (gForwardStop && !forwarded) {
            // A Ctrl+C on the terminal reaches the workers too; a stop sent to this process alone is passed on.
            for (const TWorker& w : workers) kill(w.Pid, SIGTERM);
            forwarded = true;
        }
        std::vector<pollfd> fds;
        for (const TWorker& w : workers) fds.push_back({w.Out, POLLIN, 0});
        if (poll(fds.data(), fds.size(), 500) < 0 && errno != EINTR) break;
        for (size_t i = 0; i < workers.size(); ++i) {
            TWorker& w = workers[i];
            if (w.Out < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            char buffer[4096];
            const ssize_t n = read(w.Out, buffer, sizeof buffer);
            if (n <= 0) {
                close(w.Out);
                w.Out = -1;
                --open;
                Reap(w, tty, drawn, workers);
                continue;
            }
            w.Pending.append(buffer, static_cast<size_t>(n));
            for (size_t end; (end = w.Pending.find('\n')) != std::string::npos;) {
                const std::string line = w.Pending.substr(0, end);
                w.Pending.erase(0, end + 1);
                if (line == "bell") {
                    if (tty) std::fputc('\a', stderr);
                } else if (line.rfind("status ", 0) == 0) {
                    w.Status = line.substr(7);
                    DrawStatus(workers, tty, drawn, &w);
                }
            }
        }
    }
    int code = 0;
    for (TWorker& w : workers) {
        Reap(w, tty, drawn, workers);
        if (code == 0) code = w.Code;
    }
    return code;
}

}  // namespace

std::vector<std::string> WorkerArguments(const std::vector<std::string>& argv, const std::string& port) {
    std::vector<std::string> args;
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (a == "-p" || a == "--port") {
            ++i;
            continue;
        }
        if (a.rfind("--port=", 0) == 0 || (a.size() > 2 && a.rfind("-p", 0) == 0 && a[2] != '-')) continue;
        args.push_back(a);
    }
    args.push_back("--port");
    args.push_back(port);
    args.push_back("--worker");
    return args;
}

int RunProduce(const TCliOptions& o, const TProfile& profile) {
    TProduction job;
    job.Profile = profile;
    job.EEPROM = o.Memory == "eeprom";
    job.Start = static_cast<int32_t>(o.Start.value_or(0));
    job.Count = o.Count;
    if (o.Count < 0) return UsageError("--count wants a number of good chips");

    std::string error;
    if (!o.Serial.empty()) {
        job.Serial = ParseSerialSeries(o.Serial, error);
        if (!job.Serial) return UsageError("--serial: " + error);
    } else if (!o.NoSerial) {
        job.Serial = ProfileSerial(profile, error);
        if (!error.empty()) return UsageError(error);
    }
    if (job.Serial && job.Serial->Address < job.Start)
        return UsageError("the serial number's address lies before the start address");

    const auto entry = FormatEntry(o.Format, o.File);
    if (!entry) return UsageError("--format " + o.Format + ": this build does not read such files");
    int32_t size = 0;
    const FileResult read = ReadDataFile(o.File, *entry, job.Image, size);
    if (read != FileOk || size <= 0)
        return Failure(read == FileNoData ? "the data file " + o.File + " is empty" : "can't open file " + o.File);
    job.Image.resize(static_cast<size_t>(size));
    if (job.Serial) {
        // The largest image the line writes: the file with the number patched in.
        std::vector<uint8_t> probe = job.Image;
        if (!PatchSerial(probe, job.Start, *job.Serial, job.Serial->First, error)) return UsageError(error);
        if (auto refused = RangeRefusal(profile.Type, job.EEPROM, job.Start, static_cast<int64_t>(probe.size())))
            return Failure(*refused);
    } else if (auto refused = RangeRefusal(profile.Type, job.EEPROM, job.Start, size)) {
        return Failure(*refused);
    }
    job.File = o.File;
    job.FileSha256 = FileSha256(o.File);
    job.Logs.push_back(ProductionLogFile());
    if (!o.LogFile.empty()) job.Logs.push_back(o.LogFile);

    std::vector<std::string> ports = o.Ports;
    if (ports.empty()) ports.push_back(o.Port);
    if (ports.size() > 1) {
        if (o.Worker) return UsageError("a worker serves one port");
        return Supervise(o.Argv, ports);
    }
    gStopProduce = false;
    CatchStopSignals(OnProduceStop);
    return ProduceOnPort(job, ports.front(), o.Worker);
}

int RunProductionLog(const TCliOptions& o) {
    const std::string file = o.LogFile.empty() ? ProductionLogFile() : o.LogFile;
    int damaged = 0;
    std::string error;
    const auto lines = ReadProductionLog(file, damaged, error);
    if (!error.empty()) return Failure(error);
    if (o.Csv) {
        std::fputs(ProductionCsv(lines).c_str(), stdout);
    } else {
        std::vector<uint8_t> contents;
        std::uintmax_t length = 0;
        if (ReadWholeFile(file, contents, length, std::uintmax_t{1} << 30) == FileOk)
            std::fwrite(contents.data(), 1, contents.size(), stdout);
    }
    if (damaged > 0) std::fprintf(stderr, "kestrin-cli: log: %d damaged line(s) in %s skipped\n", damaged, file.c_str());
    return 0;
}

}  // namespace kestrin
