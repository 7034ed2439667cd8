// Records what a programming routine shows on its gauge and label.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "devices/Progress.h"

namespace kestrin::test {

class ProgressRecorder final : public IProgress {
public:
    void SetColor(uint32_t rgb) override { Add("Color " + Hex(rgb)); }
    void SetProgress(int32_t value) override {
        Add("Progress " + std::to_string(value));
        Values.push_back(value);
    }
    void SetMaxValue(int32_t value) override { Add("Max " + std::to_string(value)); }
    void SetText(const std::string& text) override {
        Add("Text " + text);
        Texts.push_back(text);
    }
    void ProcessEvents() override { Add("Events"); }

    std::vector<std::string> Calls;
    std::vector<int32_t> Values;  // every SetProgress value in order
    std::vector<std::string> Texts;

private:
    void Add(std::string s) { Calls.push_back(std::move(s)); }
    static std::string Hex(uint32_t v) {
        char b[8];
        std::snprintf(b, sizeof b, "%06X", static_cast<unsigned>(v));
        return b;
    }
};

}  // namespace kestrin::test
