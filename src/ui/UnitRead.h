// The hex view window: reads, edits and writes the target's memory as a hex dump.
#pragma once

#include <QDialog>

namespace kestrin {

class TFormRead : public QDialog {
    Q_OBJECT
public:
    explicit TFormRead(QWidget* parent = nullptr);

    // Brings the window up to date with its data, the connection and the selected
    // profile; whoever shows the window calls it first, then shows it modally (exec).
    void RefreshView();
};

// The one instance, created at start-up.
extern TFormRead* FormRead;

}  // namespace kestrin
