#include "ui/MessageTexts.h"

#include <QCoreApplication>

namespace kestrin {

namespace {

// The fixed texts of the jobs, the run results and the settings, for lupdate:
// the English text is the key the translation is looked up by.
[[maybe_unused]] const char* const kKnownTexts[] = {
    QT_TRANSLATE_NOOP("kestrin::Messages", "Can't open file!"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "File is empty!"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "File size exceeds memory range with given start address!"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "Nothing to read: the size is 0!"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "Invalid profile information is corrected!"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "Verify failed"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "Ok"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "failed"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "no device"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "stopped"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "file is empty"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "the adapter went away during the run"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "the target did not hold the byte written"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "the backup read back differently after it was written back"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "the read gave fewer bytes than asked for"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "not connected to the adapter"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "a signature no known part has"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "another chip answers than the one the bits were read from"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "the chip reads back other bits than were written"),
};

// The names of the file types in the file dialogs.
[[maybe_unused]] const char* const kFileTypes[] = {
    QT_TRANSLATE_NOOP("kestrin::FileTypes", "binary files"),
    QT_TRANSLATE_NOOP("kestrin::FileTypes", "intel hex"),
    QT_TRANSLATE_NOOP("kestrin::FileTypes", "any binary file"),
    QT_TRANSLATE_NOOP("kestrin::FileTypes", "Motorola S-record"),
    QT_TRANSLATE_NOOP("kestrin::FileTypes", "ELF"),
};

}  // namespace

QString ShownFileType(const QString& name) {
    return QCoreApplication::translate("kestrin::FileTypes", name.toUtf8().constData());
}

QString ShownMessage(const std::string& text) {
    if (text.empty()) return {};
    return QCoreApplication::translate("kestrin::Messages", text.c_str());
}

}  // namespace kestrin
