// What a programming routine needs of the window that shows its progress: the
// gauge (colour, value, maximum), the elapsed-time label, and a way to let the
// user interface process pending events. The windows implement it with a
// progress bar and a label; tests with a recorder.
#pragma once

#include <cstdint>
#include <string>

namespace kestrin {

// Gauge colours as 0xRRGGBB.
constexpr uint32_t kColorWriting = 0xFF0000;  // red: writing
constexpr uint32_t kColorReading = 0x008000;  // green: reading, verifying, backing up

class IProgress {
public:
    virtual ~IProgress() = default;
    virtual void SetColor(uint32_t rgb) = 0;
    virtual void SetProgress(int32_t value) = 0;
    virtual void SetMaxValue(int32_t value) = 0;
    virtual void SetText(const std::string& text) = 0;
    virtual void ProcessEvents() = 0;
};

// A progress sink that shows nothing (command-line tools, benchmarks).
class TNullProgress final : public IProgress {
public:
    void SetColor(uint32_t) override {}
    void SetProgress(int32_t) override {}
    void SetMaxValue(int32_t) override {}
    void SetText(const std::string&) override {}
    void ProcessEvents() override {}
};

}  // namespace kestrin
