// The driver's C entry points: the 21 operations of veltro/veltro.h, its
// pipelined-transfer extension and the control interface of VirtualControl.h. Everything else stays hidden.
#include <algorithm>
#include <cstdint>
#include <string>

#include "VirtualAdapter.h"
#include "VirtualControl.h"

using kestrin::virt::VirtualAdapter;

namespace {

VirtualAdapter& Adapter() {
    // Built on first use; its destructor keeps the chip's state when the
    // library is unloaded or the process ends.
    static VirtualAdapter adapter;
    return adapter;
}

// Bytes queued since the last collect.
int64_t g_queued = 0;
std::string g_lastError;
std::string g_logCopy;
std::string g_adapterLogCopy;

}  // namespace

extern "C" {

VELTRO_EXPORT int32_t VELTRO_CALL GetVersion(void) { return 18; }
VELTRO_EXPORT int32_t VELTRO_CALL GetNumPorts(void) { return Adapter().NumPorts(); }
VELTRO_EXPORT const char* VELTRO_CALL GetPortName(int32_t port) { return Adapter().PortName(port); }
VELTRO_EXPORT int32_t VELTRO_CALL Connect(int32_t port, int32_t mode) { return Adapter().Connect(port, mode); }
VELTRO_EXPORT void VELTRO_CALL Disconnect(void) { Adapter().Disconnect(); }
VELTRO_EXPORT int32_t VELTRO_CALL GetFirmware(void) { return Adapter().Firmware(); }
VELTRO_EXPORT void VELTRO_CALL SetReadMode(int32_t mode) { Adapter().SetReadMode(mode); }
VELTRO_EXPORT void VELTRO_CALL SetEnables(int32_t enable, int32_t mode) { Adapter().SetEnables(enable, mode); }
VELTRO_EXPORT void VELTRO_CALL SetLevels(int32_t sck, int32_t mosi, int32_t miso) {
    Adapter().SetLevels(sck, mosi, miso);
}
VELTRO_EXPORT void VELTRO_CALL SetCycleTime(int32_t cycle) {
    Adapter().cycleTime = cycle;
    Adapter().Note("SetCycleTime " + std::to_string(cycle));
}
VELTRO_EXPORT int32_t VELTRO_CALL SPIWR(const uint8_t* send, uint8_t* receive, int32_t count) {
    if (receive == nullptr && count > 0) return -1;
    return Adapter().Transfer(send, receive, count);
}
VELTRO_EXPORT int32_t VELTRO_CALL SPIW(const uint8_t* send, int32_t count) {
    return Adapter().Transfer(send, nullptr, count);
}
VELTRO_EXPORT int32_t VELTRO_CALL GetResetFB(void) { return Adapter().HeldInReset() ? 1 : 0; }
VELTRO_EXPORT void VELTRO_CALL GetLines(int32_t* a, int32_t* b, int32_t* c, int32_t* d, int32_t* e, int32_t* f) {
    int32_t v[6];
    Adapter().Lines(v, 6);
    int32_t* out[6] = {a, b, c, d, e, f};
    for (int i = 0; i < 6; ++i)
        if (out[i] != nullptr) *out[i] = v[i];
}
VELTRO_EXPORT void VELTRO_CALL SetReady(int32_t ready) { Adapter().Note("SetReady " + std::to_string(ready)); }
VELTRO_EXPORT void VELTRO_CALL GetDefaults(int32_t* a, int32_t* b, int32_t* c, int32_t* d, int32_t* e) {
    for (int32_t* p : {a, b, c, d, e})
        if (p != nullptr) *p = 0;
}
VELTRO_EXPORT int32_t VELTRO_CALL GetCycleTime(void) { return Adapter().cycleTime; }
VELTRO_EXPORT void VELTRO_CALL SetLEDs(int32_t led1, int32_t led2) {
    Adapter().ShowLeds(led1, led2);
}
VELTRO_EXPORT void VELTRO_CALL SetLines(int32_t a, int32_t b, int32_t c, int32_t d) {
    Adapter().Note("SetLines " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + " " +
                   std::to_string(d));
}
VELTRO_EXPORT void VELTRO_CALL Delay(int32_t microseconds) { Adapter().Delay(microseconds); }
VELTRO_EXPORT void VELTRO_CALL CheckSerialPorts(int32_t flags) {
    Adapter().Note("CheckSerialPorts " + std::to_string(flags));
}

// The simulated adapter answers at once, so a queued transfer is carried out
// while it is queued; the collect only reports what was received.
VELTRO_EXPORT int32_t VELTRO_CALL VeltroExtensionVersion(void) { return VELTRO_EXTENSION_POLL; }
VELTRO_EXPORT int32_t VELTRO_CALL SPIWRQueue(const uint8_t* send, uint8_t* receive, int32_t count) {
    if (send == nullptr || receive == nullptr || count < 0 || count > VELTRO_QUEUE_MAX) return -1;
    for (int32_t done = 0; done < count;) {
        const int32_t n = std::min<int32_t>(16, count - done);
        if (Adapter().Transfer(send + done, receive + done, n) < 0) return -1;
        done += n;
    }
    g_queued += count;
    return count;
}
VELTRO_EXPORT int32_t VELTRO_CALL SPIWRCollect(void) {
    const int64_t n = g_queued;
    g_queued = 0;
    return static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX));
}

