// The help window: the list of command line parameters.
#pragma once

#include <QDialog>

namespace kestrin {

class TFormHelp : public QDialog {
    Q_OBJECT
public:
    explicit TFormHelp(QWidget* parent = nullptr);

    // Shows the window modally.
    void Execute();
};

// The one instance, created at start-up.
extern TFormHelp* FormHelp;

}  // namespace kestrin
