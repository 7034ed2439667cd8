// kestrin-screenshots: photographs every window in the language of LANG at
// the scale of QT_SCALE_FACTOR into a folder (name-language-scale.png) and
// reports text that does not fit; make-screenshots.sh runs it for each
// language and scale under Xvfb.
#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

#include "LayoutCheck.h"
#include "WindowGallery.h"
#include "app/Translations.h"
#include "ui/Glyphs.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QApplication::setWindowIcon(kestrin::Glyph(QString::fromUtf8(kestrin::glyph::Program)));
    if (argc != 2) {
        std::fputs("usage: kestrin-screenshots FOLDER\n", stderr);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "kestrin-screenshots: cannot make %s\n", argv[1]);
        return 2;
    }
    kestrin::TTranslations translations;
    const QString language = translations.Install(QLocale()) ? QLocale().name().left(2) : QStringLiteral("en");
    const char* scaleText = std::getenv("QT_SCALE_FACTOR");
    const QString scale = QStringLiteral("%1x").arg(scaleText != nullptr ? QString::fromLatin1(scaleText) : QStringLiteral("1"));
    int faults = 0;
    kestrin::TWindowGallery gallery;
    for (const QString& name : kestrin::TWindowGallery::Names()) {
        QWidget* window = gallery.Show(name);
        const QString file = folder.filePath(QStringLiteral("%1-%2-%3.png").arg(name, language, scale));
        // The window with its frame where the platform draws one, else its contents.
        QPixmap shot = window->screen()->grabWindow(0, window->frameGeometry().x(), window->frameGeometry().y(),
                                                     window->frameGeometry().width(), window->frameGeometry().height());
        if (shot.isNull() || QGuiApplication::platformName() == u"offscreen") shot = window->grab();
        if (!shot.save(file)) {
            std::fprintf(stderr, "kestrin-screenshots: cannot write %s\n", qPrintable(file));
            return 2;
        }
        for (const QString& fault : kestrin::TextLayoutFaults(*window)) {
            std::fprintf(stderr, "%s (%s, %s): %s\n", qPrintable(name), qPrintable(language), qPrintable(scale),
                         qPrintable(fault));
            ++faults;
        }
        std::printf("%s\n", qPrintable(file));
    }
    return faults == 0 ? 0 : 1;
}
