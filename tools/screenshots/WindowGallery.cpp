#include "WindowGallery.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <cstdlib>
#include <memory>

#include "VirtualDriver.h"
#include "app/Forms.h"
#include "app/UnitMain.h"
#include "config/UnitConfig.h"
#include "link/SPI.h"
#include "ui/UnitAbout.h"
#include "ui/UnitFeatures.h"
#include "ui/UnitHelp.h"
#include "ui/UnitNewProfile.h"
#include "ui/UnitOptions.h"
#include "ui/UnitRead.h"

namespace kestrin {

namespace {

// The adapter of every gallery; bound once, as the program binds one driver.
test::VirtualDriver& Adapter() {
    static test::VirtualDriver adapter;
    return adapter;
}

void UseChip(const char* chip) {
    Ops.Disconnect();
    Adapter().ResetAll();
    Adapter().Set("chip", chip);
    Connected = Ops.Connect(0, 1) == 0;
}

}  // namespace

TWindowGallery::TWindowGallery() {
    setenv("XDG_CONFIG_HOME", folder_.path().toUtf8().constData(), 1);
    setenv("XDG_STATE_HOME", (folder_.path() + QStringLiteral("/state")).toUtf8().constData(), 1);
    Config = TConfig{};
    BuildDefaultProfiles(ProfileTable);
    Config.ProfileCount = DefaultProfileCount;
    UseChip("AT89S8253");
    forms_ = std::make_unique<TForms>();
}

TWindowGallery::~TWindowGallery() {
    Close();
    forms_.reset();
    Ops.Disconnect();
    Connected = false;
}

QStringList TWindowGallery::Names() {
    return {QStringLiteral("main"),     QStringLiteral("options"),   QStringLiteral("save-profile"),
            QStringLiteral("about"),    QStringLiteral("help"),      QStringLiteral("hex-view"),
            QStringLiteral("fuses-avr"), QStringLiteral("fuses-at89s8253")};
}

void TWindowGallery::Close() {
    if (shown_ != nullptr) shown_->hide();
    shown_ = nullptr;
    QApplication::processEvents();
}

QWidget* TWindowGallery::Show(const QString& name) {
    Close();
    QWidget* window = nullptr;
    if (name == u"main") {
        window = FormMain;
    } else if (name == u"options") {
        FormOptions->Open();
        window = FormOptions;
    } else if (name == u"save-profile") {
        FormNewProfile->EditName->setText(QStringLiteral("My AT89S8253"));
        FormNewProfile->EditInfo->setText(QStringLiteral("AT89S8253, 5 V board"));
        window = FormNewProfile;
    } else if (name == u"about") {
        FormAbout->LabelFirmware->setText(FirmwareText(static_cast<uint8_t>(Ops.GetFirmware() & 0xFF)));
        window = FormAbout;
    } else if (name == u"help") {
        window = FormHelp;
    } else if (name == u"hex-view") {
        window = FormRead;
    } else if (name == u"fuses-avr" || name == u"fuses-at89s8253") {
        const bool avr = name == u"fuses-avr";
        UseChip(avr ? "ATmega328P" : "AT89S8253");
        FormFeatures->Open(avr ? ctATmega : ctAT89S8253, false, false, false);
        window = FormFeatures;
    }
    if (window == nullptr) return nullptr;
    window->show();
    if (!QTest::qWaitForWindowExposed(window)) QApplication::processEvents();
    window->activateWindow();
    QApplication::processEvents();
    shown_ = window;
    return window;
}

}  // namespace kestrin
