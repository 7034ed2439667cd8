// Progress of a job on standard error. On a terminal one line is redrawn in
// place: phase, bytes done of the phase's total, rate and time left. Elsewhere
// (a log, a pipe) one line is written per finished phase.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "devices/Progress.h"

namespace kestrin {

// What a job does, so that its gauge phases can be named.
enum class TJobKind { Write, Read, Verify, Erase };

class TTerminalProgress final : public IProgress {
public:
    // bytes: the block of the job; otherBytes: the memory a backup keeps
    // (0 without backup). live: redraw one line (a terminal).
    TTerminalProgress(std::FILE* out, bool live, TJobKind kind, int64_t bytes, int64_t otherBytes);

    void SetColor(uint32_t rgb) override;
    void SetProgress(int32_t value) override;
    void SetMaxValue(int32_t value) override;
    void SetText(const std::string&) override {}
    void ProcessEvents() override {}

    // Ends the last phase's line.
    void Finish();

    // The line of a phase in progress, as drawn: "write   4096/8192 bytes  50%  2.0 kB/s  0:02 left".
    static std::string LiveLine(const std::string& phase, int64_t done, int64_t total, double seconds);
    // The line of a finished phase: "write: 8192 bytes in 4.1 s".
    static std::string PhaseLine(const std::string& phase, int64_t bytes, double seconds);

private:
    using TClock = std::chrono::steady_clock;
    void EndPhase();
    void Draw(bool force);
    int64_t DoneBytes() const;

    std::FILE* out_;
    bool live_;
    TJobKind kind_;
    int64_t bytes_;
    int64_t otherBytes_;

    std::string phase_;
    int64_t phaseBytes_ = 0;
    int32_t value_ = 0;
    int32_t max_ = 0;
    bool wroteSomething_ = false;  // a write phase has made progress
    bool drawn_ = false;
    bool progressed_ = false;  // the current phase's gauge has moved
    bool resetPending_ = false;
    TClock::time_point phaseStart_;
    TClock::time_point lastDraw_;
};

}  // namespace kestrin
