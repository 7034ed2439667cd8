// The program's seven windows, created once at start-up and reused for the
// whole run.
#pragma once

#include <memory>

namespace kestrin {

class TFormMain;
class THelpKey;

class TForms {
public:
    // Creates the windows in this order: TFormMain (the main window), then
    // TFormOptions, TFormAbout, TFormNewProfile, TFormFeatures, TFormHelp and
    // TFormRead, and sets their global pointers. All but the main window are
    // hidden; the main window is shown by the caller.
    TForms();
    // Destroys the windows and clears the global pointers.
    ~TForms();
    TForms(const TForms&) = delete;
    TForms& operator=(const TForms&) = delete;

    TFormMain& Main() const { return *main_; }

private:
    std::unique_ptr<TFormMain> main_;
    std::unique_ptr<THelpKey> helpKey_;
};

}  // namespace kestrin
