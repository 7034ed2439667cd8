// The save-profile dialog: asks for the name and the description of a profile
// that the options dialog is about to save under a new name.
#pragma once

#include <string>

#include "ui/OkCancelDialog.h"

class QLabel;
class QLineEdit;

namespace kestrin {

class TFormNewProfile : public TOkCancelDialog {
    Q_OBJECT

public:
    explicit TFormNewProfile(QWidget* parent = nullptr);

    // Shows the dialog modally with an empty name box and info as description.
    // On OK returns true with the texts entered; otherwise false, name and info
    // unchanged. Neither text is checked: empty or duplicate names are accepted.
    bool Execute(std::string& name, std::string& info);

    QLabel* Label1 = nullptr;
    QLineEdit* EditName = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* EditInfo = nullptr;

private:
    void FormCreate();
};

// The one instance, created at start-up.
extern TFormNewProfile* FormNewProfile;

}  // namespace kestrin
