// The fuse and lock bits dialog: every fuse and lock bit of the ATtiny or
// ATmega attached, named for that part; the user fuses and lock bits of the
// AT89S8253. Bits are written only after they were read from the same chip.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/FuseBits.h"

class QCheckBox;
class QFrame;
class QGridLayout;
class QLabel;
class QPushButton;

namespace kestrin {

// A read-only one-character box that shows one bit; a click or Space asks
// for the bit to be toggled.
class TBitEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TBitEdit(const QString& name, QWidget* parent = nullptr);

signals:
    void Toggle();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
};

class TFormFeatures : public QDialog {
    Q_OBJECT
public:
    explicit TFormFeatures(QWidget* parent = nullptr);

    // Opens the dialog modally for a profile's controller type and its line
    // options; when it closes, by whatever means, the target is released and
    // the line levels restored.
    void Execute(uint8_t type, bool sck, bool miso, bool mosi);

    // The set-up of Execute without running the window: takes over the type
    // and levels, shows the type's panel and the bits read from its chip.
    void Open(uint8_t type, bool sck, bool miso, bool mosi);

    // Event handlers.
    void BitBtnWriteClick();
    void ButtonDefaultsClick();
    // Shows the fuse and lock values an avr-gcc ELF program carries; Write writes them.
    void ButtonFromElfClick();
    void ButtonReadAgainClick();
    // byte 0 to 2: low, high, extended fuse; 3: the lock byte.
    void BitToggle(int byte, int bit);
    void HexEdited(int byte);

    void done(int result) override;

    // Dialog state.
    uint8_t DeviceType = 0;
    bool SCK = false;
    bool MISO = false;
    bool MOSI = false;
    // The bits as edited, and whether they were read from the chip attached:
    // only then can they be written.
    TFuseBits Edited;
    bool ReadOk = false;
    std::string elfFile_;  // the ELF program last offered, proposed again

    // ATtiny, ATmega: one row per bit the part uses, named after it (WDTON),
    // and each byte's value in hex, editable.
    QFrame* Panel1 = nullptr;
    QLabel* LabelPart = nullptr;
    std::array<QLineEdit*, 4> HexEdits{};
    QPushButton* ButtonDefaults = nullptr;  // "factory defaults"
    QPushButton* ButtonFromElf = nullptr;   // "from ELF file…"
    QPushButton* BitBtnWrite = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* ButtonReadAgain = nullptr;  // shown after a failed read
    QFrame* Panel2 = nullptr;
    QLabel* Label11 = nullptr;  // column headings "1" to "4"
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* Label15 = nullptr;  // "Fuse"
    QLabel* Label16 = nullptr;  // "Lock Bit"
    QCheckBox* CheckBoxFuse1 = nullptr;
    QCheckBox* CheckBoxFuse2 = nullptr;
    QCheckBox* CheckBoxFuse3 = nullptr;
    QCheckBox* CheckBoxFuse4 = nullptr;
    QCheckBox* CheckBoxLock1 = nullptr;
    QCheckBox* CheckBoxLock2 = nullptr;
    QCheckBox* CheckBoxLock3 = nullptr;
    // Where the shown bits came from, and what the last write found.
    QLabel* LabelStatus = nullptr;
    QLabel* LabelRule = nullptr;  // what 1 and 0 mean for the bits shown

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    QFrame* CreatePanel1();
    QFrame* CreatePanel2();
    void FitOuterSize();
    TLineLevels Levels() const;
    void ReadChip();
    void BuildAvrRows();
    void ShowBits();
    uint8_t& ByteOf(int byte);

    struct TBitCell {
        int Byte;
        int Bit;
        TBitEdit* Edit;
    };
    std::vector<TBitCell> bitCells_;
    std::vector<QWidget*> avrRows_;  // rebuilt for each part
    QGridLayout* avrGrid_ = nullptr;
    std::array<QCheckBox*, 4> fuseBoxes_{};
    std::array<QCheckBox*, 3> lockBoxes_{};
};

// The one instance, created at start-up.
extern TFormFeatures* FormFeatures;

}  // namespace kestrin
