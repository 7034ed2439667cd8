// Body of a window whose controls are not built yet: a short note and a Close
// button, so that opening it never leaves the user stuck.
#pragma once

#include <QDialog>

namespace kestrin {

void BuildPlaceholder(QDialog& dialog, const QString& caption);

}  // namespace kestrin
