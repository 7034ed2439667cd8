// Journal files as the next start finds them: whole ones come back as they
// were written, damaged ones are reported and never offered for a restore.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "config/UnitConfig.h"
#include "jobs/BackupJournal.h"

namespace kestrin::test {
namespace {

TBackupRecord Record() {
    TBackupRecord r;
    r.ControllerType = ctAT89S8253;
    r.EEPROM = true;
    r.Time = 1700000000;
    r.Port = "ttyUSB0";
    r.Data.resize(2048);
    for (size_t i = 0; i < r.Data.size(); ++i) r.Data[i] = static_cast<uint8_t>(i * 13);
    return r;
}

TEST(BackupJournalFiles, DamagedFilesAreReportedAndKept) {
    QTemporaryDir tmp;
    const std::string folder = tmp.path().toStdString() + "/kestrin";
    using Edit = std::function<void(std::vector<uint8_t>&)>;
    const struct {
        const char* what;
        Edit edit;
        const char* problem;  // empty: whole
    } cases[] = {
        {"whole", [](std::vector<uint8_t>&) {}, ""},
        {"bad magic", [](std::vector<uint8_t>& b) { b[0] = 'X'; }, "bad magic"},
        {"unknown version", [](std::vector<uint8_t>& b) { b[8] = 9; }, "unknown format version 9"},
        {"flipped data bit", [](std::vector<uint8_t>& b) { b[b.size() - 100] ^= 0x10; }, "CRC mismatch"},
        {"cut short", [](std::vector<uint8_t>& b) { b.resize(b.size() - 1); }, "size mismatch"},
        {"size of no memory", [](std::vector<uint8_t>& b) { b[10] = ctAT89S52; }, "does not fit the controller"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = EncodeBackup(Record());
        c.edit(bytes);
        QDir(QString::fromStdString(folder)).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
        const std::string file = folder + "/case.kbackup";
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        const std::vector<TPendingBackup> found = FindPendingBackups(folder);
        ASSERT_EQ(found.size(), 1u);
        const TPendingBackup& b = found[0];
        EXPECT_EQ(b.Damaged, *c.problem != '\0');
        EXPECT_NE(b.Problem.find(c.problem), std::string::npos) << b.Problem;
        if (b.Damaged) {
            // Never written back, and the file stays for whoever wants to look at it.
            TProfile profile;
            profile.Type = ctAT89S8253;
            TNullProgress progress;
            const TJobOutcome outcome = RestorePendingBackup(b, profile, progress);
            EXPECT_EQ(outcome.Result, TJobResult::Refused);
            EXPECT_NE(outcome.Message.find(file), std::string::npos);
            EXPECT_NE(PendingBackupText(b).find("never written back"), std::string::npos);
            EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(file)));
        } else {
            EXPECT_EQ(b.Record.Data, Record().Data);
            EXPECT_EQ(b.Record.Port, "ttyUSB0");
            EXPECT_EQ(b.Record.Time, 1700000000);
            EXPECT_NE(PendingBackupText(b).find("E²PROM of an AT89S8253 (2048 bytes"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace kestrin::test
