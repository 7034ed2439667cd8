#include "ui/UnitFeatures.h"

#include "ui/Placeholder.h"

namespace kestrin {

TFormFeatures* FormFeatures = nullptr;

TFormFeatures::TFormFeatures(QWidget* parent) : QDialog(parent) { BuildPlaceholder(*this, QStringLiteral("Features")); }

void TFormFeatures::Execute(uint8_t, bool, bool, bool) { exec(); }

}  // namespace kestrin
