// Every window of the program, built as the program builds them (the main
// window with its dialogs) and opened one at a time in a state worth seeing:
// the virtual adapter connected, a chip behind it, the fuse and lock bits
// dialog with the bits read. For the screenshot tool and the layout test.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class QWidget;

namespace kestrin {

class TForms;

class TWindowGallery {
public:
    // Private settings and state folders; the virtual adapter bound.
    TWindowGallery();
    ~TWindowGallery();
    TWindowGallery(const TWindowGallery&) = delete;
    TWindowGallery& operator=(const TWindowGallery&) = delete;

    // The windows by name: main, options, save-profile, about, help,
    // hex-view, fuses-avr, fuses-at89s8253.
    static QStringList Names();
    // Opens the window, not modal, and returns it laid out and exposed;
    // nullptr for an unknown name. The window shown before is closed.
    QWidget* Show(const QString& name);

private:
    void Close();

    QTemporaryDir folder_;
    std::unique_ptr<TForms> forms_;
    QWidget* shown_ = nullptr;
};

}  // namespace kestrin
