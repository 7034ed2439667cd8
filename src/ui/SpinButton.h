// A pair of small up/down arrow buttons stacked vertically. Holding one repeats
// its click, the first time after 400 ms, then every 100 ms. Neither button
// takes the keyboard focus.
#pragma once

#include <QToolButton>
#include <QWidget>

namespace kestrin {

class TSpinButton : public QWidget {
    Q_OBJECT
public:
    explicit TSpinButton(QWidget* parent = nullptr);

    QToolButton* UpButton;
    QToolButton* DownButton;

signals:
    void UpClick();
    void DownClick();
};

}  // namespace kestrin
