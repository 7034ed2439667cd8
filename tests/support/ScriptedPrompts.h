// Prompts for tests: answer message boxes and file dialogs from a script and
// remember everything that was shown. With the script used up, a message box
// takes the same safe answer as a run without windows, and a file dialog is
// cancelled.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "config/Prompts.h"

namespace kestrin::test {

struct TShownMessage {
    TMsgKind Kind;
    std::string Text;
    TMsgButtons Buttons;
};

// What the user picks in a file dialog: a name ("" cancels) and, unless 0,
// the entry of the type list.
struct TFileAnswer {
    TFileAnswer(std::string fileName, int filterIndex = 0) : FileName(std::move(fileName)), FilterIndex(filterIndex) {}
    TFileAnswer(const char* fileName) : FileName(fileName) {}
    std::string FileName;
    int FilterIndex = 0;
};

class TScriptedPrompts final : public IPrompts {
public:
    std::vector<TShownMessage> Messages;
    std::deque<TMsgResult> Answers;
    std::deque<TFileAnswer> OpenAnswers, SaveAnswers;
    std::vector<TFileDialog> OpenDialogs, SaveDialogs;  // as they were shown
    bool FileDialogsExpected = true;                     // false: any file dialog fails the test

    TMsgResult Message(TMsgKind kind, const std::string& text, TMsgButtons buttons) override {
        Messages.push_back({kind, text, buttons});
        if (Answers.empty()) return SafeAnswer(buttons);
        const TMsgResult answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    bool OpenFile(TFileDialog& dialog) override { return Answer(dialog, OpenDialogs, OpenAnswers); }
    bool SaveFile(TFileDialog& dialog) override { return Answer(dialog, SaveDialogs, SaveAnswers); }

private:
    bool Answer(TFileDialog& dialog, std::vector<TFileDialog>& shown, std::deque<TFileAnswer>& answers) {
        if (!FileDialogsExpected) ADD_FAILURE() << "unexpected file dialog: " << dialog.Title;
        shown.push_back(dialog);
        if (answers.empty()) return false;
        const TFileAnswer answer = answers.front();
        answers.pop_front();
        if (answer.FileName.empty()) return false;
        dialog.FileName = answer.FileName;
        if (answer.FilterIndex != 0) dialog.FilterIndex = answer.FilterIndex;
        return true;
    }
};

}  // namespace kestrin::test
