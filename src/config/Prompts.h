// Every modal question the program asks (message boxes, file dialogs,
// confirmations) goes through this one interface. The windows install an
// implementation with real dialogs; tests install one that scripts the answers.
// Before any implementation is installed, messages go to standard error.
#pragma once

#include <string>

namespace kestrin {

enum class TMsgKind { Information, Warning, Error, Confirmation };
// YesNoDefaultNo: a question whose Yes does harm that cannot be undone; Enter answers No.
enum class TMsgButtons { Ok, Cancel, YesNo, OkCancel, YesNoDefaultNo };
enum class TMsgResult { Ok, Cancel, Yes, No };

// A file open or save dialog. Filter uses the "name|patterns|name|patterns"
// form; FilterIndex is 1-based, as the dialogs' type lists are numbered.
struct TFileDialog {
    std::string Title;
    std::string Filter;
    int FilterIndex = 1;
    std::string FileName;         // proposed on entry, chosen on return
    bool MustExist = false;       // open: the file and its path must exist
};

class IPrompts {
public:
    virtual ~IPrompts() = default;
    virtual TMsgResult Message(TMsgKind kind, const std::string& text, TMsgButtons buttons) = 0;
    // Returns false when the user cancelled; on true, FileName and FilterIndex hold the choice.
    virtual bool OpenFile(TFileDialog& dialog) = 0;
    virtual bool SaveFile(TFileDialog& dialog) = 0;
};

// The answer taken when nobody can be asked: Ok for a lone Ok button, No for
// a yes/no question, Cancel otherwise.
TMsgResult SafeAnswer(TMsgButtons buttons);

// The prompts in force. Never null.
IPrompts& Prompts();

// Installs an implementation (not owned); nullptr restores the standard-error one.
void SetPrompts(IPrompts* prompts);

}  // namespace kestrin
