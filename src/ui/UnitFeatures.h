// The fuse and lock bits dialog.
#pragma once

#include <QDialog>

#include <cstdint>

namespace kestrin {

class TFormFeatures : public QDialog {
    Q_OBJECT
public:
    explicit TFormFeatures(QWidget* parent = nullptr);

    // Opens the dialog for a profile's controller type and line options.
    void Execute(uint8_t type, bool sck, bool miso, bool mosi);
};

// The one instance, created at start-up.
extern TFormFeatures* FormFeatures;

}  // namespace kestrin
