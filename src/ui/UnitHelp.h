// The help window: the list of command line parameters.
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace kestrin {

// The command line parameters, one per line as the help window shows them.
extern const char* const CommandLineHelpText;

class TFormHelp : public QDialog {
    Q_OBJECT
public:
    explicit TFormHelp(QWidget* parent = nullptr);

    // Shows the window modally; OK (or Enter) closes it.
    void Execute();

    QPlainTextEdit* Memo1;
    QPushButton* BitBtn1;
};

// The one instance, created at start-up.
extern TFormHelp* FormHelp;

}  // namespace kestrin
