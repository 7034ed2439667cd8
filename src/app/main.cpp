#include <QApplication>
#include <QMainWindow>

#include "config/Prompts.h"
#include "link/SPI.h"
#include "ui/QtPrompts.h"

int main(int argc, char* argv[]) {
    kestrin::LoadAdapterDriver();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kestrin"));
    kestrin::QtPrompts prompts;
    kestrin::SetPrompts(&prompts);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Kestrin"));
    window.resize(393, 284);
    window.show();
    const int rc = app.exec();
    kestrin::SetPrompts(nullptr);
    return rc;
}
