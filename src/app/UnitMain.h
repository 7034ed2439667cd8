// The main window: choose the data file, connect to the adapter, pick memory and
// start address, and reload and write the file into the target.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QRadioButton>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>

#include <array>
#include <cstdint>
#include <string>

#include "config/Prompts.h"
#include "config/UnitConfig.h"
#include "devices/ProgRun.h"
#include "jobs/BackupJournal.h"
#include "jobs/ProgrammingJob.h"
#include "ui/SpinButton.h"

namespace kestrin {

// Panel 3 of the status bar when there is nothing to report.
extern const char* const IdleStatusText;

// Background of the two panels and of the address field and the gauge (0xRRGGBB).
constexpr uint32_t kSkyBlue = 0xA6CAF0;

// Commands of the application's system menu.
constexpr int kSysCmdWrite = 0xF200;  // "Reload && Write"
constexpr int kSysCmdReset = 0xF201;  // "Reset"

// Start actions run once by TimerExec after start-up.
enum TStartAction : int { saNothing = 0, saShowHelp = 1, saUnattendedWrite = 2 };

// A value label for a file name: holds the full name as its text and shows it
// shortened in the middle when it is wider than the label.
class TFileNameLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window and applies the settings (FormCreate): selects the
    // last data file, connects when asked to and arms TimerExec.
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // --- Controls ---
    QToolButton* SpeedButtonFile;
    QToolButton* SpeedButtonConnect;  // checkable: down while connected
    QToolButton* SpeedButtonOptions;
    QToolButton* SpeedButtonInfo;
    QToolButton* SpeedButtonExit;
    QToolButton* SpeedButtonWrite;
    QToolButton* SpeedButtonReset;
    QToolButton* SpeedButtonHex;
    QToolButton* SpeedButtonStop;  // shown while a write runs; Esc does the same
    QWidget* PanelMemory;  // memory, start address, verify, backup
    QRadioButton* RadioButtonFlash;
    QRadioButton* RadioButtonEEPROM;
    QLabel* Label4;
    QLineEdit* EditAddress;
    std::array<TSpinButton*, 4> SpinButton;  // SpinButton1 … SpinButton4, most significant digit first
    QCheckBox* CheckBoxVerify;
    QCheckBox* CheckBoxBackup;
    QWidget* PanelFile;  // file and profile information, progress
    QLabel* Label1;
    TFileNameLabel* LabelFileName;
    QLabel* Label2;
    QLabel* LabelFileSize;
    QLabel* Label5;
    QLabel* LabelFormat;
    QLabel* Label6;
    QLabel* LabelProfile;
    QLabel* Label3;
    QLabel* LabelTime;
    QProgressBar* Gauge1;
    std::array<QLabel*, 4> StatusPanel;  // the four panels of the status bar
    QTimer* TimerReset;
    QTimer* TimerExec;
    QMenu* PopupMenu1;
    QAction* copysettingsascommandlineparametersintoclipboard1;
    QAction* viewcommandlineparameters1;
    QSystemTrayIcon* TrayIcon = nullptr;  // carries the system-menu commands where a tray exists
    QWidget* ButtonBar;  // the two rows of buttons

    // --- State ---
    int StartAction = saNothing;
    bool LastWriteOk = false;
    bool FirstSetup = true;
    // How the program ends: the outcome of the unattended write (TExitCode);
    // 0 when none was asked for. It stays when the window stays open.
    int ExitCode = 0;
    // The program runs without a display: the help-only start prints the
    // help, and an unattended run always ends, as nobody could use a window
    // left open.
    bool NoDisplay = false;

    // The data-file dialog's type entry: 1 binary, 2 Intel HEX, 3 any file.
    int FilterIndex() const { return filterIndex_; }
    void SetFilterIndex(int index) { filterIndex_ = index; }
    // The file a write reloads; "" when no file has been selected without error.
    const std::string& CurrentFile() const { return currentFile_; }
    // True while a write runs.
    bool Running() const { return running_; }
    // The outcome of the last write; Refused with an empty message before any.
    const TJobOutcome& LastOutcome() const { return lastOutcome_; }
    // The main window's choices a run on the chip takes: memory, Verify, Backup,
    // start address and the selected profile. The hex view runs with them too.
    TJobRequest RunRequest() const;
    // Asks the running write to stop at the next page or byte (Stop, Esc, a
    // signal in an unattended run). A write with Backup still restores.
    void StopRun();

    // --- Routines ---
    void SetupDlg();
    // The selected profile's name, and the next serial number when it writes them.
    void ShowProfileCaption();
    // Reads the file with the reader of the dialog's type entry; only when it
    // reads without error do the file and its type become the current ones.
    void SelectDataFile(const std::string& fileName, int filterIndex);
    void SelectDataFile(const std::string& fileName) { SelectDataFile(fileName, filterIndex_); }
    // Clamps the address to the chosen memory of the chosen controller (its
    // size minus one), stores and shows it.
    void SetStartAddress(int64_t address);
    // The highest start address of the chosen memory.
    int64_t StartAddressLimit() const;
    // Why Reload && Write is disabled, or what it does when it is not.
    QString WriteButtonHint() const;
    void SetStatusText(int panel, const QString& text);
    QString StatusText(int panel) const;
    // The application's system-menu commands: kSysCmdWrite and kSysCmdReset.
    // Returns true when the command was one of them (handled).
    bool SystemMenuHook(int command);

    // --- Event handlers ---
    void SpeedButtonFileClick();
    void SpeedButtonConnectClick();
    void SpeedButtonOptionsClick();
    void SpeedButtonInfoClick();
    void SpeedButtonExitClick();
    void SpeedButtonWriteClick();
    void SpeedButtonResetClick();
    void SpeedButtonHexClick();
    void RadioButtonEEPROMClick();
    // Takes the typed start address, or refuses it and shows the old one.
    void EditAddressExit();
    void SpinButtonUpClick(int digit);    // digit 0 … 3 = SpinButton1 … SpinButton4
    void SpinButtonDownClick(int digit);
    void TimerResetTimer();
    void TimerExecTimer();
    void viewcommandlineparameters1Click();
    void copysettingsascommandlineparametersintoclipboard1Click();
    void FormCloseQuery();
    void FormClose();

signals:
    // The window has closed; the program's event loop ends.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class TRunGuard;

    void BuildControls();
    void CreateTrayIcon();
    void UpdateButtonStates();
    void FitWindowSize();
    void PlaceWindow();
    void ApplyCommandLinePort();
    void RequestClose();
    void ShowWriteOutcome();
    // The unattended write of TimerExec: writes, then sets ExitCode and prints
    // the outcome as one line on standard error.
    void UnattendedWrite();
    // Backups an interrupted write left in the backup journal. An unattended
    // start names each on standard error and, with /R=1, writes them back
    // (false, with ExitCode set, when one is not back); the window asks what
    // to do with each.
    bool UnattendedPendingBackups();
    void OfferPendingBackups();
    // Writes one back into the attached chip with the selected profile, or
    // the first profile of the backup's controller type.
    TJobOutcome RestoreBackup(const TPendingBackup& backup);

    int filterIndex_ = 1;
    std::string currentFile_;
    bool running_ = false;
    TJobOutcome lastOutcome_;
    bool writeAttempted_ = false;  // the last click got past the button check
    TStopSignal stop_;
    std::string cmdFileError_;      // why the file named on the command line was not chosen
    bool closeRequested_ = false;
};

// The one main window, created first at start-up.
extern TFormMain* FormMain;

}  // namespace kestrin
