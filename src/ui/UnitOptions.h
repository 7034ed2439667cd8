// The options dialog: port, autoconnect, the current profile, and editing,
// saving and deleting profiles on a working copy that only OK commits.
#pragma once

#include <QSpinBox>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "config/UnitConfig.h"
#include "ui/OkCancelDialog.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kestrin {

class TFormNewProfile;

// One wait row. The up-down position is the unit of editing; the profile holds
// position × Factor microseconds.
struct TWaitScale {
    int Min;
    int Max;
    int Step;
    int32_t Factor;
    bool Tenths;  // text in milliseconds with one decimal, else whole milliseconds
};

inline constexpr TWaitScale WaitScaleFlash{1, 100, 1, 100, true};
inline constexpr TWaitScale WaitScaleEEPROM{0, 100, 1, 100, true};
inline constexpr TWaitScale WaitScaleErase{0, 1000, 10, 1000, false};

// The position for a stored wait: value div Factor, held within Min..Max.
int WaitPosition(const TWaitScale& scale, int32_t value);
// The wait a position stands for, in microseconds.
int32_t WaitValue(const TWaitScale& scale, int position);
// "4,0ms" or "500ms"; the separator is a comma whatever the locale.
std::string WaitText(const TWaitScale& scale, int position);

// Read-only text box with an up-down pair: the text only displays the position.
// Clicked is raised after the user stepped it (buttons, arrow keys, wheel),
// never when the program sets the position.
class TWaitUpDown : public QSpinBox {
    Q_OBJECT
public:
    TWaitUpDown(const TWaitScale& scale, QWidget* parent = nullptr);
    const TWaitScale& Scale() const { return scale_; }
    void stepBy(int steps) override;

signals:
    void Clicked();

protected:
    QString textFromValue(int value) const override;
    int valueFromText(const QString& text) const override;
    QValidator::State validate(QString& input, int& pos) const override;

private:
    TWaitScale scale_;
};

class TFormOptions : public TOkCancelDialog {
    Q_OBJECT

public:
    explicit TFormOptions(QWidget* parent = nullptr);

    // Opens modally on the current settings. True after OK, with Config and
    // ProfileTable updated; false otherwise, with nothing changed.
    bool Execute();

    // The three steps of Execute, for callers that run the window themselves:
    // take the working copy and fill the controls; commit it (OK only).
    void Open();
    void Commit();

    // Opens the fuse and lock bit dialog for a type with the three level flags.
    // Set by whoever creates the windows; "Features..." does nothing without it.
    std::function<void(uint8_t type, bool sck, bool miso, bool mosi)> OnFeatures;

    // The save-profile dialog it asks with: the program's one (FormNewProfile),
    // or, without that, one of its own.
    TFormNewProfile& NewProfileForm();

    // Event handlers.
    void ComboBox2Change();
    void RadioButton1Click();
    void UpDown1Click();
    void UpDown2Click();
    void UpDown3Click();
    // The target clock choice of an AVR profile.
    void ComboClockChange();
    void ButtonSaveClick();
    void ButtonDeleteClick();
    void ButtonFeatureClick();
    // Reads the attached controller's signature and checks its type, or says
    // that nothing answered.
    void ButtonDetectClick();
    // The serial-number text of the selected profile was edited.
    void EditSerialChange();

    QLabel* Label1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QLabel* LabelInfo = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label3 = nullptr;
    // Index = controller type code: RadioButton1 (AT89S8252) to RadioButton7 (AT89S53).
    std::array<QRadioButton*, 7> RadioButtons{};
    QCheckBox* CheckBoxSCK = nullptr;
    QCheckBox* CheckBoxMISO = nullptr;
    QCheckBox* CheckBoxMOSI = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label6 = nullptr;
    TWaitUpDown* UpDown1 = nullptr;  // Flash
    QLabel* Label7 = nullptr;
    TWaitUpDown* UpDown2 = nullptr;  // E²PROM
    QLabel* LabelCE = nullptr;
    TWaitUpDown* UpDown3 = nullptr;  // chip erase
    QLabel* LabelClock = nullptr;
    QComboBox* ComboClock = nullptr;  // AVR target clock: not named, 1, 8, 16 MHz, auto
    QLabel* LabelSerial = nullptr;
    // ADDR:LEN:FORMAT:FIRST[:STEP] of a production run's serial numbers; empty: none.
    QLineEdit* EditSerial = nullptr;
    QPushButton* ButtonSave = nullptr;
    QPushButton* ButtonDelete = nullptr;
    QPushButton* ButtonFeature = nullptr;
    QPushButton* ButtonDetect = nullptr;  // in the free place of the type grid

private:
    void FormCreate();
    void ShowProfile();
    // The working profile shown, or nullptr when the list selects none.
    TProfile* Selected();
    // The type code of the first checked radio button; fallback when none is.
    uint8_t CheckedType(uint8_t fallback) const;
    void SetWait(int32_t TProfile::*field, const TWaitUpDown& upDown);

    TFormNewProfile* ownNewProfile_ = nullptr;
    bool Updating = false;
    bool Modified = false;
    int32_t WorkCount = 0;
    TProfileList WorkProfiles;
};

// The one instance, created at start-up.
extern TFormOptions* FormOptions;

}  // namespace kestrin
