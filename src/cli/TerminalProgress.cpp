#include "cli/TerminalProgress.h"

#include <algorithm>

namespace kestrin {

namespace {

std::string Rate(double bytesPerSecond) {
    char text[32];
    if (bytesPerSecond >= 1000.0) {
        std::snprintf(text, sizeof text, "%.1f kB/s", bytesPerSecond / 1000.0);
    } else {
        std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
    }
    return text;
}

std::string Clock(double seconds) {
    const long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

}  // namespace

TTerminalProgress::TTerminalProgress(std::FILE* out, bool live, TJobKind kind, int64_t bytes, int64_t otherBytes)
    : out_(out), live_(live), kind_(kind), bytes_(bytes), otherBytes_(otherBytes) {}

std::string TTerminalProgress::LiveLine(const std::string& phase, int64_t done, int64_t total, double seconds) {
    char text[160];
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 0;
    std::string tail;
    if (done > 0 && seconds > 0.05) {
        const double rate = static_cast<double>(done) / seconds;
        tail = "  " + Rate(rate) + "  " + Clock(static_cast<double>(total - done) / rate) + " left";
    }
    std::snprintf(text, sizeof text, "%-8s %6lld/%lld bytes %3d%%", phase.c_str(), static_cast<long long>(done),
                  static_cast<long long>(total), percent);
    return text + tail;
}

std::string TTerminalProgress::PhaseLine(const std::string& phase, int64_t bytes, double seconds) {
    char text[96];
    std::snprintf(text, sizeof text, "%s: %lld bytes in %.1f s", phase.c_str(), static_cast<long long>(bytes), seconds);
    return text;
}

// A phase starts with its colour: red is a write, green a read. Which write
// or read it is follows from what the job is and what came before.
void TTerminalProgress::SetColor(uint32_t rgb) {
    EndPhase();
    const bool writing = rgb == kColorWriting;
    switch (kind_) {
        case TJobKind::Erase: phase_ = "erase"; break;
        case TJobKind::Read: phase_ = "read"; break;
        case TJobKind::Verify: phase_ = "verify"; break;
        case TJobKind::Write:
            if (writing) {
                phase_ = wroteSomething_ ? "restore" : "write";
            } else {
                phase_ = wroteSomething_ ? "verify" : "backup";
            }
            break;
    }
    phaseBytes_ = (phase_ == "backup" || phase_ == "restore") ? otherBytes_ : bytes_;
    value_ = 0;
    max_ = 0;
    progressed_ = false;
    resetPending_ = true;
    phaseStart_ = TClock::now();
    lastDraw_ = {};
    Draw(true);
}

void TTerminalProgress::SetMaxValue(int32_t value) {
    max_ = value;
    Draw(false);
}

void TTerminalProgress::SetProgress(int32_t value) {
    value_ = value;
    // The first value of a phase is the gauge's reset to zero, not a step.
    if (resetPending_) {
        resetPending_ = false;
    } else {
        progressed_ = true;
        if (phase_ == "write") wroteSomething_ = true;
    }
    Draw(false);
}

// The gauge counts units (bytes, pages) from 0 to its maximum; the unit at
// the maximum is the last one, so a gauge at its maximum is done.
int64_t TTerminalProgress::DoneBytes() const {
    if (!progressed_) return 0;
    if (max_ <= 0) return phaseBytes_;
    return std::min<int64_t>(phaseBytes_, phaseBytes_ * (int64_t{value_} + 1) / (int64_t{max_} + 1));
}

void TTerminalProgress::Draw(bool force) {
    if (!live_ || phase_.empty()) return;
    const auto now = TClock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - phaseStart_).count();
    std::fprintf(out_, "\r\033[K%s", LiveLine(phase_, DoneBytes(), phaseBytes_, seconds).c_str());
    std::fflush(out_);
    drawn_ = true;
}

void TTerminalProgress::EndPhase() {
    if (phase_.empty()) return;
    const double seconds = std::chrono::duration<double>(TClock::now() - phaseStart_).count();
    if (!progressed_) {
        // A gauge set up and left at zero (the opening of a run before its
        // backup) is no phase of its own.
        if (live_ && drawn_) std::fputs("\r\033[K", out_);
    } else if (live_) {
        // The finished phase keeps its line; the next one draws below it.
        lastDraw_ = {};
        Draw(true);
        std::fputc('\n', out_);
    } else {
        std::fprintf(out_, "%s\n", PhaseLine(phase_, DoneBytes(), seconds).c_str());
    }
    std::fflush(out_);
    phase_.clear();
}

void TTerminalProgress::Finish() { EndPhase(); }

}  // namespace kestrin
