// Test access to the recording driver: binds it as the program's adapter driver
// and exposes its control functions (answers, port list, call log).
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/SPI.h"

namespace kestrin::test {

class RecordingDriver {
public:
    using Responder = uint8_t (*)(uint8_t sent, uint64_t index, void* ctx);

    explicit RecordingDriver(const std::string& path = KESTRIN_RECORDING_DRIVER) : path_(path) {
        handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) throw std::runtime_error(std::string("cannot load ") + path_);
        Bind(reset_, "Rec_Reset");
        Bind(clearLog_, "Rec_ClearLog");
        Bind(log_, "Rec_Log");
        Bind(setVersion_, "Rec_SetVersion");
        Bind(setPorts_, "Rec_SetPorts");
        Bind(setReported_, "Rec_SetReportedPortCount");
        Bind(setConnect_, "Rec_SetConnectResult");
        Bind(setFirmware_, "Rec_SetFirmware");
        Bind(setResponder_, "Rec_SetResponder");
        reset_();
    }
    ~RecordingDriver() {
        // The program's operation table keeps pointing into the library; keep it loaded.
    }
    RecordingDriver(const RecordingDriver&) = delete;
    RecordingDriver& operator=(const RecordingDriver&) = delete;

    // Installs the recording driver in the program's operation table.
    bool Bind() { return kestrin::LoadAdapterDriverFrom(path_); }

    void Reset() { reset_(); }
    void ClearLog() { clearLog_(); }
    std::string Log() const { return log_(); }
    std::vector<std::string> Lines() const {
        std::vector<std::string> out;
        std::istringstream in(Log());
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    void SetVersion(int32_t v) { setVersion_(v); }
    void SetPorts(const std::vector<std::string>& names) {
        std::vector<const char*> p;
        for (const auto& n : names) p.push_back(n.c_str());
        setPorts_(p.data(), static_cast<int32_t>(p.size()));
    }
    void SetReportedPortCount(int32_t n) { setReported_(n); }
    void SetConnectResult(int32_t r) { setConnect_(r); }
    void SetFirmware(int32_t f) { setFirmware_(f); }
    // Every byte sent through SPIW and SPIWR is passed to the responder with its
    // index in the stream; SPIWR stores what it returns.
    void SetResponder(Responder fn, void* ctx) { setResponder_(fn, ctx); }

    const std::string& Path() const { return path_; }

private:
    template <typename Fn>
    void Bind(Fn& fn, const char* name) {
        fn = reinterpret_cast<Fn>(dlsym(handle_, name));
        if (fn == nullptr) throw std::runtime_error(std::string("missing ") + name);
    }

    std::string path_;
    void* handle_ = nullptr;
    void (*reset_)() = nullptr;
    void (*clearLog_)() = nullptr;
    const char* (*log_)() = nullptr;
    void (*setVersion_)(int32_t) = nullptr;
    void (*setPorts_)(const char* const*, int32_t) = nullptr;
    void (*setReported_)(int32_t) = nullptr;
    void (*setConnect_)(int32_t) = nullptr;
    void (*setFirmware_)(int32_t) = nullptr;
    void (*setResponder_)(Responder, void*) = nullptr;
};

}  // namespace kestrin::test
