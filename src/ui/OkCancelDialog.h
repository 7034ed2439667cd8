// Base of the fixed-size dialogs that end with OK or Cancel: OK is the default
// button (Enter), Cancel the escape button (Esc); closing by the title bar
// counts as Cancel. The window opens in the middle of its screen.
#pragma once

#include <QDialog>

class QHBoxLayout;
class QPushButton;

namespace kestrin {

class TOkCancelDialog : public QDialog {
    Q_OBJECT

public:
    QPushButton* BitBtnOk = nullptr;
    QPushButton* BitBtnCancel = nullptr;

protected:
    TOkCancelDialog(const QString& caption, QWidget* parent);
    // The button row, OK and Cancel at its right end, for the caller's layout.
    QHBoxLayout* OkCancelRow();
    void showEvent(QShowEvent* event) override;
};

}  // namespace kestrin
