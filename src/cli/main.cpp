// kestrin-cli: programs, reads, verifies and erases AT89S and AVR
// microcontrollers through the Veltro adapter from a terminal, a script or a
// Makefile. Settings and profiles come from the same Kestrin.ini as the
// window program's.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "cli/Commands.h"

namespace {

using kestrin::TCliOptions;

// Checks an address or size option: decimal or 0x hexadecimal, 0 to 65535.
std::string AddressCheck(const std::string& text) {
    return kestrin::ParseAddress(text) ? std::string() : "\"" + text + "\" is not an address (decimal or 0x hex, 0 to 0x3FFFF)";
}

void AddBlockOptions(CLI::App& command, TCliOptions& o, std::string& start, std::string* size) {
    command.add_option("-m,--memory", o.Memory, "flash or eeprom (default flash)")
        ->check(CLI::IsMember({"flash", "eeprom"}));
    command.add_option("-s,--start", start, "first address, decimal or 0x hex (default 0)")->check(AddressCheck);
    if (size != nullptr)
        command.add_option("-n,--size", *size, "bytes to read, decimal or 0x hex (default: to the end of the memory)")
            ->check([](const std::string& text) {
                return kestrin::ParseSize(text) ? std::string() : "\"" + text + "\" is not a size (1 to 0x40000)";
            });
}

}  // namespace

