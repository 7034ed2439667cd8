// The program's prompts: real Qt message boxes and file dialogs.
#pragma once

#include <QWidget>

#include "config/Prompts.h"

namespace kestrin {

class QtPrompts final : public IPrompts {
public:
    TMsgResult Message(TMsgKind kind, const std::string& text, TMsgButtons buttons) override;
    bool OpenFile(TFileDialog& dialog) override;
    bool SaveFile(TFileDialog& dialog) override;
};

// Converts "name|patterns|name|patterns" into Qt name filters ("name (patterns)").
QStringList QtNameFilters(const std::string& filter);

}  // namespace kestrin
