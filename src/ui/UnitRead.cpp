#include "ui/UnitRead.h"

#include "ui/Placeholder.h"

namespace kestrin {

TFormRead* FormRead = nullptr;

TFormRead::TFormRead(QWidget* parent) : QDialog(parent) { BuildPlaceholder(*this, QStringLiteral("Read/Write µC")); }

void TFormRead::RefreshView() {}

}  // namespace kestrin
