#include "ui/ScreenPlace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace kestrin {

void CenterOnScreen(QWidget& window) {
    window.adjustSize();
    const QScreen* screen = window.screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

}  // namespace kestrin
