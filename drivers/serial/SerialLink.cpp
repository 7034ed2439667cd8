// Serial ports through libserialport. A pseudo-terminal (the simulated
// adapter, a serial-over-network bridge) has no entry in sysfs, which
// libserialport needs to describe a port, so such a port is opened as a
// plain terminal instead.
#include <fcntl.h>
#include <libserialport.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "Link.h"
#include "veltro_protocol.h"

namespace kestrin::serial {

bool OpenError::PermissionDenied() const { return code == EACCES || code == EPERM; }

namespace {

class SerialPortLink final : public ILink {
public:
    explicit SerialPortLink(sp_port* port) : port_(port) {}
    ~SerialPortLink() override {
        int fd = -1;
        if (sp_get_port_handle(port_, &fd) == SP_OK) ioctl(fd, TIOCNXCL);
        sp_close(port_);
        sp_free_port(port_);
    }

    bool Write(const uint8_t* data, size_t n, int timeoutMs) override {
        const sp_return r = sp_blocking_write(port_, data, n, static_cast<unsigned>(timeoutMs > 0 ? timeoutMs : 1));
        return r == static_cast<sp_return>(n);
    }

    int Read(uint8_t* out, size_t max, int timeoutMs) override {
        // A zero time-out means "forever" to libserialport.
        const sp_return r = sp_blocking_read_next(port_, out, max, static_cast<unsigned>(timeoutMs > 0 ? timeoutMs : 1));
        return r < 0 ? -1 : static_cast<int>(r);
    }

    void DiscardInput() override { sp_flush(port_, SP_BUF_INPUT); }

    bool SetRate(uint32_t baud) override {
        sp_drain(port_);
        sp_port_config* config = nullptr;
        if (sp_new_config(&config) != SP_OK) return false;
        bool ok = sp_get_config(port_, config) == SP_OK &&
                  sp_set_config_baudrate(config, static_cast<int>(baud)) == SP_OK && sp_set_config(port_, config) == SP_OK;
        sp_free_config(config);
        return ok;
    }

private:
    sp_port* port_;
};

speed_t TerminalSpeed(uint32_t baud) {
    switch (baud) {
    case 500000: return B500000;
    case 1000000: return B1000000;
    case 2000000: return B2000000;
    default: return B0;
    }
}

class TerminalLink final : public ILink {
public:
    explicit TerminalLink(int fd) : fd_(fd) {}
    ~TerminalLink() override {
        // The terminal may stay open elsewhere (a pty's other side): leave it shareable.
        ioctl(fd_, TIOCNXCL);
        close(fd_);
    }

    bool Write(const uint8_t* data, size_t n, int timeoutMs) override {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (n > 0) {
            const ssize_t w = write(fd_, data, n);
            if (w > 0) {
                data += w;
                n -= static_cast<size_t>(w);
                continue;
            }
            if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{fd_, POLLOUT, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return false;
            if (p.revents & (POLLERR | POLLHUP)) return false;
        }
        return true;
    }

    int Read(uint8_t* out, size_t max, int timeoutMs) override {
        pollfd p{fd_, POLLIN, 0};
        const int r = poll(&p, 1, timeoutMs);
        if (r < 0) return errno == EINTR ? 0 : -1;
        if (r == 0) return 0;
        const ssize_t n = read(fd_, out, max);
        if (n > 0) return static_cast<int>(n);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
        return -1;  // hang-up: the other end is gone
    }

    void DiscardInput() override { tcflush(fd_, TCIFLUSH); }

    bool SetRate(uint32_t baud) override {
        const speed_t speed = TerminalSpeed(baud);
        termios t{};
        if (speed == B0 || tcdrain(fd_) != 0 || tcgetattr(fd_, &t) != 0) return false;
        cfsetspeed(&t, speed);
        return tcsetattr(fd_, TCSANOW, &t) == 0;
    }

private:
    int fd_;
};

// One program at a time: a second Kestrin on the same adapter would mix its
// frames into ours. The lock holds against cooperating programs, the exclusive
// mode also against others (a modem manager probing new ports) while we are
// connected.
bool Claim(int fd, OpenError& error) {
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error.code = errno == EWOULDBLOCK ? EBUSY : errno;
        error.message = "the port is in use by another program";
        return false;
    }
    ioctl(fd, TIOCEXCL);
    return true;
}

std::unique_ptr<ILink> OpenTerminal(const std::string& path, OpenError& error) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error.code = errno;
        error.message = std::strerror(errno);
        return nullptr;
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        error.code = errno;
        error.message = std::string("not a terminal: ") + std::strerror(errno);
        close(fd);
        return nullptr;
    }
    if (!Claim(fd, error)) {
        close(fd);
        return nullptr;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&t, TerminalSpeed(VP_BAUD));
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
    return std::make_unique<TerminalLink>(fd);
}

}  // namespace

std::unique_ptr<ILink> OpenSerialLink(const std::string& path, OpenError& error) {
    sp_port* port = nullptr;
    if (sp_get_port_by_name(path.c_str(), &port) != SP_OK) return OpenTerminal(path, error);
    if (sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
        error.code = sp_last_error_code();
        char* msg = sp_last_error_message();
        error.message = msg != nullptr ? msg : "cannot open";
        sp_free_error_message(msg);
        sp_free_port(port);
        return nullptr;
    }
    int fd = -1;
    if (sp_get_port_handle(port, &fd) == SP_OK && !Claim(fd, error)) {
        sp_close(port);
        sp_free_port(port);
        return nullptr;
    }
    sp_port_config* config = nullptr;
    bool ok = sp_new_config(&config) == SP_OK;
    if (ok) {
        sp_set_config_baudrate(config, static_cast<int>(VP_BAUD));
        sp_set_config_bits(config, 8);
        sp_set_config_parity(config, SP_PARITY_NONE);
        sp_set_config_stopbits(config, 1);
        sp_set_config_flowcontrol(config, SP_FLOWCONTROL_NONE);
        ok = sp_set_config(port, config) == SP_OK;
        sp_free_config(config);
    }
    if (!ok) {
        error.code = sp_last_error_code();
        error.message = "the port does not accept 500000 baud, 8N1";
        sp_close(port);
        sp_free_port(port);
        return nullptr;
    }
    // DTR on: boards with an auto-reset circuit restart here, and the connect
    // handshake waits for them. Adapters without modem lines ignore it.
    sp_set_dtr(port, SP_DTR_ON);
    sp_set_rts(port, SP_RTS_ON);
    return std::make_unique<SerialPortLink>(port);
}

}  // namespace kestrin::serial
