// The about window: program, version and the adapter's firmware version.
#pragma once

#include <QDialog>

#include <cstdint>

namespace kestrin {

class TFormAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFormAbout(QWidget* parent = nullptr);

    // Shows the window modally with the adapter's firmware byte (0: not available).
    void Execute(uint8_t firmware);
};

// The one instance, created at start-up.
extern TFormAbout* FormAbout;

}  // namespace kestrin
