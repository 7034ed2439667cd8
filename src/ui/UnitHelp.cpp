#include "ui/UnitHelp.h"

#include "ui/Placeholder.h"

namespace kestrin {

TFormHelp* FormHelp = nullptr;

TFormHelp::TFormHelp(QWidget* parent) : QDialog(parent) { BuildPlaceholder(*this, QStringLiteral("µC Programmer over Veltro - command line parameters")); }

void TFormHelp::Execute() { exec(); }

}  // namespace kestrin
