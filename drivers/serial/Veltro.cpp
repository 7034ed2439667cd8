// The serial Veltro driver: the 21 entry points of veltro/veltro.h over the
// adapter's serial protocol.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Link.h"
#include "Ports.h"
#include "Session.h"
#include "VeltroSerial.h"

namespace kestrin::serial {
namespace {

// Version 17 and above: the host binds CheckSerialPorts.
constexpr int32_t kDriverVersion = 17;

struct Driver {
    std::vector<PortEntry> ports;
    bool enumerated = false;
    std::unique_ptr<Session> session;
    AdapterInfo info;
    int32_t cycleTime = 0;
    uint64_t spiwrCalls = 0, spiwCalls = 0, delayCalls = 0, delayMicros = 0, pollCalls = 0;
    uint8_t noise = 0xB5;
    // Transfers queued since the last collect: where their answers go, filled
    // with noise when the adapter is lost before they arrive.
    struct Queued {
        uint8_t* receive;
        int32_t count;
    };
    std::vector<Queued> queued;
    int64_t queuedBytes = 0;
};

Driver& D() {
    static Driver d;
    return d;
}

Session* Live() {
    Session* s = D().session.get();
    return (s != nullptr && !s->Lost()) ? s : nullptr;
}

void Post(uint8_t cmd, std::initializer_list<uint8_t> payload) {
    if (Session* s = Live()) s->Post(cmd, std::data(payload), payload.size());
}

// Stands in for target data when no adapter answers: a sequence no chip
// produces by itself, so a verification fails and a handshake finds no device.
void FillUnanswered(uint8_t* receive, int32_t count) {
    uint8_t& x = D().noise;
    for (int32_t i = 0; i < count; ++i) {
        x = static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1D : 0));
        uint8_t v = x;
        if (v == 0x53 || v == 0x69) v ^= 0x80;  // never a handshake answer
        receive[i] = v;
    }
}

// Forgets the queued transfers; with answered false their buffers get noise.
void EndQueue(bool answered) {
    Driver& d = D();
    if (!answered)
        for (const Driver::Queued& q : d.queued) FillUnanswered(q.receive, q.count);
    d.queued.clear();
    d.queuedBytes = 0;
}

// The fastest link rate to try: VELTRO_LINK_RATE (in baud) caps it, for a
// converter or cable that garbles the fast rates without failing outright.
uint32_t MaxLinkRate() {
    const char* env = std::getenv("VELTRO_LINK_RATE");
    if (env == nullptr || *env == '\0') return 2000000;
    char* end = nullptr;
    const unsigned long v = std::strtoul(env, &end, 10);
    if (end == env || *end != '\0') {
        std::fprintf(stderr, "Veltro: VELTRO_LINK_RATE=%s is no baud rate; the link stays at %lu baud.\n", env, VP_BAUD);
        return VP_BAUD;
    }
    return static_cast<uint32_t>(std::min<unsigned long>(v, 2000000));
}

void EnsurePorts() {
    if (!D().enumerated) {
        D().ports = EnumeratePorts();
        D().enumerated = true;
    }
}

void CloseSession() {
    Driver& d = D();
    if (d.session) {
        d.session->Drain();
        d.session->ReturnToStartRate();
    }
    EndQueue(!d.session || !d.session->Lost());
    d.session.reset();
    d.info = {};
}

}  // namespace
}  // namespace kestrin::serial

using namespace kestrin::serial;

