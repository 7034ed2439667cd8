// Start-up and shutdown of the program.
#include <QApplication>

#include "app/CommandLine.h"
#include "app/Forms.h"
#include "app/UnitMain.h"
#include "config/Prompts.h"
#include "config/UnitConfig.h"
#include "link/SPI.h"
#include "ui/Glyphs.h"
#include "ui/QtPrompts.h"

int main(int argc, char* argv[]) {
    using namespace kestrin;
    LoadAdapterDriver();

    QApplication app(argc, argv);
    // The title: also the caption of every message box, including those that
    // reading the settings may show before any window exists.
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrin"));
    QApplication::setWindowIcon(Glyph(QString::fromUtf8(glyph::Program)));
    QtPrompts prompts;
    SetPrompts(&prompts);

    LoadSettings();
    ApplyCommandLine(QCoreApplication::arguments().mid(1));

    {
        TForms forms;
        // A main window that an unattended run keeps hidden ends the loop too.
        QObject::connect(&forms.Main(), &TFormMain::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
        if (Config.ExecMode != 0) forms.Main().show();
        QApplication::exec();
    }

    SaveSettings();
    SetPrompts(nullptr);
    return 0;
}
