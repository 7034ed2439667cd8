#include "ui/MessageTexts.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>
#include <vector>

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
    QT_TRANSLATE_NOOP("kestrin::Messages", "This file holds Intel HEX records. Write it as Intel HEX?"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "This file holds Motorola S-records. Write it as Motorola S-record?"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "This file holds an ELF program. Write it as ELF?"),
    QT_TRANSLATE_NOOP("kestrin::Messages",
                      "The chip answers, but its signature reads 00 00 00: an AT90S with both lock bits programmed. "
                      "Only a chip erase unlocks it."),
    QT_TRANSLATE_NOOP("kestrin::Messages", "the file holds no fuse or lock values"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "the attached chip's part is not known"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "not a readable ELF program"),
};

// Texts the jobs compose around numbers, names and addresses: each %n stands
// for one such value, which is carried over into the translation (itself
// translated when it is a text of its own, such as the memory's name). Two
// values side by side ("%2 %3": "64 KB Flash") split at their first space,
// so a translation keeps them side by side.
const char* const kComposedTexts[] = {
    QT_TRANSLATE_NOOP("kestrin::Messages", "Verify failed at %1h: wrote %2, read %3"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "data at %1 lies beyond the chip's %2 %3"),
    QT_TRANSLATE_NOOP("kestrin::Messages",
                      "File size exceeds memory range with given start address! %1 bytes from %2 do not fit %3 of %4 "
                      "bytes."),
    QT_TRANSLATE_NOOP("kestrin::Messages", "the %1's %2"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "The file is built for signature %1, the chip (%2) answers %3!"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "the file is built for %1, the attached chip is an %2"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "the file sets %1 fuse bytes, the %2 has %3"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "the %1 takes no fuse values from an ELF program"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "The profile \"%1\" has the unknown controller type %2!"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "Writing to the %1 is not supported yet!"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "The %1 has no %2!"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "This ELF program is built for an AVR, not for the %1!"),
    QT_TRANSLATE_NOOP("kestrin::Messages",
                      "the backup of the %1 is not back in the chip and is kept in %2 (kestrin /R=1 writes it back)"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "the backup of the %1 could not be written back"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "the restored backup's file %1 could not be removed"),
    QT_TRANSLATE_NOOP("kestrin::Messages", "%1 could not be removed"),
};

struct TComposed {
    const char* Source;
    QRegularExpression Pattern;  // the source with every %n as a group
};

// "Verify failed at %1h" -> ^Verify failed at (.+?)h$ and so on.
const std::vector<TComposed>& ComposedTexts() {
    static const std::vector<TComposed> texts = [] {
        std::vector<TComposed> out;
        static const QRegularExpression placeholder(QStringLiteral("%\\d"));
        for (const char* source : kComposedTexts) {
            const QString text = QString::fromUtf8(source);
            QString pattern;
            qsizetype done = 0;
            for (auto it = placeholder.globalMatch(text); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                pattern += QRegularExpression::escape(text.mid(done, m.capturedStart() - done)) + QStringLiteral("(.+?)");
                done = m.capturedEnd();
            }
            pattern += QRegularExpression::escape(text.mid(done));
            out.push_back({source, QRegularExpression(QLatin1Char('^') + pattern + QLatin1Char('$'))});
        }
        return out;
    }();
    return texts;
}

QString Translated(const QString& text);

// One composed text with its values put back into its translation; empty
// when no composed text has this shape.
QString TranslatedComposed(const QString& text) {
    for (const TComposed& c : ComposedTexts()) {
        const QRegularExpressionMatch m = c.Pattern.match(text);
        if (!m.hasMatch()) continue;
        QString shown = QCoreApplication::translate("kestrin::Messages", c.Source);
        for (int i = 1; i <= m.lastCapturedIndex(); ++i) shown = shown.arg(Translated(m.captured(i)));
        return shown;
    }
    return {};
}

// A text as a whole, then as a composed text, then part by part where the
// jobs join parts ("\n\n" between a message and its question, "; " between
// a message and what followed from it).
QString Translated(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    const QString whole = QCoreApplication::translate("kestrin::Messages", utf8.constData());
    if (whole != text) return whole;
    if (QString composed = TranslatedComposed(text); !composed.isEmpty()) return composed;
    for (const QString& separator : {QStringLiteral("\n\n"), QStringLiteral("; ")}) {
        if (!text.contains(separator)) continue;
        QStringList parts = text.split(separator);
        for (QString& part : parts) part = Translated(part);
        return parts.join(separator);
    }
    return text;
}

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
    return Translated(QString::fromStdString(text));
}

}  // namespace kestrin
