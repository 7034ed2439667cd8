// Checks a shown window for text that does not fit: a label's, button's or
// check box's text wider (or taller) than the room its widget gives it, and
// texts of different widgets drawn over one another. Widths come from the
// font metrics of each widget's own font, so the check holds for any scale
// and any font.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace kestrin {

// One line per fault, naming the widget and the widths; empty when all fits.
QStringList TextLayoutFaults(const QWidget& window);

}  // namespace kestrin
