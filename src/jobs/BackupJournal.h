// The backup journal: the one place a backup lives while it is not back in
// its chip. Before an AT89S8253 write erases the chip, the memory it is not
// writing is stored here durably (file and folder synced); only a restore that
// reads back the same removes the file. A program that died meanwhile (a
// crash, a cut link, a power loss) finds the file at its next start.
//
// Standard C++ only, for every front: the window, the unattended run and the
// command-line tool call FindPendingBackups at start and RestorePendingBackup
// when the user asks for it.
//
// A journal file, all numbers little-endian:
//   8 bytes  magic "KESTBKUP"
//   2        format version (1)
//   1        controller type of the profile (4: AT89S8253)
//   1        memory: 0 Flash, 1 E²PROM
//   4        size of the data in bytes
//   4        CRC-32 (IEEE) of the data
//   8        time taken, seconds since 1970 (UTC)
//   2        length of the port name, then the port name (UTF-8)
//   size     the data
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/UnitConfig.h"
#include "devices/ProgRun.h"
#include "files/Crc32.h"
#include "devices/Progress.h"
#include "jobs/ProgrammingJob.h"

namespace kestrin {

struct TBackupRecord {
    uint8_t ControllerType = 0;
    bool EEPROM = false;
    int64_t Time = 0;  // seconds since 1970
    std::string Port;
    std::vector<uint8_t> Data;
};

// A journal file found at start.
struct TPendingBackup {
    std::string File;
    // Bad magic, an unknown version, a wrong size or CRC: never restored,
    // never removed; Problem says what is wrong.
    bool Damaged = false;
    std::string Problem;
    TBackupRecord Record;
};

// The journal folder: $XDG_STATE_HOME/kestrin, else ~/.local/state/kestrin
// (on Windows %LOCALAPPDATA%\kestrin); empty when neither can be resolved.
std::string BackupFolder();


// The bytes of a journal file for record.
std::vector<uint8_t> EncodeBackup(const TBackupRecord& record);

// Writes record durably into folder (created when missing) under a new name;
// file receives the path. False with the reason when it could not be written.
bool WriteBackupFile(const std::string& folder, const TBackupRecord& record, std::string& file, std::string& error);

// Reads and checks one journal file.
TPendingBackup ReadBackupFile(const std::string& file);

// The journal files in folder, oldest first, damaged ones included. Also
// removes what an interrupted save left there.
std::vector<TPendingBackup> FindPendingBackups(const std::string& folder = BackupFolder());

// Removes a journal file (and syncs its folder).
bool RemoveBackupFile(const std::string& file);

// One line about a pending backup, for standard error and message boxes:
// "a backup of the E²PROM of an AT89S8253 (2048 bytes, taken 2025-03-01 14:02 on COM1) waits in <file>",
// or "<file> is damaged (CRC mismatch); it is kept and never written back".
std::string PendingBackupText(const TPendingBackup& backup);

// The keeper a write job hands to the routine: writes the backup into the
// journal before the erase and removes it once it is back in the chip.
class TBackupJournal : public IBackupKeeper {
public:
    TBackupJournal(uint8_t controllerType, std::string port, std::string folder = BackupFolder());

    bool Keep(const TStrandedBackup& backup, std::string& reason) override;
    void Restored() override;

    // The journal file of a backup that is not (yet) back in the chip; empty otherwise.
    const std::string& File() const { return file_; }
    // A journal file that could not be removed after a verified restore.
    const std::string& Leftover() const { return leftover_; }

private:
    uint8_t type_;
    std::string port_;
    std::string folder_;
    std::string file_;
    std::string leftover_;
};

// Writes a pending backup back into the attached chip: only a chip whose
// signature shows the backup's controller type, and only with a profile of
// that type; reads it back, and removes the journal file only when it read
// back the same. A damaged file is refused. Exit codes as for a write.
TJobOutcome RestorePendingBackup(const TPendingBackup& backup, const TProfile& profile, IProgress& progress);

// Saves the bytes of a pending backup as a binary file elsewhere (the journal
// file stays). False with the reason.
bool SaveBackupAs(const TPendingBackup& backup, const std::string& fileName, std::string& error);

}  // namespace kestrin
