#include "LayoutCheck.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>
#include <QToolButton>

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <vector>

namespace kestrin {

namespace {

// The text as drawn: "&x" marks a mnemonic, "&&" is one ampersand.
QString Drawn(QString text, bool mnemonics) {
    if (!mnemonics) return text;
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

int WidestLine(const QFontMetrics& fm, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) widest = std::max(widest, fm.horizontalAdvance(line));
    return widest;
}

QString Name(const QWidget& w) {
    const QString name = w.objectName().isEmpty() ? QString::fromLatin1(w.metaObject()->className()) : w.objectName();
    return QStringLiteral("%1 \"%2\"").arg(name, w.property("text").toString());
}

struct TTextRect {
    const QWidget* Widget;
    QRect Rect;  // in window coordinates
};

// The room a label's text gets and the text's own size; the rect is where
// the label draws it.
void CheckLabel(const QLabel& label, const QWidget& window, QStringList& faults, std::vector<TTextRect>& texts) {
    if (label.text().isEmpty() || !label.pixmap().isNull()) return;
    const QFontMetrics fm(label.font());
    const int margin = label.margin() + std::max(label.indent(), 0);
    const QRect room = label.contentsRect().adjusted(margin, margin, -margin, -margin);
    QSize need;
    const bool rich = label.textFormat() == Qt::RichText ||
                      (label.textFormat() == Qt::AutoText && Qt::mightBeRichText(label.text()));
    if (rich) {
        QTextDocument doc;
        doc.setDefaultFont(label.font());
        doc.setDocumentMargin(0);
        doc.setHtml(label.text());
        if (label.wordWrap()) doc.setTextWidth(room.width());
        need = QSize(static_cast<int>(std::ceil(label.wordWrap() ? std::min<qreal>(doc.idealWidth(), room.width())
                                                                 : doc.idealWidth())),
                     static_cast<int>(std::ceil(doc.size().height())));
    } else {
        const QString text = Drawn(label.text(), label.buddy() != nullptr);
        if (label.wordWrap()) {
            need = fm.boundingRect(QRect(0, 0, room.width(), 100000), Qt::TextWordWrap, text).size();
            // A single word longer than the room cannot wrap.
            for (const QString& word : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
                need.setWidth(std::max(need.width(), fm.horizontalAdvance(word)));
        } else {
            need = QSize(WidestLine(fm, text), fm.height() * static_cast<int>(text.count(QLatin1Char('\n')) + 1));
        }
    }
    if (need.width() > room.width())
        faults << QStringLiteral("%1: text %2 px wide, room %3 px").arg(Name(label)).arg(need.width()).arg(room.width());
    if (need.height() > room.height())
        faults << QStringLiteral("%1: text %2 px high, room %3 px").arg(Name(label)).arg(need.height()).arg(room.height());
    const QRect drawn = QStyle::alignedRect(label.layoutDirection(), QStyle::visualAlignment(label.layoutDirection(), label.alignment()),
                                            need.boundedTo(room.size()), room);
    texts.push_back({&label, QRect(label.mapTo(&window, drawn.topLeft()), drawn.size())});
}

// A button's text beside its icon or indicator, and the button's frame.
void CheckButton(const QAbstractButton& button, const QWidget& window, QStringList& faults,
                 std::vector<TTextRect>& texts) {
    const QString text = Drawn(button.text(), true);
    if (text.isEmpty()) return;
    const QFontMetrics fm(button.font());
    const QStyle* style = button.style();
    int need = WidestLine(fm, text);
    int room = button.contentsRect().width();
    if (qobject_cast<const QCheckBox*>(&button) != nullptr || qobject_cast<const QRadioButton*>(&button) != nullptr) {
        const bool check = qobject_cast<const QCheckBox*>(&button) != nullptr;
        need += style->pixelMetric(check ? QStyle::PM_IndicatorWidth : QStyle::PM_ExclusiveIndicatorWidth, nullptr, &button) +
                style->pixelMetric(check ? QStyle::PM_CheckBoxLabelSpacing : QStyle::PM_RadioButtonLabelSpacing, nullptr, &button);
    } else if (const auto* tool = qobject_cast<const QToolButton*>(&button)) {
        if (tool->toolButtonStyle() == Qt::ToolButtonTextBesideIcon && !tool->icon().isNull())
            need += tool->iconSize().width() + 4;
        room -= 2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button) / 2;
    } else if (qobject_cast<const QPushButton*>(&button) != nullptr) {
        if (!button.icon().isNull()) need += button.iconSize().width() + 4;
        room -= 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &button);
    }
    if (need > room) faults << QStringLiteral("%1: text %2 px wide, room %3 px").arg(Name(button)).arg(need).arg(room);
    if (fm.height() > button.contentsRect().height())
        faults << QStringLiteral("%1: text %2 px high, room %3 px").arg(Name(button)).arg(fm.height()).arg(button.contentsRect().height());
    texts.push_back({&button, QRect(button.mapTo(&window, QPoint(0, 0)), button.size())});
}

bool Related(const QWidget* a, const QWidget* b) { return a->isAncestorOf(b) || b->isAncestorOf(a); }

}  // namespace

QStringList TextLayoutFaults(const QWidget& window) {
    QStringList faults;
    std::vector<TTextRect> texts;
    for (const QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&window) || w->window() != &window) continue;
        if (const auto* label = qobject_cast<const QLabel*>(w)) CheckLabel(*label, window, faults, texts);
        if (const auto* button = qobject_cast<const QAbstractButton*>(w)) CheckButton(*button, window, faults, texts);
    }
    for (size_t i = 0; i < texts.size(); ++i)
        for (size_t j = i + 1; j < texts.size(); ++j)
            if (!Related(texts[i].Widget, texts[j].Widget) && texts[i].Rect.intersects(texts[j].Rect))
                faults << QStringLiteral("%1 overlaps %2").arg(Name(*texts[i].Widget), Name(*texts[j].Widget));
    // Nothing outside the window.
    for (const TTextRect& t : texts)
        if (!QRect(QPoint(0, 0), window.size()).contains(t.Rect))
            faults << QStringLiteral("%1 reaches outside the window").arg(Name(*t.Widget));
    return faults;
}

}  // namespace kestrin
