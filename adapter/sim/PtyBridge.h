// The simulated adapter's serial port: a pseudo-terminal whose far end the
// driver opens like a USB serial port. An I/O thread moves bytes between the
// pty and two queues so that the simulation thread never makes a system call
// for the link.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrin::sim {

class PtyBridge {
public:
    // usbLatencyUs: how long the firmware's bytes are held before the host
    // can read them, as a USB serial converter holds them for its next frame
    // (about 1 ms on a real board); 0 passes them on at once.
    // maxBaud: the fastest rate the modelled converter carries; bytes sent
    // at a faster one are lost. 0: no limit.
    explicit PtyBridge(uint32_t usbLatencyUs = 0, uint32_t maxBaud = 0);
    ~PtyBridge();
    PtyBridge(const PtyBridge&) = delete;
    PtyBridge& operator=(const PtyBridge&) = delete;

    // Path of the terminal the host opens ("/dev/pts/N"); empty when the pty could not be made.
    const std::string& Path() const { return path_; }

    // Simulation thread: bytes from the host, at most max of them.
    size_t TakeInbound(uint8_t* out, size_t max);
    bool InboundPending() const { return pending_.load(std::memory_order_relaxed) > 0; }
    // Simulation thread: bytes the firmware sent.
    void SendOutbound(const uint8_t* data, size_t n);

    // Simulation thread: the rate the firmware's UART runs at. Bytes cross
    // only while the host's terminal is set to the same rate, as on a real
    // line (the simulated UART itself paces them at its own rate).
    void SetAdapterBaud(uint32_t baud) { adapterBaud_.store(baud, std::memory_order_relaxed); }
    // Bytes lost to a rate mismatch, both directions.
    uint64_t LostBytes() const { return lost_.load(std::memory_order_relaxed); }

    // Waits up to timeoutUs for host bytes or Wake(); returns at once when some are pending.
    void WaitInbound(uint64_t timeoutUs);
    void Wake();

private:
    void Run();
    // Whether a byte survives the line at the host's current rate.
    bool RatesMatch() const;
    // Reads the rate the host set on its terminal.
    void UpdateHostBaud();

    std::string path_;
    int master_ = -1;
    int slave_ = -1;  // kept open so the master never reads a hang-up between host sessions
    int wakeFd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<size_t> pending_{0};
    std::mutex mutex_;
    std::condition_variable arrived_;
    bool woken_ = false;
    std::deque<uint8_t> inbound_;
    // Bytes from the firmware with the time they may go to the host.
    struct Burst {
        std::chrono::steady_clock::time_point due;
        std::vector<uint8_t> bytes;
    };
    std::deque<Burst> outbound_;
    std::chrono::microseconds usbLatency_;
    uint32_t maxBaud_;
    std::atomic<uint32_t> adapterBaud_{0};
    std::atomic<uint32_t> hostBaud_{0};
    std::atomic<uint64_t> lost_{0};
    std::thread thread_;
};

}  // namespace kestrin::sim
