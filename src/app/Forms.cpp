#include "app/Forms.h"

#include "app/UnitMain.h"
#include "ui/HelpKey.h"
#include "ui/UnitAbout.h"
#include "ui/UnitFeatures.h"
#include "ui/UnitHelp.h"
#include "ui/UnitNewProfile.h"
#include "ui/UnitOptions.h"
#include "ui/UnitRead.h"

namespace kestrin {

TForms::TForms() {
    main_ = std::make_unique<TFormMain>();
    FormMain = main_.get();
    // The dialogs belong to the main window, which destroys them with itself.
    FormOptions = new TFormOptions(FormMain);
    FormAbout = new TFormAbout(FormMain);
    FormNewProfile = new TFormNewProfile(FormMain);
    FormFeatures = new TFormFeatures(FormMain);
    FormHelp = new TFormHelp(FormMain);
    FormRead = new TFormRead(FormMain);
    // The hex view's runs take memory, Verify and Backup from the main
    // window's controls, as the main window's own write does.
    FormRead->SetRunChoiceProvider([] {
        const TJobRequest request = FormMain->RunRequest();
        return TRunChoice{request.EEPROM, request.Verify, request.Backup};
    });
    // F1 in any window; the Options button's pop-up entry opens the same window.
    helpKey_ = std::make_unique<THelpKey>([] {
        if (FormHelp != nullptr && !FormHelp->isVisible()) FormHelp->Execute();
    });
    FormOptions->OnFeatures = [](uint8_t type, bool sck, bool miso, bool mosi) {
        if (FormFeatures != nullptr) FormFeatures->Execute(type, sck, miso, mosi);
    };
}

TForms::~TForms() {
    helpKey_.reset();
    FormOptions = nullptr;
    FormAbout = nullptr;
    FormNewProfile = nullptr;
    FormFeatures = nullptr;
    FormHelp = nullptr;
    FormRead = nullptr;
    main_.reset();
    FormMain = nullptr;
}

}  // namespace kestrin
