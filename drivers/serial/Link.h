// A byte link to the adapter: the serial port, or a stand-in in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kestrin::serial {

class ILink {
public:
    virtual ~ILink() = default;
    // Writes all n bytes within timeoutMs; false when the link failed or stalled.
    virtual bool Write(const uint8_t* data, size_t n, int timeoutMs) = 0;
    // Waits at most timeoutMs for input and returns what arrived (up to max bytes):
    // 0 on time-out, -1 when the link is gone.
    virtual int Read(uint8_t* out, size_t max, int timeoutMs) = 0;
    // Drops whatever has been received and not read yet.
    virtual void DiscardInput() = 0;
    // Waits until everything written has left, then talks at baud from now
    // on; false when the port cannot.
    virtual bool SetRate(uint32_t baud) = 0;
};

// Why a port could not be opened.
struct OpenError {
    int code = 0;  // errno of the failing call, 0 when unknown
    std::string message;
    bool PermissionDenied() const;
};

// Opens a serial port by device path ("/dev/ttyUSB0") for the adapter's line
// settings. Null on failure, with the cause in error.
std::unique_ptr<ILink> OpenSerialLink(const std::string& path, OpenError& error);

}  // namespace kestrin::serial
