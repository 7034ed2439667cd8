#include "cli/Commands.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <iterator>

#include "cli/AdapterSession.h"
#include "cli/Json.h"
#include "cli/Produce.h"
#include "cli/Sha256.h"
#include "cli/TerminalProgress.h"
#include "config/NumberText.h"
#include "devices/DeviceTable.h"
#include "devices/Programmer.h"
#include "files/ElfFile.h"
#include "files/FileExchg.h"
#include "files/FileIo.h"
#include "files/FileResult.h"
#include "files/FileSniff.h"
#include "files/IntelHex.h"
#include "jobs/BackupJournal.h"
#include "jobs/ChipCommands.h"
#include "link/SPI.h"

namespace kestrin {

namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

// Ctrl+C and a termination request stop the running job at its next page;
// a backup is still written back before it ends.
TStopSignal gStop;

extern "C" void OnStopSignal(int) {
    gStop.Request();
    static const char kText[] = "\nkestrin-cli: stopping\n";
    [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, kText, sizeof kText - 1);
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Hex2(uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// A usage error: one line naming what was wrong.
int Usage(const std::string& line) {
    std::fprintf(stderr, "kestrin-cli: %s\n", line.c_str());
    return kUsageExit;
}

// Asks a yes/no question on the terminal; false when there is none to ask on.
bool Confirm(const std::string& question) {
    if (!isatty(STDIN_FILENO) || !isatty(STDERR_FILENO)) return false;
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return SameText(answer, "y") || SameText(answer, "yes");
}

// What a command reports: the job's outcome and what the command knows beside it.
struct TReport {
    std::string Command;
    TJobOutcome Outcome;
    double Seconds = 0.0;
    std::string Chip;
    std::string Port;
    std::string File;
    std::string FileSha256;
    int64_t Bytes = 0;
    // Lines the command prints on standard output (detect, fuses), and their JSON members.
    std::string Text;
    TJsonObject Extra;
    bool HasExtra = false;
};

class TCommand {
public:
    explicit TCommand(const TCliOptions& options) : o_(options) {}

    int Run();

private:
    int Finish(TReport& report);
    int Refuse(const std::string& message, TJobResult result = TJobResult::Refused);
    // Chooses the profile: --chip, --profile or the stored selection.
    std::optional<int> ChooseProfile();
    int Connect(TAdapterSession& session);
    TJobRequest Request() const;

    int Write();
    int Read();
    int Verify();
    int Erase();
    int Detect();
    int Fuses();
    int Ports();
    int Profiles();
    int Restore();

    // Runs a job with progress on standard error and Ctrl+C taken as a stop.
    TJobOutcome Job(TJobKind kind, int64_t bytes, int64_t otherBytes,
                    const std::function<TJobOutcome(IProgress&, const TStopSignal*)>& job, double& seconds);
    void SaveChoices(const TJobRequest* request);

    const TCliOptions& o_;
    TProfile profile_;
    int32_t profileIndex_ = -1;  // the table entry chosen, -1 for --chip
    std::string port_;
    bool eeprom_ = false;
    std::string settingsFile_;
};


std::optional<int> TCommand::ChooseProfile() {
    if (!o_.Chip.empty()) {
        const auto chip = ChipProfile(o_.Chip);
        if (!chip) return Usage("--chip: unknown part " + o_.Chip);
        profile_ = *chip;
        return std::nullopt;
    }
    if (o_.Profile.empty()) {
        profileIndex_ = SelectedProfileIndex();
    } else {
        int number = 0;
        const auto [end, error] = std::from_chars(o_.Profile.data(), o_.Profile.data() + o_.Profile.size(), number);
        if (error == std::errc() && end == o_.Profile.data() + o_.Profile.size()) {
            if (number < 1 || number > Config.ProfileCount)
                return Usage("--profile: no profile " + o_.Profile + " (1 to " + std::to_string(Config.ProfileCount) +
                             ")");
            profileIndex_ = number - 1;
        } else {
            for (int32_t i = 0; i < Config.ProfileCount && profileIndex_ < 0; ++i)
                if (SameText(ProfileTable[static_cast<size_t>(i)].Name, o_.Profile)) profileIndex_ = i;
            if (profileIndex_ < 0) return Usage("--profile: no profile named \"" + o_.Profile + "\"");
        }
    }
    profile_ = ProfileTable[static_cast<size_t>(profileIndex_)];
    return std::nullopt;
}

int TCommand::Connect(TAdapterSession& session) {
    LoadAdapterDriver();
    if (!session.Open(o_.Port, profile_)) return Refuse(session.Error());
    port_ = session.PortName();
    return 0;
}

TJobRequest TCommand::Request() const {
    TJobRequest request;
    request.EEPROM = eeprom_;
    request.StartAddress = static_cast<int32_t>(o_.Start.value_or(0));
    request.Verify = o_.Verify.value_or(Config.Verify);
    request.Backup = o_.Backup.value_or(Config.Backup);
    request.Profile = profile_;
    request.Port = port_;
    return request;
}

TJobOutcome TCommand::Job(TJobKind kind, int64_t bytes, int64_t otherBytes,
                          const std::function<TJobOutcome(IProgress&, const TStopSignal*)>& job, double& seconds) {
    const bool show = !o_.Quiet;
    TTerminalProgress progress(stderr, isatty(STDERR_FILENO) != 0, kind, bytes, otherBytes);
    TNullProgress none;
    gStop.Clear();
    CatchStopSignals(OnStopSignal);
    const auto start = TClock::now();
    TJobOutcome outcome = job(show ? static_cast<IProgress&>(progress) : none, &gStop);
    seconds = std::chrono::duration<double>(TClock::now() - start).count();
    if (show) progress.Finish();
    return outcome;
}

int TCommand::Refuse(const std::string& message, TJobResult result) {
    TReport report;
    report.Command = o_.Command;
    report.Outcome.Result = result;
    report.Outcome.Message = message;
    report.Port = port_;
    return Finish(report);
}

int TCommand::Finish(TReport& report) {
    const TJobOutcome& outcome = report.Outcome;
    const int code = outcome.ExitCode();
    if (!report.Text.empty() && !o_.Json) std::fputs(report.Text.c_str(), stdout);
    if (o_.Json) {
        TJsonObject json;
        json.Add("command", report.Command);
        json.Add("result", outcome.Ok() ? std::string("Ok")
                                        : !outcome.Status.empty() ? outcome.Status
                                                                  : std::string("refused"));
        json.Add("exit_code", code);
        json.Add("message", outcome.Message);
        json.Add("bytes", report.Bytes);
        json.AddSeconds("duration", report.Seconds);
        if (outcome.FirstDifference) {
            TJsonObject difference;
            difference.Add("address", int64_t{outcome.FirstDifference->Address});
            difference.Add("wrote", int64_t{outcome.FirstDifference->Wrote});
            difference.Add("read", int64_t{outcome.FirstDifference->Read});
            json.AddRaw("first_difference", difference.Text());
        } else {
            json.AddNull("first_difference");
        }
        json.Add("chip", report.Chip.empty() ? ControllerName(profile_.Type) : report.Chip);
        json.Add("port", report.Port);
        if (report.File.empty()) {
            json.AddNull("file");
        } else {
            json.Add("file", report.File);
        }
        if (report.FileSha256.empty()) {
            json.AddNull("file_sha256");
        } else {
            json.Add("file_sha256", report.FileSha256);
        }
        if (report.HasExtra) json.AddRaw("details", report.Extra.Text());
        // Standard output carries the data of a read to "-"; the record then goes to standard error.
        std::FILE* out = o_.Command == "read" && o_.Output == "-" ? stderr : stdout;
        std::fprintf(out, "%s\n", json.Text().c_str());
        std::fflush(out);
    }
    if (!o_.Quiet || code != 0) {
        std::string line = outcome.Ok() ? "Ok" : outcome.Message.empty() ? outcome.Status : outcome.Message;
        if (outcome.Ok() && report.Bytes > 0) {
            char detail[64];
            std::snprintf(detail, sizeof detail, " (%lld bytes, %.1f s)", static_cast<long long>(report.Bytes),
                          report.Seconds);
            line += detail;
        }
        if (!o_.Json || code != 0) std::fprintf(stderr, "kestrin-cli: %s: %s\n", report.Command.c_str(), line.c_str());
    }
    return code;
}

void TCommand::SaveChoices(const TJobRequest* request) {
    if (!o_.Save) return;
    const int port = o_.Port.empty() ? -1 : PortIndexOf(o_.Port);
    if (port >= 0) Config.COMIndex = port;
    if (profileIndex_ >= 0) Config.ProfileIndex = profileIndex_;
    if (request != nullptr) {
        Config.Memory = request->EEPROM;
        Config.Startaddress = request->StartAddress;
        Config.Verify = request->Verify;
        Config.Backup = request->Backup;
        if (!request->FileName.empty() && o_.File != "-") {
            std::error_code ec;
            const fs::path absolute = fs::absolute(PathFromUtf8(request->FileName), ec);
            const std::u8string name = (ec ? PathFromUtf8(request->FileName) : absolute).u8string();
            Config.LastFile.assign(name.begin(), name.end());
            Config.FileType = request->FileType;
        }
    }
    SaveSettingsTo(settingsFile_);
}

// Standard input as a file the job can read like any other, removed again
// when the command ends.
class TSpooledInput {
public:
    bool Read(std::string& error) {
        std::string name = (fs::temp_directory_path() / "kestrin-cli-XXXXXX").string();
        const int fd = mkstemp(name.data());
        if (fd < 0) {
            error = "cannot keep standard input in a temporary file";
            return false;
        }
        name_ = name;
        char buffer[65536];
        ssize_t n = 0;
        while ((n = ::read(STDIN_FILENO, buffer, sizeof buffer)) > 0) {
            bytes_.insert(bytes_.end(), buffer, buffer + n);
            if (::write(fd, buffer, static_cast<size_t>(n)) != n) n = -1;
            if (n < 0) break;
        }
        close(fd);
        if (n < 0) error = "standard input could not be read";
        return n == 0;
    }
    ~TSpooledInput() {
        if (!name_.empty()) unlink(name_.c_str());
    }
    const std::string& Name() const { return name_; }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::string name_;
    std::vector<uint8_t> bytes_;
};

// The format of data on standard input, when it is to be told from the data:
// Intel HEX starts with a record mark.
// Standard input has no name to go by: its contents pick the reader.
int SniffedEntry(const std::vector<uint8_t>& bytes) { return FilterIndexOf(SniffDataFileType(bytes)); }

// The size of the image a data file gives, for the progress display.
int64_t ImageSize(const TJobRequest& request) {
    std::vector<uint8_t> image;
    int32_t size = 0;
    return ReadDataFile(request.FileName, request.FileType, image, size) == FileOk ? size : 0;
}

int TCommand::Write() {
    TReport report;
    report.Command = "write";
    TJobRequest request = Request();
    TSpooledInput input;
    if (o_.File == "-") {
        std::string error;
        if (!input.Read(error)) return Refuse(error);
        request.FileName = input.Name();
        const auto entry = o_.Format == "auto" ? std::optional<int>(SniffedEntry(input.Bytes())) : FormatEntry(o_.Format, "");
        if (!entry) return Refuse("--format " + o_.Format + ": this build does not read such files");
        request.FileType = *entry;
        report.File = "-";
        report.FileSha256 = Sha256Hex(input.Bytes().data(), input.Bytes().size());
    } else {
        const auto entry = FormatEntry(o_.Format, o_.File);
        if (!entry) return Refuse("--format " + o_.Format + ": this build does not read such files");
        request.FileName = o_.File;
        request.FileType = *entry;
        // --format given: the file is read so whatever it holds; by its name,
        // a .bin holding records is refused with the reason.
        request.TypeExplicit = o_.Format != "auto";
        report.File = o_.File;
        report.FileSha256 = FileSha256(o_.File);
    }
    TAdapterSession session;
    if (const int refused = Connect(session)) return refused;
    report.Port = port_;
    const int64_t other = request.Backup ? MemorySize(profile_.Type, !request.EEPROM) : 0;
    const int64_t bytes = o_.Quiet ? 0 : ImageSize(request);
    report.Outcome = Job(TJobKind::Write, bytes, other,
                         [&](IProgress& progress, const TStopSignal* stop) {
                             return RunWriteJob(request, progress, stop);
                         },
                         report.Seconds);
    report.Bytes = report.Outcome.BytesWritten;
    // A backup that did not get back into the chip stays in the journal; the
    // outcome's message names the file, and `kestrin-cli restore` writes it back.
    if (report.Outcome.Ok()) SaveChoices(&request);
    return Finish(report);
}

int TCommand::Read() {
    TReport report;
    report.Command = "read";
    TJobRequest request = Request();
    const bool toStdout = o_.Output == "-";
    const auto entry = FormatEntry(o_.Format == "auto" && toStdout ? "bin" : o_.Format, o_.Output);
    if (!entry) return Refuse("--format " + o_.Format + ": this build does not write such files");
    if (toStdout && *entry != HexFilterIndex && isatty(STDOUT_FILENO))
        return Usage("--output -: binary data is not written to a terminal; give --format hex or a file");
    TAdapterSession session;
    if (const int refused = Connect(session)) return refused;
    report.Port = port_;
    const int64_t start = request.StartAddress;
    int64_t size = o_.Size.value_or(0);
    if (!o_.Size) {
        // The whole memory from the start on: an AVR's part says how large it is.
        int64_t limit = MemoryLimit(profile_.Type, eeprom_);
        if (IsAvrType(profile_.Type)) {
            const TDetected detected = DetectController(profile_.SCK, profile_.MISO, profile_.MOSI);
            if (const TDeviceInfo* device = FindDevice(detected.Name)) {
                limit = std::min<int64_t>(limit, eeprom_ ? device->EEPROMSize : device->FlashSize);
                report.Chip = device->Name;
            }
        }
        size = std::max<int64_t>(0, limit - start);
    }
    request.Size = static_cast<int32_t>(std::min<int64_t>(size, 0x10000));
    report.Outcome = Job(TJobKind::Read, request.Size, 0,
                         [&](IProgress& progress, const TStopSignal* stop) {
                             return RunReadJob(request, progress, stop);
                         },
                         report.Seconds);
    if (report.Outcome.Ok()) {
        const std::vector<uint8_t>& data = report.Outcome.Data;
        report.Bytes = static_cast<int64_t>(data.size());
        report.File = o_.Output;
        report.FileSha256 = Sha256Hex(data.data(), data.size());
        bool written = true;
        if (toStdout) {
            if (*entry == HexFilterIndex) {
                const std::string text = IntelHexText(data.data(), static_cast<int32_t>(data.size()));
                written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
            } else {
                written = std::fwrite(data.data(), 1, data.size(), stdout) == data.size();
            }
            written = std::fflush(stdout) == 0 && written;
        } else {
            written = WriteDataFile(o_.Output, *entry, data.data(), static_cast<int32_t>(data.size())) == FileOk;
        }
        if (!written) {
            report.Outcome.Result = TJobResult::Refused;
            report.Outcome.Message = "the data could not be written to " + o_.Output;
        }
    }
    return Finish(report);
}

int TCommand::Verify() {
    TReport report;
    report.Command = "verify";
    TJobRequest request = Request();
    const auto entry = FormatEntry(o_.Format, o_.File);
    if (!entry) return Refuse("--format " + o_.Format + ": this build does not read such files");
    TSpooledInput input;
    request.FileName = o_.File;
    request.FileType = *entry;
    if (o_.File == "-") {
        std::string error;
        if (!input.Read(error)) return Refuse(error);
        request.FileName = input.Name();
        if (o_.Format == "auto") request.FileType = SniffedEntry(input.Bytes());
    }
    report.File = o_.File;
    report.FileSha256 = FileSha256(request.FileName);
    TAdapterSession session;
    if (const int refused = Connect(session)) return refused;
    report.Port = port_;
    report.Outcome = Job(TJobKind::Verify, o_.Quiet ? 0 : ImageSize(request), 0,
                         [&](IProgress& progress, const TStopSignal* stop) {
                             return RunVerifyJob(request, progress, stop);
                         },
                         report.Seconds);
    report.Bytes = report.Outcome.FileSize;
    return Finish(report);
}

int TCommand::Erase() {
    if (!o_.Yes) {
        const std::string question = std::string("Erase the whole ") + ControllerName(profile_.Type) +
                                     " (Flash, E²PROM and lock bits)?";
        if (!isatty(STDIN_FILENO)) return Refuse("erase asks first: give --yes to erase without a terminal");
        if (!Confirm(question)) return Refuse("nothing erased");
    }
    TReport report;
    report.Command = "erase";
    TAdapterSession session;
    if (const int refused = Connect(session)) return refused;
    report.Port = port_;
    report.Outcome = Job(TJobKind::Erase, 0, 0,
                         [&](IProgress& progress, const TStopSignal* stop) {
                             return RunEraseJob(profile_, progress, stop);
                         },
                         report.Seconds);
    return Finish(report);
}

int TCommand::Detect() {
    TReport report;
    report.Command = "detect";
    TAdapterSession session;
    if (const int refused = Connect(session)) return refused;
    report.Port = port_;
    const auto start = TClock::now();
    const TDetected detected = DetectController(profile_.SCK, profile_.MISO, profile_.MOSI);
    report.Seconds = std::chrono::duration<double>(TClock::now() - start).count();
    report.Extra.Add("signature", SignatureText(detected.Signature.data(), detected.Signature.size()));
    report.Extra.Add("type", detected.State == TDetected::TState::Known ? ControllerName(detected.Type) : "");
    report.HasExtra = true;
    report.Chip = detected.Name;
    if (detected.State == TDetected::TState::Nothing) {
        report.Outcome.Result = TJobResult::NoDevice;
        report.Outcome.Status = "no device";
        report.Outcome.Message = DetectedText(detected);
    } else {
        report.Outcome.Result = TJobResult::Ok;
        report.Text = DetectedText(detected) + "\n";
    }
    return Finish(report);
}

int TCommand::Fuses() {
    TReport report;
    report.Command = "fuses";
    const uint8_t type = profile_.Type;
    if (!HasFuseWriter(type))
        return Refuse(std::string("the ") + ControllerName(type) + " has no fuse or lock bits to read over its serial interface");
    TFuseBits wanted;
    if (!o_.FuseWrite.empty()) {
        // Checked before the chip is touched; the fields not named keep the chip's values below.
        TFuseBits probe;
        if (auto bad = ApplyFuseAssignments(type, o_.FuseWrite, probe)) return Usage("--write: " + *bad);
    }
    DataFileContents elf;
    if (!o_.FuseElf.empty()) {
        if (ReadElfFile(o_.FuseElf, elf) != FileOk)
            return Refuse(o_.FuseElf + ": " + (elf.problem.empty() ? std::string("not a readable ELF program") : elf.problem));
        if ((!elf.fuses || elf.fuses->empty()) && !elf.lock)
            return Refuse(o_.FuseElf + ": the file holds no fuse or lock values");
    }
    const bool writing = !o_.FuseWrite.empty() || !o_.FuseElf.empty();
    TAdapterSession session;
    if (const int refused = Connect(session)) return refused;
    report.Port = port_;
    const TLineLevels levels{profile_.SCK, profile_.MISO, profile_.MOSI};
    const auto start = TClock::now();
    std::string part;
    if (type == ctATtiny || type == ctATmega) part = DetectController(levels.SCK, levels.MISO, levels.MOSI).Name;
    report.Chip = part;
    TFuseBits chip;
    TFuseRead read = TFuseRead::NoAnswer;
    RunFuseReadJob(type, levels, chip, read);
    auto noAnswer = [&] {
        ReleaseTarget(levels);
        report.Outcome.Result = TJobResult::NoDevice;
        report.Outcome.Status = "no device";
        report.Outcome.Message = "no device: the target did not answer";
        return Finish(report);
    };
    if (read != TFuseRead::Read) return noAnswer();
    if (writing) {
        wanted = chip;
        if (!o_.FuseElf.empty()) {
            const TElfFuseOffer offer = ElfFuseOffer(type, elf, chip);
            if (!offer.Refusal.empty()) {
                ReleaseTarget(levels);
                return Refuse(o_.FuseElf + ": " + offer.Refusal + "; nothing written");
            }
            std::fprintf(stderr, "kestrin-cli: %s sets %s\n", o_.FuseElf.c_str(), offer.Values.c_str());
            if (!o_.Yes && !Confirm("Write these values?")) {
                ReleaseTarget(levels);
                return Refuse("nothing written (--yes writes the file's values without asking)");
            }
            wanted = offer.Bits;
        } else if (auto bad = ApplyFuseAssignments(type, o_.FuseWrite, wanted, chip.Device)) {
            ReleaseTarget(levels);
            return Usage("--write: " + *bad);
        }
        const std::vector<std::string> reasons = IspCuttingReasons(type, part, chip, wanted);
        if (!reasons.empty() && !o_.YesIKnow) {
            for (const std::string& reason : reasons) std::fprintf(stderr, "kestrin-cli: %s\n", reason.c_str());
            if (!Confirm("Write anyway?")) {
                ReleaseTarget(levels);
                return Refuse("nothing written (--yes-i-know writes such bits without asking)");
            }
        }
        TFuseBits after;
        TFuseWrite written = TFuseWrite::NoAnswer;
        RunFuseWriteJob(type, levels, wanted, after, written);
        if (written == TFuseWrite::NoAnswer) return noAnswer();
        chip = after;
        if (written == TFuseWrite::Differs) {
            report.Outcome.Result = TJobResult::VerifyFailed;
            report.Outcome.Status = "failed";
            report.Outcome.Message = "the chip reads back other bits than were written";
        }
    }
    ReleaseTarget(levels);
    report.Seconds = std::chrono::duration<double>(TClock::now() - start).count();
    if (report.Outcome.Result != TJobResult::VerifyFailed) report.Outcome.Result = TJobResult::Ok;
    std::string line;
    for (const TFuseField& field : FuseFieldsOf(type, chip.Device)) {
        const uint8_t value = chip.*(field.Field);
        line += (line.empty() ? "" : " ") + std::string(field.Name) + "=" + Hex2(value);
        report.Extra.Add(field.Name, int64_t{value});
    }
    report.HasExtra = true;
    report.Text = line + "\n";
    if (!report.Outcome.Ok()) report.Outcome.Message += ": " + line;
    return Finish(report);
}

int TCommand::Ports() {
    LoadAdapterDriver();
    if (!AdapterDriverLoaded()) return Refuse(std::string("Veltro.dll not found (") + DriverFileName() + ")");
    if (o_.Json) {
        std::string list;
        for (const std::string& p : PortNames) list += (list.empty() ? "" : ",") + JsonString(p);
        std::printf("%s\n", TJsonObject().Add("command", "ports").Add("exit_code", 0).AddRaw("ports", "[" + list + "]").Text().c_str());
    } else {
        for (const std::string& p : PortNames) std::printf("%s\n", p.c_str());
    }
    return 0;
}

std::string ProfileJson(const TProfile& p, int number) {
    return TJsonObject()
        .Add("number", number)
        .Add("name", p.Name)
        .Add("info", p.Info)
        .Add("default", p.IsDefault)
        .Add("type", int{p.Type})
        .Add("controller", ControllerName(p.Type))
        .Add("sck_high", p.SCK)
        .Add("miso_inverted", p.MISO)
        .Add("mosi_inverted", p.MOSI)
        .Add("wait_flash", int64_t{p.WaitFlash})
        .Add("wait_eeprom", int64_t{p.WaitEEPROM})
        .Add("wait_erase", int64_t{p.WaitErase})
        .Text();
}

int TCommand::Profiles() {
    if (o_.SubCommand == "show") {
        const TProfile& p = profile_;
        const int number = profileIndex_ + 1;
        if (o_.Json) {
            std::printf("%s\n", ProfileJson(p, number).c_str());
            return 0;
        }
        if (profileIndex_ >= 0) std::printf("number:        %d\n", number);
        std::printf("name:          %s\ninfo:          %s\ncontroller:    %s (type %d)\n", p.Name.c_str(), p.Info.c_str(),
                    ControllerName(p.Type), p.Type);
        std::printf("SCK high:      %s\nMISO inverted: %s\nMOSI inverted: %s\n", p.SCK ? "yes" : "no",
                    p.MISO ? "yes" : "no", p.MOSI ? "yes" : "no");
        std::printf("wait Flash:    %d us\nwait E2PROM:   %d us\nwait erase:    %d us\n", p.WaitFlash, p.WaitEEPROM,
                    p.WaitErase);
        return 0;
    }
    const int32_t selected = SelectedProfileIndex();
    std::string list;
    for (int32_t i = 0; i < Config.ProfileCount; ++i) {
        const TProfile& p = ProfileTable[static_cast<size_t>(i)];
        if (o_.Json) {
            list += (list.empty() ? "" : ",") + ProfileJson(p, i + 1);
        } else {
            std::printf("%c %3d  %-28s %s\n", i == selected ? '*' : ' ', i + 1, p.Name.c_str(), ControllerName(p.Type));
        }
    }
    if (o_.Json)
        std::printf("%s\n", TJsonObject().Add("selected", selected + 1).AddRaw("profiles", "[" + list + "]").Text().c_str());
    return 0;
}

int TCommand::Restore() {
    TReport report;
    report.Command = "restore";
    const std::vector<TPendingBackup> pending = FindPendingBackups();
    if (pending.empty()) {
        if (!o_.Quiet) std::printf("no backup waits in %s\n", BackupFolder().c_str());
        return 0;
    }
    if (!o_.Yes && o_.Output.empty()) {
        for (const auto& backup : pending) std::printf("%s\n", PendingBackupText(backup).c_str());
        return 0;
    }
    if (!o_.Output.empty()) {
        std::string error;
        if (!SaveBackupAs(pending.front(), o_.Output, error)) return Refuse("--save-as " + o_.Output + ": " + error);
        if (!o_.Quiet) std::printf("saved %s as %s; the journal keeps it\n", pending.front().File.c_str(), o_.Output.c_str());
        return 0;
    }
    TAdapterSession session;
    if (const int refused = Connect(session)) return refused;
    report.Port = port_;
    int code = 0;
    for (const auto& backup : pending) {
        report.Outcome = Job(TJobKind::Write, static_cast<int64_t>(backup.Record.Data.size()), 0,
                             [&](IProgress& progress, const TStopSignal*) {
                                 return RestorePendingBackup(backup, profile_, progress);
                             },
                             report.Seconds);
        report.Bytes = report.Outcome.BytesWritten;
        const int result = Finish(report);
        if (code == 0) code = result;
    }
    return code;
}

int TCommand::Run() {
    settingsFile_ = o_.ConfigFile.empty() ? SettingsFileName() : o_.ConfigFile;
    if (!o_.ConfigFile.empty()) {
        std::error_code ec;
        if (!fs::is_regular_file(PathFromUtf8(o_.ConfigFile), ec)) return Usage("--config: no file " + o_.ConfigFile);
    }
    LoadSettingsFrom(settingsFile_);
    if (o_.Command == "ports") return Ports();
    if (o_.Command == "log") return RunProductionLog(o_);
    if (o_.Command == "profiles" && o_.SubCommand == "show" && !o_.ProfileName.empty() && o_.Profile.empty() &&
        o_.Chip.empty()) {
        TCliOptions named = o_;
        named.Profile = o_.ProfileName;
        return TCommand(named).Run();
    }
    if (const auto usage = ChooseProfile()) return *usage;
    if (o_.Command == "profiles") return Profiles();
    if (o_.Command == "restore") return Restore();
    if (o_.Command == "produce") return RunProduce(o_, profile_);
    // A backup left by a run that did not end well waits in the journal.
    if (!o_.Quiet && (o_.Command == "write" || o_.Command == "erase")) {
        for (const auto& backup : FindPendingBackups())
            std::fprintf(stderr, "kestrin-cli: %s (kestrin-cli restore --yes writes it back)\n",
                         PendingBackupText(backup).c_str());
    }
    eeprom_ = o_.Memory == "eeprom";
    if (o_.Command == "write") return Write();
    if (o_.Command == "read") return Read();
    if (o_.Command == "verify") return Verify();
    if (o_.Command == "erase") return Erase();
    if (o_.Command == "detect") return Detect();
    if (o_.Command == "fuses") return Fuses();
    return Usage("unknown command " + o_.Command);
}

}  // namespace

void CatchStopSignals(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

namespace {

std::optional<int64_t> ParseNumber(const std::string& text, int64_t low, int64_t high) {
    const std::optional<uint64_t> value = ParseUnsignedText(text);
    if (!value || *value < static_cast<uint64_t>(low) || *value > static_cast<uint64_t>(high)) return std::nullopt;
    return static_cast<int64_t>(*value);
}

}  // namespace

std::optional<int64_t> ParseAddress(const std::string& text) { return ParseNumber(text, 0, kLargestMemory - 1); }
std::optional<int64_t> ParseSize(const std::string& text) { return ParseNumber(text, 1, kLargestMemory); }

std::optional<TProfile> ChipProfile(const std::string& name) {
    // Flash write waits of the 8051 parts: the byte-mode parts' write cycle at
    // their lowest supply, the page-mode parts' page write.
    static constexpr int32_t kFlashWait[ControllerTypeCount] = {4000, 4000, 4500, 9000, 4500, 1000, 10000};
    TProfile profile;
    profile.IsDefault = false;
    if (const TDeviceInfo* device = FindDevice(name)) {
        profile.Type = device->Type;
        profile.Name = device->Name;
        profile.WaitFlash = device->FlashWait;
        profile.WaitEEPROM = device->EEPROMWait;
        profile.WaitErase = device->EraseWait;
    } else {
        uint8_t type = 0;
        while (type < ControllerTypeCount && !SameText(ControllerName(type), name)) ++type;
        if (type == ControllerTypeCount) return std::nullopt;
        profile.Type = type;
        profile.Name = ControllerName(type);
        profile.WaitFlash = kFlashWait[type];
        profile.WaitEEPROM = -1;
        profile.WaitErase = -1;
        // The type's own waits replace the missing ones.
        ValidateProfile(profile);
    }
    profile.Info = ControllerName(profile.Type);
    return profile;
}

std::optional<int> FormatEntry(const std::string& format, const std::string& fileName) {
    if (format == "bin") return FilterIndexOf(DataFileType::Binary);
    if (format == "hex") return FilterIndexOf(DataFileType::IntelHex);
    if (format == "srec") return FilterIndexOf(DataFileType::SRecord);
    if (format == "elf") return FilterIndexOf(DataFileType::Elf);
    if (format == "auto") return FilterIndexForName(fileName, 1);
    return std::nullopt;
}

int RunCliCommand(const TCliOptions& options) { return TCommand(options).Run(); }

}  // namespace kestrin
