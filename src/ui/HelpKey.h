// F1 anywhere in the program opens the help window: a filter on the whole
// application, so every window and dialog has the key, modal ones included.
#pragma once

#include <QObject>
#include <functional>

namespace kestrin {

class THelpKey final : public QObject {
public:
    // Installs itself on the application; onHelp opens the help window.
    THelpKey(std::function<void()> onHelp, QObject* parent = nullptr);
    ~THelpKey() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> onHelp_;
    bool showing_ = false;  // F1 in the help window itself opens no second one
};

}  // namespace kestrin
