// Placing windows on the screen.
#pragma once

class QWidget;

namespace kestrin {

// Moves a window to the middle of the screen it is on (the primary screen
// when it is on none yet).
void CenterOnScreen(QWidget& window);

}  // namespace kestrin
