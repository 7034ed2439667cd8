#include "devices/Detect.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "config/UnitConfig.h"
#include "devices/AvrIsp.h"
#include "devices/DeviceTable.h"
#include "devices/ProgRun.h"
#include "link/SPI.h"

namespace kestrin {

namespace {

// A probe tries the handshake only a few times: a target that is there
// answers at once, and an empty socket should not keep the user waiting.
constexpr int kProbeAttempts = 3;
// Pause after the 8051 handshake before the first instruction, as in their runs.
constexpr int32_t kAfterEnable8051 = 20000;

struct T8051Part {
    uint8_t Type;
    const char* Name;
    std::vector<uint8_t> Signature;
};

// The read-signature instructions of the two 8051 protocols, and the parts
// each of them names (the AT89S51 is programmed as an AT89S52).
struct T8051Probe {
    const THandshake& Handshake;
    std::vector<std::array<uint8_t, 4>> Reads;
    std::vector<T8051Part> Parts;
};

const T8051Probe& Probe89S5x() {
    static const T8051Probe probe{kHandshake89S52,
                                  {{0x28, 0x00, 0x00, 0x00}, {0x28, 0x01, 0x00, 0x00}, {0x28, 0x02, 0x00, 0x00}},
                                  {{ctAT89S52, "AT89S52", {0x1E, 0x52, 0x06}}, {ctAT89S52, "AT89S51", {0x1E, 0x51, 0x06}}}};
    return probe;
}

const T8051Probe& Probe89S8253() {
    static const T8051Probe probe{kHandshake89S8253,
                                  {{0x28, 0x00, 0x30, 0x00}, {0x28, 0x00, 0x31, 0x00}},
                                  {{ctAT89S8253, "AT89S8253", {0x1E, 0x73}}}};
    return probe;
}

TDetected Known(uint8_t type, const char* name, std::vector<uint8_t> signature) {
    return {TDetected::TState::Known, type, name, std::move(signature)};
}

TDetected Unknown(std::vector<uint8_t> signature) { return {TDetected::TState::Unknown, 0, {}, std::move(signature)}; }

// The AT90S1200 never answers the enable: after a failed handshake one more
// enable goes out and a signature of a part that never echoes counts.
TDetected ProbeAvr(TProgRun& run) {
    run.Open(0);
    const bool answered = EnterProgMode(kHandshakeAVR, kProbeAttempts);
    if (!answered) SendAvr(kAvrProgrammingEnable);
    const TSignature signature = ReadAvrSignature();
    std::vector<uint8_t> bytes(signature.begin(), signature.end());
    const TDeviceInfo* device = FindDevice(signature);
    if (device != nullptr && (answered || !device->Echoes)) return Known(device->Type, device->Name, bytes);
    return answered ? Unknown(bytes) : TDetected{};
}

TDetected Probe8051(TProgRun& run, const T8051Probe& probe) {
    run.Open(1);
    if (!EnterProgMode(probe.Handshake, kProbeAttempts)) return {};
    Pause(kAfterEnable8051);
    std::vector<uint8_t> signature;
    for (const auto& read : probe.Reads) {
        std::array<uint8_t, 4> answer{};
        ExchangeBytes(read.data(), answer.data(), answer.size());
        signature.push_back(answer[3]);
    }
    for (const T8051Part& part : probe.Parts)
        if (part.Signature == signature) return Known(part.Type, part.Name, signature);
    return Unknown(signature);
}

// The AT89S8252 takes the enable AC 53 xx and never echoes it; once enabled
// it drives MISO, low outside the data byte of a read, where an empty socket
// leaves the line pulled up. Two reads of code byte 0 show which.
TDetected ProbeByteMode(TProgRun& run) {
    static constexpr std::array<uint8_t, 3> kEnable{0xAC, 0x53, 0x00};
    static constexpr std::array<uint8_t, 6> kReads{0x01, 0x00, 0x00, 0x01, 0x00, 0x00};
    run.Open(0);
    Ops.SetEnables(1, 1);
    Pause(kAfterEnable8051);
    SendBytes(kEnable.data(), kEnable.size());
    Pause(kAfterEnable8051);
    std::array<uint8_t, 6> answer{};
    answer.fill(0xFF);
    ExchangeBytes(kReads.data(), answer.data(), answer.size());
    const bool driven = answer[0] == 0x00 && answer[1] == 0x00 && answer[3] == 0x00 && answer[4] == 0x00;
    if (!driven) return {};
    return {TDetected::TState::Silent, ctAT89S8252, "AT89S8252", {}};
}

}  // namespace

TDetected DetectController(bool sck, bool miso, bool mosi) {
    TProgParams lines;
    lines.SCK = sck;
    lines.MISO = miso;
    lines.MOSI = mosi;
    TNullProgress none;
    std::vector<TDetected> found;
    const auto probe = [&](auto&& body) {
        TProgRun run(lines, none);
        found.push_back(body(run));
        return found.back().State == TDetected::TState::Known;
    };
    if (probe([](TProgRun& run) { return ProbeAvr(run); })) return found.back();
    if (probe([](TProgRun& run) { return Probe8051(run, Probe89S5x()); })) return found.back();
    if (probe([](TProgRun& run) { return Probe8051(run, Probe89S8253()); })) return found.back();
    // An AT89S8253 also answers the AVR handshake, so an unknown answer counts
    // only once no probe has named the part; the earliest probe knows best.
    const auto answered = std::find_if(found.begin(), found.end(),
                                       [](const TDetected& d) { return d.State != TDetected::TState::Nothing; });
    if (answered != found.end()) return *answered;
    TProgRun run(lines, none);
    return ProbeByteMode(run);
}

TDetected ProbeFamily(uint8_t type, bool sck, bool miso, bool mosi) {
    TProgParams lines;
    lines.SCK = sck;
    lines.MISO = miso;
    lines.MOSI = mosi;
    TNullProgress none;
    TProgRun run(lines, none);
    switch (type) {
        case ctAT89S8252:
        case ctAT89S53: return ProbeByteMode(run);
        case ctAT89S52: return Probe8051(run, Probe89S5x());
        case ctAT89S8253: return Probe8051(run, Probe89S8253());
        case ctAT90xx:
        case ctATtiny:
        case ctATmega: return ProbeAvr(run);
        default: return DetectController(sck, miso, mosi);
    }
}

std::string SignatureText(const uint8_t* bytes, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", bytes[i]);
        text += (text.empty() ? "" : " ") + std::string(hex);
    }
    return text;
}

std::string DetectedText(const TDetected& detected) {
    switch (detected.State) {
        case TDetected::TState::Known: return detected.Name + " (" + ControllerName(detected.Type) + ")";
        case TDetected::TState::Unknown: {
            return "unknown signature " + SignatureText(detected.Signature.data(), detected.Signature.size());
        }
        case TDetected::TState::Silent: return detected.Name + " does not report a signature";
        case TDetected::TState::Nothing: break;
    }
    return "nothing answered";
}

}  // namespace kestrin
