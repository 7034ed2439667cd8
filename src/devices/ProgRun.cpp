#include "devices/ProgRun.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "link/SPI.h"

namespace kestrin {

const char* ProgResultText(int32_t result) {
    switch (result) {
        case ProgOk:
            return "Ok";
        case ProgNoData:
            return "file is empty";
        case ProgNoDevice:
            return "no device";
        case ProgStopped:
            return "stopped";
        default:
            return "failed";
    }
}

std::string ElapsedText(double seconds) {
    if (!(seconds > 0.0)) seconds = 0.0;  // also catches NaN
    const long long tenths = std::llround(seconds * 10.0);
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + "s";
}

TRunClock::time_point RunStartTime() { return TRunClock::now(); }

double SecondsSince(TRunClock::time_point start) {
    return std::chrono::duration<double>(TRunClock::now() - start).count();
}

namespace {

// The run that is open on this thread; runs do not overlap, but a run may be
// opened inside another one's lifetime by a test, so the outer one is kept.
thread_local TProgRun* ActiveRun = nullptr;
std::atomic<uint64_t> Failures{0};

}  // namespace

bool Delivered(int32_t driverResult) {
    if (driverResult >= 0) return true;
    Failures.fetch_add(1);
    if (ActiveRun != nullptr) throw TRunAborted{TRunAborted::TWhy::LinkLost};
    return false;
}

uint64_t LinkFailures() { return Failures.load(); }

bool SendBytes(const uint8_t* bytes, size_t count) {
    for (size_t done = 0; done < count;) {
        const size_t n = std::min(kMaxTransfer, count - done);
        if (!Delivered(Ops.SPIW(bytes + done, static_cast<int32_t>(n)))) return false;
        done += n;
    }
    return true;
}

bool ExchangeBytes(const uint8_t* bytes, uint8_t* receive, size_t count) {
    for (size_t done = 0; done < count;) {
        const size_t n = std::min(kMaxTransfer, count - done);
        if (!Delivered(Ops.SPIWR(bytes + done, receive + done, static_cast<int32_t>(n)))) return false;
        done += n;
    }
    return true;
}

std::string RangeRefusalText(int64_t size, int64_t start, int64_t memorySize, const std::string& memory) {
    char address[32];
    std::snprintf(address, sizeof address, "%04llXh", static_cast<unsigned long long>(start < 0 ? 0 : start));
    return "File size exceeds memory range with given start address! " + std::to_string(size) + " bytes from " +
           address + " do not fit " + memory + " of " + std::to_string(memorySize) + " bytes.";
}

bool SameBytes(const TProgParams& params, int32_t address, const uint8_t* written, const uint8_t* read, size_t count) {
    const auto mismatch = std::mismatch(written, written + count, read);
    if (mismatch.first == written + count) return true;
    if (params.Report != nullptr && !params.Report->FirstDifference) {
        const auto offset = static_cast<int32_t>(mismatch.first - written);
        params.Report->FirstDifference = TDifference{address + offset, *mismatch.first, *mismatch.second};
    }
    return false;
}

uint8_t ReadInstruction(uint8_t b1, uint8_t b2, uint8_t b3) {
    const std::array<uint8_t, 4> send{b1, b2, b3, 0x00};
    std::array<uint8_t, 4> receive{};  // a driver without an adapter leaves it as it was
    ExchangeBytes(send.data(), receive.data(), send.size());
    return receive[3];
}

void Pause(int32_t microseconds) { Ops.Delay(std::max<int32_t>(microseconds, 0)); }

void PollInstruction(uint8_t b1, uint8_t b2, uint8_t b3, uint8_t mask, uint8_t value, int32_t step, int64_t limit) {
    step = std::clamp<int32_t>(step, 0, 0xFFFF);
    limit = std::clamp<int64_t>(limit, 0, INT32_MAX);
    if (Extensions.SPIPoll != nullptr) {
        const std::array<uint8_t, 4> send{b1, b2, b3, 0x00};
        Delivered(Extensions.SPIPoll(send.data(), static_cast<int32_t>(send.size()), 3, mask, value, step,
                                     static_cast<int32_t>(limit)));
        return;
    }
    for (int64_t waited = 0; (ReadInstruction(b1, b2, b3) & mask) != value && waited < limit; waited += step)
        Pause(step);
}

namespace {

// Holds the target in reset and sends the enable until it answers; `retry`
// brings it back in step after a failed attempt.
template <typename Retry>
bool EnableUntilAnswered(const THandshake& family, int attempts, Retry retry) {
    static constexpr std::array<uint8_t, 4> kEnable{0xAC, 0x53, 0x00, 0x00};
    Ops.SetEnables(1, 1);
    Pause(family.Settle);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        // Cleared each time: a driver without an adapter leaves the buffer as it was.
        std::array<uint8_t, 4> answer{};
        ExchangeBytes(kEnable.data(), answer.data(), answer.size());
        if (answer[family.AnswerIndex] == family.AnswerValue) return true;
        retry();
    }
    return false;
}

}  // namespace

