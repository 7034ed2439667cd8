// The hex view window: an editable hex dump of up to 64 KB that reads the
// target, writes it, and loads and saves data files. Created once at start-up;
// closing only hides it, so its data survive until it is shown again. Whoever
// shows it calls RefreshView first.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolButton>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "config/Prompts.h"
#include "devices/ProgRun.h"
#include "jobs/ProgrammingJob.h"

namespace kestrin {

class THexGridModel;
class THexGridView;
class QtProgress;
class TSpinButton;

// The main window's choices that a run takes over: memory, Verify and Backup.
struct TRunChoice {
    bool EEPROM = false;
    bool Verify = false;
    bool Backup = false;
};

class TFormRead final : public QDialog {
    Q_OBJECT

public:
    explicit TFormRead(QWidget* parent = nullptr);
    ~TFormRead() override;

    // Brings buttons, grid, size edit and status panels 1 and 2 up to date.
    void RefreshView();

    // Where Write µC and Read µC take the memory choice and the Verify and
    // Backup boxes from: the program installs the main window's controls.
    // Without a provider they come from Config.Memory, Config.Verify and
    // Config.Backup.
    void SetRunChoiceProvider(std::function<TRunChoice()> provider);

    // True while Write µC or Read µC is running.
    bool Running() const { return running_; }
    // Asks the running Write µC or Read µC to stop (the Stop button, Esc).
    void StopRun();
    // The outcome of the last Write µC or Read µC.
    const TJobOutcome& LastOutcome() const { return lastOutcome_; }
    // Nobody can be asked (the program runs without a display).
    bool NoDisplay = false;

    // Text of status panel 1..5.
    QString StatusText(int panel) const;

    // --- state -----------------------------------------------------------
    TProgParams Params;            // Size is the data size, Data designates Buffer
    std::vector<uint8_t> Buffer;   // 131072 bytes; only the first Params.Size are used
    bool DataModified = false;     // changed since the last load, save or clear
    bool EditGuard = false;        // set while a cell edit is being taken

    // --- controls --------------------------------------------------------
    QWidget* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* EditSize = nullptr;
    TSpinButton* SpinButtonSize4 = nullptr;  // 0x1000
    TSpinButton* SpinButtonSize3 = nullptr;  // 0x100
    TSpinButton* SpinButtonSize2 = nullptr;  // 0x10
    TSpinButton* SpinButtonSize1 = nullptr;  // 1
    QToolButton* SpeedButtonClear = nullptr;
    QToolButton* SpeedButtonLoad = nullptr;
    QToolButton* SpeedButtonWrite = nullptr;
    QToolButton* SpeedButtonRead = nullptr;
    QToolButton* SpeedButtonSave = nullptr;
    QToolButton* SpeedButtonExit = nullptr;
    QToolButton* SpeedButtonStop = nullptr;  // shown while a run is going
    THexGridView* StringGrid1 = nullptr;
    THexGridModel* GridModel = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QProgressBar* Gauge = nullptr;
    QLabel* LabelTime = nullptr;
    TFileDialog OpenDialog1;
    TFileDialog SaveDialog1;

    // --- event handlers ----------------------------------------------------
    void FormClose();
    void FormResize();
    bool StringGrid1KeyPress(int column, char32_t ch);
    void StringGrid1SetEditText(int column, int row, const QString& text);
    // Returns false when the character is discarded (Enter is taken here).
    bool EditSizeKeyPress(char32_t ch);
    void EditSizeExit();
    void SpinButtonSize1UpClick(int tag);
    void SpinButtonSize1DownClick(int tag);
    void SpeedButtonClearClick();
    void SpeedButtonLoadClick();
    void SpeedButtonWriteClick();
    void SpeedButtonReadClick();
    void SpeedButtonSaveClick();
    void SpeedButtonExitClick();

protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void CommitCell(int column, int row, const QString& text);
    void SetSize(int32_t size);
    // An empty view opens with the size of the chosen memory, so Read µC works at once.
    void PresetSize();
    int32_t TypedSize() const;
    // The largest block for the chosen chip and memory: 64 KB, or the whole
    // memory of a larger AVR.
    int32_t SizeLimit() const;
    void SpinClick(int tag, bool up);
    void ShowSizeText();
    void UpdateButtons();
    TJobRequest RunRequest() const;
    void ShowRunOutcome();
    void BeginRun();
    void EndRun();
    void SetPanel(int panel, const QString& text);

    std::unique_ptr<QtProgress> progress_;
    std::function<TRunChoice()> runChoice_;
    std::vector<QLabel*> panels_;
    std::vector<std::pair<QWidget*, bool>> enabledBeforeRun_;
    bool running_ = false;
    TStopSignal stop_;
    TJobOutcome lastOutcome_;
};

// The one instance, created at start-up.
extern TFormRead* FormRead;

}  // namespace kestrin
