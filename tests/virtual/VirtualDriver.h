// Test access to the virtual adapter: binds it as the program's adapter driver
// (the same operation table Kestrin uses) and exposes its control functions.
#pragma once

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "VirtualControl.h"
#include "link/SPI.h"

namespace kestrin::test {

class VirtualDriver {
public:
    // reset: start from the built-in configuration (VV_ResetAll).
    explicit VirtualDriver(bool reset = true) {
        handle_ = dlopen(KESTRIN_VIRTUAL_DRIVER, RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) throw std::runtime_error(std::string("cannot load ") + KESTRIN_VIRTUAL_DRIVER);
        Bind(resetAll_, "VV_ResetAll");
        Bind(setOption_, "VV_SetOption");
        Bind(lastError_, "VV_LastError");
        Bind(readMemory_, "VV_ReadMemory");
        Bind(writeMemory_, "VV_WriteMemory");
        Bind(memorySize_, "VV_MemorySize");
        Bind(saveState_, "VV_SaveState");
        Bind(timeMicros_, "VV_TimeMicros");
        Bind(log_, "VV_Log");
        Bind(clearLog_, "VV_ClearLog");
        Bind(adapterLog_, "VV_AdapterLog");
        if (reset) resetAll_();
        if (!kestrin::LoadAdapterDriverFrom(KESTRIN_VIRTUAL_DRIVER)) throw std::runtime_error("binding failed");
    }
    VirtualDriver(const VirtualDriver&) = delete;
    VirtualDriver& operator=(const VirtualDriver&) = delete;

    void ResetAll() { resetAll_(); }
    // Sets an option and fails the test on a refusal.
    void Set(const std::string& key, const std::string& value) {
        if (setOption_(key.c_str(), value.c_str()) != 0)
            throw std::runtime_error("option " + key + "=" + value + ": " + lastError_());
    }
    int32_t TrySet(const std::string& key, const std::string& value) {
        return setOption_(key.c_str(), value.c_str());
    }
    std::string LastError() const { return lastError_(); }
    std::vector<uint8_t> Read(int32_t space, int32_t address, int32_t count) {
        std::vector<uint8_t> out(static_cast<size_t>(count));
        const int32_t n = readMemory_(space, address, out.data(), count);
        out.resize(n < 0 ? 0 : static_cast<size_t>(n));
        return out;
    }
    int32_t Write(int32_t space, int32_t address, const std::vector<uint8_t>& data) {
        return writeMemory_(space, address, data.data(), static_cast<int32_t>(data.size()));
    }
    int32_t Size(int32_t space) { return memorySize_(space); }
    int32_t SaveState() { return saveState_(); }
    int64_t TimeMicros() { return timeMicros_(); }
    std::string Log() { return log_(); }
    std::string AdapterLog() { return adapterLog_(); }
    void ClearLog() { clearLog_(); }

private:
    template <typename Fn>
    void Bind(Fn& fn, const char* name) {
        fn = reinterpret_cast<Fn>(dlsym(handle_, name));
        if (fn == nullptr) throw std::runtime_error(std::string("missing ") + name);
    }

    void* handle_ = nullptr;
    VV_ResetAllFn resetAll_ = nullptr;
    VV_SetOptionFn setOption_ = nullptr;
    VV_LastErrorFn lastError_ = nullptr;
    VV_ReadMemoryFn readMemory_ = nullptr;
    VV_WriteMemoryFn writeMemory_ = nullptr;
    VV_MemorySizeFn memorySize_ = nullptr;
    VV_SaveStateFn saveState_ = nullptr;
    VV_TimeMicrosFn timeMicros_ = nullptr;
    VV_LogFn log_ = nullptr;
    VV_ClearLogFn clearLog_ = nullptr;
    VV_AdapterLogFn adapterLog_ = nullptr;
};

// Host-side helpers in the program's way of talking to the adapter.
using Bytes = std::vector<uint8_t>;

// Sends bytes in calls of at most 16, as the programming routines do.
inline Bytes Exchange(const Bytes& send) {
    Bytes out(send.size());
    for (size_t at = 0; at < send.size(); at += 16) {
        const auto n = static_cast<int32_t>(std::min<size_t>(16, send.size() - at));
        kestrin::Ops.SPIWR(send.data() + at, out.data() + at, n);
    }
    return out;
}

// The 4-byte programming-enable handshake with up to 32 attempts and a reset
// pulse after each failure. Returns the attempt that was answered, 0 for none.
inline int Handshake(int answerAt, uint8_t answer, int32_t p1 = 50000, int32_t p2 = 50000) {
    kestrin::Ops.SetEnables(1, 1);
    kestrin::Ops.Delay(p1);
    for (int attempt = 1; attempt <= 32; ++attempt) {
        const Bytes r = Exchange({0xAC, 0x53, 0x00, 0x00});
        if (r[static_cast<size_t>(answerAt)] == answer) return attempt;
        kestrin::Ops.SetEnables(0, 1);
        kestrin::Ops.Delay(p2);
        kestrin::Ops.SetEnables(1, 1);
        kestrin::Ops.Delay(p1);
    }
    return 0;
}

}  // namespace kestrin::test