bool EnterProgMode(const THandshake& family, int attempts) {
    return EnableUntilAnswered(family, attempts, [&family] {
        Ops.SetEnables(0, 1);
        Pause(family.ResetGap);
        Ops.SetEnables(1, 1);
        Pause(family.Settle);
    });
}

bool EnterProgModeAT90S(bool sck, bool mosi, bool miso, int attempts) {
    return EnableUntilAnswered(kHandshakeAVR, attempts, [=] {
        Ops.SetLevels(sck ? 0 : 1, mosi ? 1 : 0, miso ? 1 : 0);
        Ops.SetLevels(sck ? 1 : 0, mosi ? 1 : 0, miso ? 1 : 0);
    });
}

bool EnterProgModeATtiny() { return EnterProgMode(kHandshakeAVR); }
bool EnterProgModeATmega() { return EnterProgMode(kHandshakeAVR); }

bool HasWriteData(const TProgParams& params) { return params.Data != nullptr && params.Size >= 1; }

TProgRun::TProgRun(const TProgParams& params, IProgress& progress)
    : params_(params), progress_(progress), start_(RunStartTime()), outer_(ActiveRun) {
    ActiveRun = this;
}

TProgRun::~TProgRun() {
    ActiveRun = outer_;
    Close();
}

void TProgRun::CheckStop() const {
    if (stoppable_ && params_.Stop != nullptr && params_.Stop->Requested())
        throw TRunAborted{TRunAborted::TWhy::Stopped};
}

void TProgRun::Phase(uint32_t color, int32_t maxValue) {
    progress_.SetColor(color);
    progress_.SetProgress(0);
    progress_.SetMaxValue(maxValue);
}

void TProgRun::Step(int32_t value) {
    progress_.SetProgress(value);
    ShowElapsed();
    progress_.ProcessEvents();
    CheckStop();
}

void TProgRun::Tick(int32_t value) {
    progress_.SetProgress(value);
    progress_.ProcessEvents();
    CheckStop();
}

void TProgRun::ShowElapsed() { progress_.SetText(ElapsedText(SecondsSince(start_))); }

void OpenLines(bool sck, bool mosi, bool miso, int32_t readMode) {
    Ops.SetLevels(sck, mosi, miso);
    Ops.SetCycleTime(0);
    Ops.SetReadMode(readMode);
}

void TProgRun::Open(int32_t readMode) {
    open_ = true;
    OpenLines(params_.SCK, params_.MOSI, params_.MISO, readMode);
}

void TProgRun::Close() {
    if (!open_) return;
    open_ = false;
    Pause(1000);
    Ops.SetEnables(0, 1);
    Ops.SetLevels(params_.SCK, params_.MOSI, params_.MISO);
    ShowElapsed();
}

}  // namespace kestrin