int main(int argc, char** argv) {
    TCliOptions o;
    CLI::App app{"Programs AT89S and AVR microcontrollers through the Veltro adapter.", "kestrin-cli"};
    app.set_version_flag("--version", "kestrin-cli " KESTRIN_VERSION);
    app.require_subcommand(1);
    app.fallthrough();
    app.add_option("-p,--port", o.Port, "serial port by name (default: the stored port)");
    app.add_option("-P,--profile", o.Profile, "stored profile by name or number (1 = first)");
    app.add_option("-c,--chip", o.Chip, "a profile for this part, not stored (AT89S8253, ATmega328P, ...)");
    app.add_option("--config", o.ConfigFile, "settings file instead of Kestrin.ini");
    app.add_flag("-q,--quiet", o.Quiet, "no progress and no outcome line unless something failed");
    app.add_flag("--json", o.Json, "the outcome as one JSON object on standard output");
    app.add_flag("--save", o.Save, "store the port, profile and write options in the settings file");

    std::string start;
    std::string size;
    std::optional<bool> verify;
    std::optional<bool> backup;

    CLI::App* write = app.add_subcommand("write", "write a data file into the chip");
    write->add_option("FILE", o.File, "data file, - for standard input")->required();
    AddBlockOptions(*write, o, start, nullptr);
    bool verifyFlag = false;
    bool backupFlag = false;
    CLI::Option* verifyOption =
        write->add_flag("--verify,!--no-verify", verifyFlag, "read back and compare (default: stored)");
    CLI::Option* backupOption = write->add_flag("--backup,!--no-backup", backupFlag,
                                                "AT89S8253: keep the other memory across the erase (default: stored)");
    const auto formats = CLI::IsMember({"bin", "hex", "srec", "elf", "auto"});
    write->add_option("-f,--format", o.Format, "bin, hex, srec, elf or auto (by extension)")->check(formats);

    CLI::App* read = app.add_subcommand("read", "read the chip's memory into a file");
    AddBlockOptions(*read, o, start, &size);
    read->add_option("-o,--output", o.Output, "output file, - for standard output")->required();
    read->add_option("-f,--format", o.Format, "bin or hex (default: by the output's extension)")->check(formats);

    CLI::App* verifyCommand = app.add_subcommand("verify", "compare the chip's memory with a data file");
    verifyCommand->add_option("FILE", o.File, "data file, - for standard input")->required();
    AddBlockOptions(*verifyCommand, o, start, nullptr);
    verifyCommand->add_option("-f,--format", o.Format, "bin, hex or auto")->check(formats);

    CLI::App* erase = app.add_subcommand("erase", "chip erase: Flash, E2PROM and lock bits");
    erase->add_flag("-y,--yes", o.Yes, "erase without asking");

    app.add_subcommand("detect", "read the signature and name the part");

    CLI::App* fuses = app.add_subcommand("fuses", "read (or write) the fuse and lock bits");
    fuses->add_option("-w,--write", o.FuseWrite,
                      "NAME=VALUE,...: low, high, extended, lock (AVR); fuses, lock (AT89S8253)");
    auto* fromElf = fuses->add_option("--from-elf", o.FuseElf,
                                      "write the fuse and lock values an avr-gcc ELF program carries (asks first)");
    fromElf->excludes("--write");
    fuses->add_flag("-y,--yes", o.Yes, "with --from-elf: write the file's values without asking");
    fuses->add_flag("--yes-i-know", o.YesIKnow, "write bits that switch serial programming off without asking");

    app.add_subcommand("ports", "list the adapter's serial ports");

    CLI::App* restore = app.add_subcommand("restore", "list the backups waiting in the journal, or write them back");
    restore->add_flag("-y,--yes", o.Yes, "write every intact backup back into the attached chip");
    restore->add_option("--save-as", o.Output, "save the (first) waiting backup as a binary file instead");

    CLI::App* produce = app.add_subcommand(
        "produce", "a production line: wait for a chip, write and verify it with its serial number, log it, repeat");
    produce->add_option("FILE", o.File, "data file")->required();
    AddBlockOptions(*produce, o, start, nullptr);
    produce->add_option("-f,--format", o.Format, "bin, hex, srec, elf or auto (by extension)")->check(formats);
    produce->add_option("-p,--port", o.Ports,
                        "adapter port; give it several times for one worker process per adapter");
    produce->add_option("--count", o.Count, "stop after this many good chips on each adapter (default: until Ctrl+C)")
        ->check(CLI::PositiveNumber);
    produce->add_option("--serial", o.Serial,
                        "ADDR:LEN:FORMAT:FIRST[:STEP] serial number (FORMAT le, be, bcd, dec or hex; "
                        "default: the profile's)");
    produce->add_flag("--no-serial", o.NoSerial, "write no serial number, even if the profile has one");
    produce->add_option("--log", o.LogFile, "a production log beside the one in the state folder");
    produce->add_flag("--worker", o.Worker, "")->group("");

    CLI::App* log = app.add_subcommand("log", "print the production log");
    log->add_flag("--csv", o.Csv, "as CSV for a spreadsheet");
    log->add_option("--log", o.LogFile, "this log instead of the one in the state folder");

    CLI::App* profiles = app.add_subcommand("profiles", "list the profiles or show one");
    profiles->require_subcommand(0, 1);
    profiles->add_subcommand("list", "list the stored profiles; * marks the selected one");
    CLI::App* show = profiles->add_subcommand("show", "show a profile (default: the selected one)");
    show->add_option("PROFILE", o.ProfileName, "name or number");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);
        std::string what = e.what();
        if (const size_t newline = what.find('\n'); newline != std::string::npos) what.resize(newline);
        // A misspelt command reads as a missing one: name the word that was given.
        if (app.get_subcommands().empty())
            for (int i = 1; i < argc; ++i)
                if (argv[i][0] != '-') {
                    what = std::string(argv[i]) + ": not a command (write, read, verify, erase, detect, fuses, ports, profiles, restore, produce, log)";
                    break;
                }
        std::fprintf(stderr, "kestrin-cli: %s\n", what.c_str());
        return kestrin::kUsageExit;
    }

    for (CLI::App* command : app.get_subcommands()) o.Command = command->get_name();
    o.Argv.assign(argv, argv + argc);
    if (o.Command == "profiles") {
        for (CLI::App* sub : profiles->get_subcommands()) o.SubCommand = sub->get_name();
        if (o.SubCommand.empty()) o.SubCommand = "list";
    }
    if (!start.empty()) o.Start = kestrin::ParseAddress(start);
    if (verifyOption->count() > 0) verify = verifyFlag;
    if (backupOption->count() > 0) backup = backupFlag;
    o.Verify = verify;
    o.Backup = backup;
    if (!size.empty()) o.Size = kestrin::ParseSize(size);
    return kestrin::RunCliCommand(o);
}
