#include "ui/HelpKey.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

namespace kestrin {

THelpKey::THelpKey(std::function<void()> onHelp, QObject* parent) : QObject(parent), onHelp_(std::move(onHelp)) {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->installEventFilter(this);
}

THelpKey::~THelpKey() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeEventFilter(this);
}

bool THelpKey::eventFilter(QObject* watched, QEvent* event) {
    // The key event reaches the application filter once per widget it is
    // offered to; only the first, at a widget, counts.
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_F1 || key->isAutoRepeat() || key->modifiers() != Qt::NoModifier) return false;
    if (showing_ || !onHelp_) return true;
    showing_ = true;
    onHelp_();
    showing_ = false;
    return true;
}

}  // namespace kestrin
