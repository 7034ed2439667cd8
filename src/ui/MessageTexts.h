// Texts that the jobs and the settings hand to the windows ready-made (a
// refusal, a run's outcome, a notice): the windows show them in the system
// language when the whole text is one they know, and as they came otherwise.
#pragma once

#include <QString>
#include <string>

namespace kestrin {

QString ShownMessage(const std::string& text);

// The name of a file type in a file dialog's type list.
QString ShownFileType(const QString& name);

}  // namespace kestrin
