#include "ui/UnitAbout.h"

#include "ui/Placeholder.h"

namespace kestrin {

TFormAbout* FormAbout = nullptr;

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent) { BuildPlaceholder(*this, QStringLiteral("About this program")); }

void TFormAbout::Execute(uint8_t) { exec(); }

}  // namespace kestrin
