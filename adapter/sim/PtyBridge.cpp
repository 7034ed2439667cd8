#include "PtyBridge.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace kestrin::sim {

namespace {
// The host never has more in flight than the adapter's receive ring; this only
// bounds memory if something goes wrong.
constexpr size_t kInboundLimit = 64 * 1024;

uint32_t Baud(speed_t speed) {
    switch (speed) {
    case B9600: return 9600;
    case B38400: return 38400;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    case B500000: return 500000;
    case B921600: return 921600;
    case B1000000: return 1000000;
    case B1500000: return 1500000;
    case B2000000: return 2000000;
    default: return 0;
    }
}
}  // namespace

PtyBridge::PtyBridge(uint32_t usbLatencyUs, uint32_t maxBaud) : usbLatency_(usbLatencyUs), maxBaud_(maxBaud) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) return;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) return;
    // Raw from the start: no echo of the firmware's bytes back into it before the host sets its mode.
    termios t{};
    // The adapter's start rate, for a host that never sets one.
    if (tcgetattr(slave_, &t) == 0) {
        cfmakeraw(&t);
        cfsetspeed(&t, B500000);
        tcsetattr(slave_, TCSANOW, &t);
    }
    UpdateHostBaud();
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) return;
    path_ = name;
    thread_ = std::thread([this] { Run(); });
}

PtyBridge::~PtyBridge() {
    stop_ = true;
    if (wakeFd_ >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t r = write(wakeFd_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    for (int fd : {master_, slave_, wakeFd_})
        if (fd >= 0) close(fd);
}

size_t PtyBridge::TakeInbound(uint8_t* out, size_t max) {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    while (n < max && !inbound_.empty()) {
        out[n++] = inbound_.front();
        inbound_.pop_front();
    }
    pending_ = inbound_.size();
    return n;
}

void PtyBridge::UpdateHostBaud() {
    termios t{};
    if (tcgetattr(slave_, &t) == 0) hostBaud_.store(Baud(cfgetospeed(&t)), std::memory_order_relaxed);
}

bool PtyBridge::RatesMatch() const {
    const uint32_t host = hostBaud_.load(std::memory_order_relaxed);
    const uint32_t adapter = adapterBaud_.load(std::memory_order_relaxed);
    // Before the firmware set up its UART (adapter 0) nothing is compared.
    if (adapter != 0 && host != adapter) return false;
    return maxBaud_ == 0 || host <= maxBaud_;
}

void PtyBridge::SendOutbound(const uint8_t* data, size_t n) {
    if (!RatesMatch()) {
        lost_.fetch_add(n, std::memory_order_relaxed);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        // A converter collects what arrives until its frame goes out, so bytes
        // that come while a burst waits travel with it.
        const auto now = std::chrono::steady_clock::now();
        if (outbound_.empty() || outbound_.back().due <= now)
            outbound_.push_back({now + usbLatency_, {}});
        outbound_.back().bytes.insert(outbound_.back().bytes.end(), data, data + n);
    }
    uint64_t one = 1;
    [[maybe_unused]] ssize_t r = write(wakeFd_, &one, sizeof one);
}

void PtyBridge::WaitInbound(uint64_t timeoutUs) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, std::chrono::microseconds(timeoutUs), [this] { return !inbound_.empty() || woken_; });
    woken_ = false;
}

void PtyBridge::Wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    arrived_.notify_all();
}

void PtyBridge::Run() {
    std::vector<uint8_t> chunk(4096);
    std::vector<uint8_t> sending;
    while (!stop_) {
        long long timeoutUs = 100000;
        {
            std::lock_guard lock(mutex_);
            const auto now = std::chrono::steady_clock::now();
            while (!outbound_.empty() && outbound_.front().due <= now) {
                sending.insert(sending.end(), outbound_.front().bytes.begin(), outbound_.front().bytes.end());
                outbound_.pop_front();
            }
            if (!outbound_.empty()) {
                const auto left = std::chrono::ceil<std::chrono::microseconds>(outbound_.front().due - now).count();
                timeoutUs = std::clamp<long long>(left, 0, timeoutUs);
            }
        }
        bool roomForInput;
        {
            std::lock_guard lock(mutex_);
            roomForInput = inbound_.size() < kInboundLimit;
        }
        pollfd fds[2] = {{master_, static_cast<short>((roomForInput ? POLLIN : 0) | (sending.empty() ? 0 : POLLOUT)), 0},
                         {wakeFd_, POLLIN, 0}};
        const timespec timeout{static_cast<time_t>(timeoutUs / 1000000), static_cast<long>(timeoutUs % 1000000) * 1000};
        int r = ppoll(fds, 2, &timeout, nullptr);
        if (r < 0 && errno != EINTR) break;
        if (fds[1].revents & POLLIN) {
            uint64_t v;
            [[maybe_unused]] ssize_t n = read(wakeFd_, &v, sizeof v);
        }
        if (fds[0].revents & POLLIN) {
            ssize_t n = read(master_, chunk.data(), chunk.size());
            // The host wrote these at the rate its terminal has now.
            if (n > 0) UpdateHostBaud();
            if (n > 0 && !RatesMatch()) {
                lost_.fetch_add(static_cast<uint64_t>(n), std::memory_order_relaxed);
                n = 0;
            }
            if (n > 0) {
                {
                    std::lock_guard lock(mutex_);
                    inbound_.insert(inbound_.end(), chunk.begin(), chunk.begin() + n);
                    pending_ = inbound_.size();
                }
                arrived_.notify_all();
            }
        }
        if (!sending.empty() && (fds[0].revents & POLLOUT)) {
            ssize_t n = write(master_, sending.data(), sending.size());
            if (n > 0) sending.erase(sending.begin(), sending.begin() + n);
        }
    }
}

}  // namespace kestrin::sim