// The poll runs here as a host would run it: the chip sees the same polls and pauses.
VELTRO_EXPORT int32_t VELTRO_CALL SPIPoll(const uint8_t* send, int32_t count, int32_t index, int32_t mask, int32_t value,
                                          int32_t stepMicros, int32_t limitMicros) {
    if (send == nullptr || count < 1 || count > VELTRO_POLL_MAX || index < 0 || index >= count || stepMicros < 0 ||
        stepMicros > 0xFFFF || limitMicros < 0)
        return -1;
    uint8_t answer[VELTRO_POLL_MAX];
    for (int64_t waited = 0;; waited += stepMicros) {
        if (Adapter().Transfer(send, answer, count) < 0) return -1;
        if ((answer[index] & mask) == value || waited >= limitMicros) return count;
        Adapter().Delay(stepMicros);
    }
}

VELTRO_EXPORT void VV_ResetAll(void) {
    Adapter().ResetAll();
    g_queued = 0;
    g_lastError.clear();
}

VELTRO_EXPORT int32_t VV_SetOption(const char* key, const char* value) {
    if (key == nullptr) {
        g_lastError = "no key";
        return -1;
    }
    g_lastError.clear();
    return Adapter().SetOption(key, value != nullptr ? value : "", g_lastError) ? 0 : -1;
}

VELTRO_EXPORT const char* VV_LastError(void) { return g_lastError.c_str(); }

VELTRO_EXPORT int32_t VV_ReadMemory(int32_t space, int32_t address, uint8_t* buf, int32_t count) {
    return Adapter().ReadMemory(space, address, buf, count);
}

VELTRO_EXPORT int32_t VV_WriteMemory(int32_t space, int32_t address, const uint8_t* buf, int32_t count) {
    return Adapter().WriteMemory(space, address, buf, count);
}

VELTRO_EXPORT int32_t VV_MemorySize(int32_t space) { return Adapter().MemorySize(space); }

VELTRO_EXPORT int32_t VV_SaveState(void) {
    g_lastError.clear();
    return Adapter().SaveIfChanged(g_lastError) ? 0 : -1;
}

VELTRO_EXPORT int64_t VV_TimeMicros(void) { return Adapter().TimeMicros(); }

VELTRO_EXPORT const char* VV_Log(void) {
    g_logCopy = Adapter().ChipLog();
    return g_logCopy.c_str();
}

VELTRO_EXPORT void VV_ClearLog(void) { Adapter().ClearLogs(); }

VELTRO_EXPORT const char* VV_AdapterLog(void) {
    g_adapterLogCopy = Adapter().AdapterLog();
    return g_adapterLogCopy.c_str();
}

}  // extern "C"