extern "C" {

VELTRO_EXPORT int32_t VELTRO_CALL GetVersion(void) { return kDriverVersion; }

VELTRO_EXPORT int32_t VELTRO_CALL GetNumPorts(void) {
    D().ports = EnumeratePorts();
    D().enumerated = true;
    return static_cast<int32_t>(D().ports.size());
}

VELTRO_EXPORT const char* VELTRO_CALL GetPortName(int32_t port) {
    EnsurePorts();
    if (port < 0 || static_cast<size_t>(port) >= D().ports.size()) return "";
    return D().ports[static_cast<size_t>(port)].name.c_str();
}

VELTRO_EXPORT int32_t VELTRO_CALL Connect(int32_t port, int32_t /*mode*/) {
    CloseSession();
    EnsurePorts();
    Driver& d = D();
    if (port < 0 || static_cast<size_t>(port) >= d.ports.size()) {
        std::fprintf(stderr, "Veltro: there is no serial port number %d (%zu found).\n", static_cast<int>(port),
                     d.ports.size());
        return VELTRO_CONNECT_PORT_FAILED;
    }
    const PortEntry& entry = d.ports[static_cast<size_t>(port)];
    OpenError error;
    std::unique_ptr<ILink> link = OpenSerialLink(entry.path, error);
    if (!link) {
        std::fprintf(stderr, "Veltro: cannot open %s: %s\n", entry.path.c_str(), error.message.c_str());
        if (error.PermissionDenied())
            std::fprintf(stderr,
                         "Veltro: you lack the permission to use %s. Add yourself to the group that owns it "
                         "(usually: sudo usermod -aG dialout $USER, then log in again), or install the udev rule "
                         "60-veltro.rules that comes with Kestrin (see adapter/README.md).\n",
                         entry.path.c_str());
        return VELTRO_CONNECT_PORT_FAILED;
    }
    auto session = std::make_unique<Session>(std::move(link));
    AdapterInfo info;
    switch (session->Identify(info)) {
    case Session::Hello::Ok: break;
    case Session::Hello::NoAnswer: return VELTRO_CONNECT_NO_ADAPTER;
    case Session::Hello::Unsupported:
        std::fprintf(stderr, "Veltro: the adapter on %s runs firmware 0x%02X, which this driver does not support.\n",
                     entry.path.c_str(), info.firmware);
        return VELTRO_CONNECT_OLD_FIRMWARE;
    }
    session->NegotiateRate(MaxLinkRate(), info);
    if (session->Lost()) return VELTRO_CONNECT_NO_ADAPTER;
    d.session = std::move(session);
    d.info = info;
    return VELTRO_CONNECT_OK;
}

VELTRO_EXPORT void VELTRO_CALL Disconnect(void) { CloseSession(); }

VELTRO_EXPORT int32_t VELTRO_CALL GetFirmware(void) { return D().session ? D().info.firmware : 0; }

VELTRO_EXPORT void VELTRO_CALL SetReadMode(int32_t mode) {
    Post(VP_CMD_SET_READ_MODE, {static_cast<uint8_t>(mode != 0 ? 1 : 0)});
}

VELTRO_EXPORT void VELTRO_CALL SetEnables(int32_t enable, int32_t /*mode*/) {
    Post(VP_CMD_SET_RESET, {static_cast<uint8_t>(enable != 0 ? 1 : 0)});
}

VELTRO_EXPORT void VELTRO_CALL SetLevels(int32_t sck, int32_t mosi, int32_t miso) {
    const uint8_t flags = static_cast<uint8_t>((sck != 0 ? VP_LEVEL_SCK_HIGH : 0) | (mosi != 0 ? VP_LEVEL_MOSI_INVERTED : 0) |
                                               (miso != 0 ? VP_LEVEL_MISO_INVERTED : 0));
    Post(VP_CMD_SET_LEVELS, {flags});
}

VELTRO_EXPORT void VELTRO_CALL SetCycleTime(int32_t cycle) {
    D().cycleTime = VeltroCycleSixteenths(cycle) != 0 ? cycle : std::clamp<int32_t>(cycle, 0, 255);
    if (Session* s = Live()) s->SetClock(D().cycleTime);
}

VELTRO_EXPORT int32_t VELTRO_CALL SPIWR(const uint8_t* send, uint8_t* receive, int32_t count) {
    D().spiwrCalls++;
    if (send == nullptr || receive == nullptr || count <= 0) return count == 0 ? 0 : -1;
    Session* s = Live();
    if (s == nullptr || !s->Transfer(send, receive, static_cast<size_t>(count))) {
        EndQueue(false);
        FillUnanswered(receive, count);
        return -1;
    }
    EndQueue(true);  // the wait for this answer brought every queued one in
    return count;
}

VELTRO_EXPORT int32_t VELTRO_CALL VeltroExtensionVersion(void) { return VELTRO_EXTENSION_POLL; }

VELTRO_EXPORT int32_t VELTRO_CALL SPIWRQueue(const uint8_t* send, uint8_t* receive, int32_t count) {
    D().spiwrCalls++;
    if (send == nullptr || receive == nullptr || count < 0 || count > VELTRO_QUEUE_MAX) return -1;
    if (count == 0) return 0;
    Driver& d = D();
    d.queued.push_back({receive, count});
    d.queuedBytes += count;
    Session* s = Live();
    if (s == nullptr || !s->Queue(send, receive, static_cast<size_t>(count))) {
        EndQueue(false);
        return -1;
    }
    return count;
}

VELTRO_EXPORT int32_t VELTRO_CALL SPIWRCollect(void) {
    const int64_t bytes = D().queuedBytes;
    Session* s = Live();
    if (s == nullptr || !s->Collect()) {
        EndQueue(false);
        return -1;
    }
    EndQueue(true);
    return static_cast<int32_t>(std::min<int64_t>(bytes, INT32_MAX));
}

VELTRO_EXPORT int32_t VELTRO_CALL SPIPoll(const uint8_t* send, int32_t count, int32_t index, int32_t mask, int32_t value,
                                          int32_t stepMicros, int32_t limitMicros) {
    if (send == nullptr || count < 1 || count > VELTRO_POLL_MAX || index < 0 || index >= count || stepMicros < 0 ||
        stepMicros > 0xFFFF || limitMicros < 0)
        return -1;
    Session* s = Live();
    if (s == nullptr) return -1;
    if (s->PollsOnAdapter()) D().pollCalls++;
    if (!s->Poll(send, static_cast<size_t>(count), static_cast<uint8_t>(index), static_cast<uint8_t>(mask),
                 static_cast<uint8_t>(value), static_cast<uint16_t>(stepMicros), static_cast<uint32_t>(limitMicros))) {
        EndQueue(false);
        return -1;
    }
    return count;
}

VELTRO_EXPORT int32_t VELTRO_CALL SPIW(const uint8_t* send, int32_t count) {
    D().spiwCalls++;
    if (send == nullptr || count <= 0) return count == 0 ? 0 : -1;
    Session* s = Live();
    if (s == nullptr) return -1;
    s->Write(send, static_cast<size_t>(count));
    return s->Lost() ? -1 : count;
}

VELTRO_EXPORT int32_t VELTRO_CALL GetResetFB(void) { return 0; }

VELTRO_EXPORT void VELTRO_CALL GetLines(int32_t* a, int32_t* b, int32_t* c, int32_t* d, int32_t* e, int32_t* f) {
    for (int32_t* p : {a, b, c, d, e, f})
        if (p != nullptr) *p = 0;
}

VELTRO_EXPORT void VELTRO_CALL SetReady(int32_t ready) {
    if (ready == 0) Post(VP_CMD_RELEASE, {});
}

VELTRO_EXPORT void VELTRO_CALL GetDefaults(int32_t* a, int32_t* b, int32_t* c, int32_t* d, int32_t* e) {
    for (int32_t* p : {a, b, c, d, e})
        if (p != nullptr) *p = 0;
}

VELTRO_EXPORT int32_t VELTRO_CALL GetCycleTime(void) { return D().cycleTime; }

VELTRO_EXPORT void VELTRO_CALL SetLEDs(int32_t led1, int32_t led2) {
    Post(VP_CMD_SET_LEDS, {static_cast<uint8_t>((led1 != 0 ? VP_LED1 : 0) | (led2 != 0 ? VP_LED2 : 0))});
}

VELTRO_EXPORT void VELTRO_CALL SetLines(int32_t, int32_t, int32_t, int32_t) {}

VELTRO_EXPORT void VELTRO_CALL Delay(int32_t microseconds) {
    D().delayCalls++;
    if (microseconds <= 0) return;
    D().delayMicros += static_cast<uint64_t>(microseconds);
    if (Session* s = Live()) {
        std::vector<uint8_t> payload;
        PutU32(payload, static_cast<uint32_t>(microseconds));
        s->Post(VP_CMD_DELAY, payload.data(), payload.size(), static_cast<uint32_t>(microseconds));
    }
}

VELTRO_EXPORT void VELTRO_CALL CheckSerialPorts(int32_t /*flags*/) {
    D().ports = EnumeratePorts();
    D().enumerated = true;
}

VELTRO_EXPORT int32_t VELTRO_CALL VeltroSerial_AdapterMicros(uint32_t* micros) {
    Session* s = Live();
    uint32_t t = 0;
    if (micros == nullptr || s == nullptr || !s->AdapterClock(t)) return -1;
    *micros = t;
    return 0;
}

VELTRO_EXPORT void VELTRO_CALL VeltroSerial_GetStats(VeltroSerialStats* stats) {
    if (stats == nullptr) return;
    const Driver& d = D();
    *stats = {};
    stats->spiwrCalls = d.spiwrCalls;
    stats->spiwCalls = d.spiwCalls;
    stats->delayCalls = d.delayCalls;
    stats->delayMicros = d.delayMicros;
    stats->pollCalls = d.pollCalls;
    if (d.session) {
        const LinkCounters& c = d.session->Counters();
        stats->frames = c.frames;
        stats->bytesOut = c.bytesOut;
        stats->bytesIn = c.bytesIn;
        stats->transferWaits = c.transferWaits;
        stats->creditWaits = c.creditWaits;
        stats->drainWaits = c.drainWaits;
        stats->linkBaud = d.info.baud;
    }
}

VELTRO_EXPORT void VELTRO_CALL VeltroSerial_ResetStats(void) {
    Driver& d = D();
    d.spiwrCalls = d.spiwCalls = d.delayCalls = d.delayMicros = d.pollCalls = 0;
    if (d.session) d.session->ResetCounters();
}

}  // extern "C"
