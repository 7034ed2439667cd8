#include "ui/SpinButton.h"

#include <QVBoxLayout>

namespace kestrin {

namespace {

QToolButton* MakeArrow(QWidget* parent, Qt::ArrowType arrow) {
    auto* b = new QToolButton(parent);
    b->setArrowType(arrow);
    b->setAutoRepeat(true);
    b->setAutoRepeatDelay(400);
    b->setAutoRepeatInterval(100);
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedSize(16, 11);
    b->setIconSize(QSize(7, 7));
    return b;
}

}  // namespace

TSpinButton::TSpinButton(QWidget* parent) : QWidget(parent) {
    UpButton = MakeArrow(this, Qt::UpArrow);
    DownButton = MakeArrow(this, Qt::DownArrow);
    // Arrows only: screen readers need words.
    UpButton->setAccessibleName(tr("Up"));
    DownButton->setAccessibleName(tr("Down"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(UpButton);
    layout->addWidget(DownButton);
    connect(UpButton, &QToolButton::clicked, this, &TSpinButton::UpClick);
    connect(DownButton, &QToolButton::clicked, this, &TSpinButton::DownClick);
}

}  // namespace kestrin
