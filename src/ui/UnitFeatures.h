// The fuse and lock bits dialog: the clock fuses of ATtiny and ATmega
// controllers, the user fuses and lock bits of the AT89S8253.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <array>
#include <cstdint>

#include "devices/FuseBits.h"

class QCheckBox;
class QFrame;
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
    void CKOPTToggle();
    // bit 0 to 3: CKSEL0 to CKSEL3; 4 and 5: SUT0 and SUT1.
    void FuseLowToggle(int bit);

    void done(int result) override;

    // Dialog state.
    uint8_t DeviceType = 0;
    uint8_t FuseLow = 0;
    uint8_t FuseHigh = 0;
    bool SCK = false;
    bool MISO = false;
    bool MOSI = false;

    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr;   // "CKOPT"
    QLabel* Label2 = nullptr;   // "clock option"
    QLabel* Label3 = nullptr;   // "CKSEL"
    QLabel* Label4 = nullptr;   // "clock selection"
    QLabel* Label5 = nullptr;   // "SUT"
    QLabel* Label6 = nullptr;   // "startup time"
    QLabel* Label7 = nullptr;   // bit column headings "0" to "3"
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    TBitEdit* CKOPT = nullptr;
    TBitEdit* CKSEL0 = nullptr;
    TBitEdit* CKSEL1 = nullptr;
    TBitEdit* CKSEL2 = nullptr;
    TBitEdit* CKSEL3 = nullptr;
    TBitEdit* SUT0 = nullptr;
    TBitEdit* SUT1 = nullptr;
    QPushButton* BitBtnWrite = nullptr;
    QPushButton* BitBtn2 = nullptr;
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

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    QFrame* CreatePanel1();
    QFrame* CreatePanel2();
    void FitOuterSize();
    TLineLevels Levels() const;
    TFuseBits Bits() const;
    void ShowBits(const TFuseBits& bits);
    void ShowFuseLow();
    void ShowCKOPT();

    std::array<TBitEdit*, 6> fuseLowEdits_{};  // CKSEL0 to CKSEL3, SUT0, SUT1
    std::array<QCheckBox*, 4> fuseBoxes_{};
    std::array<QCheckBox*, 3> lockBoxes_{};
};

// The one instance, created at start-up.
extern TFormFeatures* FormFeatures;

}  // namespace kestrin
