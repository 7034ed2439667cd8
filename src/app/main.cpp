// Start-up and shutdown of the program.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/CommandLine.h"
#include "app/Forms.h"
#include "app/Translations.h"
#include "app/UnitMain.h"
#include "config/Prompts.h"
#include "config/UnitConfig.h"
#include "files/DurableFile.h"
#include "link/SPI.h"
#include "ui/Glyphs.h"
#include "ui/QtPrompts.h"
#include "ui/UnitRead.h"

namespace {

// Ctrl+C or SIGTERM during an unattended run: the write stops at the next
// page or byte (a backup is still written back) and the program ends.
std::atomic<bool> Interrupted{false};

extern "C" void OnInterrupt(int) { Interrupted.store(true); }

// A platform chosen that shows nothing: a window left open there would wait
// for ever, so such a start is treated as one without a display.
bool InvisiblePlatform() {
    const char* value = std::getenv("QT_QPA_PLATFORM");
    if (value == nullptr) return false;
    const std::string name = value;
    return name == "offscreen" || name == "minimal" || name.rfind("offscreen:", 0) == 0 ||
           name.rfind("minimal:", 0) == 0;
}

bool Unset(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr || *value == '\0';
}

// True when there is no desktop to show a window on and nobody chose a
// platform: a run that ends by itself then goes on without windows, anything
// else is refused with a clear word instead of the toolkit's abort.
bool NoDisplay() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return Unset("DISPLAY") && Unset("WAYLAND_DISPLAY") && Unset("QT_QPA_PLATFORM");
#else
    return false;
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace kestrin;
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    switch (EarlyRequest(arguments)) {
        case TEarlyRequest::Help: std::fputs(UsageText().c_str(), stdout); return 0;
        case TEarlyRequest::Version:
            LoadAdapterDriver();
            std::fputs((VersionText() + DriverText()).c_str(), stdout);
            return 0;
        case TEarlyRequest::None: break;
    }
    const bool noDisplay = NoDisplay();
    const bool invisible = noDisplay || InvisiblePlatform();
    if (invisible && !StartsUnattended(arguments)) {
        std::fputs(noDisplay ? "kestrin: no display found (DISPLAY, WAYLAND_DISPLAY): the window cannot be shown.\n"
                             : "kestrin: QT_QPA_PLATFORM shows no window: the window cannot be seen.\n",
                   stderr);
        std::fputs("Without a display Kestrin runs unattended only (/S=, see kestrin --help).\n", stderr);
        return ecRefused;
    }
    if (noDisplay) {
        std::fputs("kestrin: no display found: running without a window\n", stderr);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }

    LoadAdapterDriver();

    QApplication app(argc, argv);
    // The title: also the caption of every message box, including those that
    // reading the settings may show before any window exists.
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrin"));
    QApplication::setWindowIcon(Glyph(QString::fromUtf8(glyph::Program)));
    // The windows follow the system language; English is the source. What
    // scripts read (standard error, exit codes, settings) stays English:
    // without a screen every message goes to standard error, so nothing is
    // translated then.
    const bool onScreen = QGuiApplication::platformName() != QLatin1String("offscreen");
    TTranslations translations;
    if (onScreen) translations.Install(QLocale());
    // A message box nobody can see would wait for ever: without a screen the
    // messages go to standard error and take their safe answer.
    QtPrompts prompts;
    if (onScreen) SetPrompts(&prompts);

    LoadSettings();
    ApplyCommandLine(QCoreApplication::arguments().mid(1));
    // What a save cut off by a crash or a power loss left behind (the backup
    // journal's folder is cleaned when its backups are looked for).
    RemoveInterruptedSaves(AppDataFolder());
    if (!Config.LastFile.empty())
        RemoveInterruptedSaves(std::filesystem::path(Config.LastFile).parent_path().string());

    int exitCode = ecOk;
    {
        TForms forms;
        forms.Main().NoDisplay = invisible;
        if (FormRead != nullptr) FormRead->NoDisplay = forms.Main().NoDisplay;
        QTimer interruptWatch;
        if (Config.ExecMode >= 0) {
            std::signal(SIGINT, OnInterrupt);
            std::signal(SIGTERM, OnInterrupt);
            QObject::connect(&interruptWatch, &QTimer::timeout, &forms.Main(), [&forms] {
                if (!Interrupted.exchange(false)) return;
                std::fputs("kestrin: interrupted: stopping\n", stderr);
                forms.Main().StopRun();
                forms.Main().close();
            });
            interruptWatch.start(50);
        }
        // A main window that an unattended run keeps hidden ends the loop too.
        QObject::connect(&forms.Main(), &TFormMain::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
        if (Config.ExecMode != 0) forms.Main().show();
        QApplication::exec();
        exitCode = forms.Main().ExitCode;
    }

    SaveSettings();
    SetPrompts(nullptr);
    return exitCode;
}
