#include "config/Prompts.h"

#include <cstdio>

namespace kestrin {

namespace {

// Without windows there is nobody to ask: report and take the safe answer.
class StderrPrompts final : public IPrompts {
public:
    TMsgResult Message(TMsgKind, const std::string& text, TMsgButtons buttons) override {
        std::fprintf(stderr, "kestrin: %s\n", text.c_str());
        return SafeAnswer(buttons);
    }
    bool OpenFile(TFileDialog&) override { return false; }
    bool SaveFile(TFileDialog&) override { return false; }
};

StderrPrompts g_stderrPrompts;
IPrompts* g_prompts = &g_stderrPrompts;

}  // namespace

TMsgResult SafeAnswer(TMsgButtons buttons) {
    switch (buttons) {
        case TMsgButtons::Ok: return TMsgResult::Ok;
        case TMsgButtons::YesNo:
        case TMsgButtons::YesNoDefaultNo: return TMsgResult::No;
        case TMsgButtons::Cancel:
        case TMsgButtons::OkCancel: return TMsgResult::Cancel;
    }
    return TMsgResult::Cancel;
}

IPrompts& Prompts() { return *g_prompts; }

void SetPrompts(IPrompts* prompts) { g_prompts = prompts != nullptr ? prompts : &g_stderrPrompts; }

}  // namespace kestrin
