// Marks texts of this Qt-free layer that the windows show translated: the
// mark leaves the text as it is here, Qt's lupdate finds it by its name, and
// the window looks the text up under the same context when it shows it.
// kestrin-cli and standard error keep the English text.
#pragma once

#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(context, text) text
#endif

