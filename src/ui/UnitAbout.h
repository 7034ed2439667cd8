// The about window: program, version, edition, the adapter's firmware version
// and links to the web pages and mail addresses of the project.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>

class QFrame;
class QLabel;
class QPushButton;

namespace kestrin {

class TUrlLabel;

// The program's version, as the about window and --version show it.
extern const char* const ProgramVersion;

// The firmware line for a firmware byte: major and minor version as one
// upper-case hexadecimal digit each ("2.1", "1.A"), or the note that there is
// no firmware version (byte 0).
QString FirmwareText(uint8_t firmware);

class TFormAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFormAbout(QWidget* parent = nullptr);

    // Shows the window modally with the adapter's firmware byte (0: not available).
    void Execute(uint8_t firmware);

    QLabel* Image1;
    QLabel* Label1;
    QLabel* LabelVersion;
    QLabel* LabelCorvane;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* LabelFirmware;
    QFrame* PanelCorvane;
    QLabel* Label4;
    TUrlLabel* UrlLabel1;
    QLabel* Label5;
    TUrlLabel* UrlLabel2;
    QLabel* Label6;
    TUrlLabel* UrlLabel3;
    QLabel* Label7;
    TUrlLabel* UrlLabel4;
    QPushButton* BitBtnClose;

private:
    void FormCreate();
};

// The one instance, created at start-up.
extern TFormAbout* FormAbout;

}  // namespace kestrin
