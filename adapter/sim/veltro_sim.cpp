// veltro_sim: runs the adapter firmware in simavr, with its serial port on a
// pseudo-terminal and a target (a chip model or a loopback wire) on its SPI
// and reset pins.
//
//   veltro_sim --firmware veltro.elf [--target loopback|none|AT89S8252|AT89S8253|AT89S52|ATmega8|ATmega328P]
//
// Prints "pty <path>" on standard output once the firmware runs, then serves
// one-line commands on standard input, each answered with one line starting
// with "ok" or "error":
//   time                   simulated time in microseconds
//   leds                   the two LED outputs ("ok 1 0")
//   lines                  the target lines: sck mosi rst /reset as 0/1
//   baud                   the firmware's serial rate and the bytes lost to a rate mismatch
//   waits                  simulated microseconds the firmware sat idle waiting for the host
//   phases                 shortest SCK high and low phase in ns since the last "phases"
//   quit                   ends the simulation
// plus the target's own commands (memory access for chip models).
// Ends on "quit", on end of input (the controlling process went away), on
// SIGTERM or SIGINT.

#include <signal.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "PtyBridge.h"
#include "SimTarget.h"

extern "C" {
#include <avr_ioport.h>
#include <avr_uart.h>
#include <sim_avr.h>
#include <sim_elf.h>
#include <sim_io.h>
#include <sim_irq.h>
#include <sim_time.h>
}

namespace kestrin::sim {
namespace {

constexpr uint32_t kFrequency = 16000000;
// Data-space addresses of the ATmega328P registers the harness looks at.
constexpr uint16_t kGPIOR0 = 0x3E;
constexpr uint16_t kPORTD = 0x2B;
constexpr uint16_t kUCSR0A = 0xC0;
constexpr uint16_t kUCSR0B = 0xC1;
constexpr uint16_t kUBRR0L = 0xC4;
constexpr uint16_t kUBRR0H = 0xC5;
constexpr uint8_t kU2X0 = 1 << 1;
constexpr uint8_t kRXEN0 = 1 << 4;
// Port B bits of the target connector (see the firmware's board.h).
constexpr uint8_t kRst = 1 << 1;
constexpr uint8_t kNReset = 1 << 2;
constexpr uint8_t kMosi = 1 << 3;
constexpr int kMisoPin = 4;
constexpr uint8_t kSck = 1 << 5;
constexpr uint8_t kLed1 = 1 << 6;
constexpr uint8_t kLed2 = 1 << 7;
// A sleep shorter than this ends in an event of the firmware's own (a UART byte).
constexpr uint32_t kOwnEventUs = 1000;
// A clock level held longer than this is the line resting, not a phase of a bit.
constexpr uint64_t kRestNs = 500000;

std::atomic<bool> g_stop{false};

void OnSignal(int) { g_stop = true; }

void LogToStderr(avr_t*, const int level, const char* format, va_list ap) {
    if (level > LOG_WARNING) return;
    std::vfprintf(stderr, format, ap);
}

class Board {
public:
    Board(avr_t* avr, PtyBridge& bridge, std::unique_ptr<SimTarget> target)
        : avr_(avr), bridge_(bridge), target_(std::move(target)) {
        uint32_t flags = 0;  // no console echo, no sleeping in status polls
        avr_ioctl(avr_, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
        avr_irq_register_notify(avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT), &Board::OnUartOut, this);
        avr_irq_register_notify(avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XON), &Board::OnXon, this);
        avr_irq_register_notify(avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XOFF), &Board::OnXoff, this);
        uartIn_ = avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT);
        avr_irq_t* portB = avr_io_getirq(avr_, AVR_IOCTL_IOPORT_GETIRQ('B'), 0);
        avr_irq_register_notify(portB + IOPORT_IRQ_REG_PORT, &Board::OnPort, this);
        avr_irq_register_notify(portB + IOPORT_IRQ_DIRECTION_ALL, &Board::OnDirection, this);
        misoIrq_ = portB + kMisoPin;
        avr_->sleep = &Board::OnSleep;
        self_ = this;
        SetMiso(target_->Miso());
    }

    uint64_t NowNs() const { return avr_cycles_to_nsec(avr_, avr_->cycle); }

    // Moves host bytes into the UART while it has room.
    void FeedUart() {
        WatchBaud();
        if (xoff_ || !bridge_.InboundPending()) return;
        uint8_t b;
        while (!xoff_ && bridge_.TakeInbound(&b, 1) == 1) avr_raise_irq(uartIn_, b);
    }

    void FlushOut() {
        if (out_.empty()) return;
        bridge_.SendOutbound(out_.data(), out_.size());
        out_.clear();
    }

    bool Control(const std::string& line, std::string& reply) {
        std::istringstream in(line);
        std::string verb;
        in >> verb;
        if (verb == "time") {
            reply = "ok " + std::to_string(NowNs() / 1000);
        } else if (verb == "leds") {
            const uint8_t d = avr_->data[kPORTD];
            reply = std::string("ok ") + ((d & kLed1) ? "1" : "0") + " " + ((d & kLed2) ? "1" : "0");
        } else if (verb == "lines") {
            const TargetPins p = Pins();
            reply = "ok " + std::to_string(p.sck) + " " + std::to_string(p.mosi) + " " + std::to_string(p.rstHigh) + " " +
                    std::to_string(!p.nresetLow);
        } else if (verb == "waits") {
            // Simulated time the firmware sat idle waiting for the host: on a board
            // that is USB latency; here it is the host's and the simulator's pace.
            reply = "ok " + std::to_string(hostWaitCycles_ * 1000000 / avr_->frequency);
        } else if (verb == "baud") {
            // The firmware's rate, and the bytes lost on the line to a rate mismatch.
            const uint8_t* d = avr_->data;
            const uint32_t ubrr = ((d[kUBRR0H] & 0x0F) << 8) | d[kUBRR0L];
            const uint32_t divider = (d[kUCSR0A] & kU2X0) ? 8 : 16;
            reply = "ok " + std::to_string(avr_->frequency / (divider * (ubrr + 1))) + " " +
                    std::to_string(bridge_.LostBytes());
            for (avr_io_t* io = avr_->io_port; io != nullptr; io = io->next)
                if (std::strcmp(io->kind, "uart") == 0) reply += " cpb " + std::to_string(reinterpret_cast<avr_uart_t*>(io)->cycles_per_byte);
        } else if (verb == "phases") {
            reply = "ok " + std::to_string(shortestHigh_) + " " + std::to_string(shortestLow_);
            shortestHigh_ = shortestLow_ = UINT64_MAX;
        } else if (verb == "quit") {
            g_stop = true;
            reply = "ok";
        } else if (!target_->Control(verb, in, NowNs(), reply)) {
            reply = "error unknown command " + verb;
        }
        return true;
    }

private:
    // Tells the bridge when the firmware changes its UART's rate.
    void WatchBaud() {
        const uint8_t* d = avr_->data;
        const uint32_t key = (static_cast<uint32_t>(d[kUCSR0B] & kRXEN0) << 24) |
                             (static_cast<uint32_t>(d[kUCSR0A] & kU2X0) << 16) | (d[kUBRR0H] << 8) | d[kUBRR0L];
        if (key == baudKey_) return;
        baudKey_ = key;
        const uint32_t ubrr = ((d[kUBRR0H] & 0x0F) << 8) | d[kUBRR0L];
        const uint32_t divider = (d[kUCSR0A] & kU2X0) ? 8 : 16;
        bridge_.SetAdapterBaud((d[kUCSR0B] & kRXEN0) ? avr_->frequency / (divider * (ubrr + 1)) : 0);
    }

    TargetPins Pins() const {
        TargetPins p;
        // A line the adapter does not drive floats; the target's own pull resistors decide,
        // which for SCK and MOSI reads as low and for the reset inputs as "not in reset".
        p.sck = (ddr_ & kSck) && (port_ & kSck);
        p.mosi = (ddr_ & kMosi) && (port_ & kMosi);
        p.rstHigh = (ddr_ & kRst) && (port_ & kRst);
        p.nresetLow = (ddr_ & kNReset) && !(port_ & kNReset);
        return p;
    }

    void LinesChanged() {
        const TargetPins p = Pins();
        if (p.sck == last_.sck && p.mosi == last_.mosi && p.rstHigh == last_.rstHigh && p.nresetLow == last_.nresetLow)
            return;
        const uint64_t now = NowNs();
        if (p.sck != last_.sck) {
            // Only phases inside a byte count: a clock resting between bytes is no phase.
            const uint64_t phase = now - lastEdgeNs_;
            if (lastEdgeNs_ != 0 && phase < kRestNs) {
                uint64_t& shortest = last_.sck ? shortestHigh_ : shortestLow_;
                shortest = std::min(shortest, phase);
            }
            lastEdgeNs_ = now;
        }
        last_ = p;
        target_->Lines(p, now);
        SetMiso(target_->Miso());
    }

    void SetMiso(bool level) {
        if (level == miso_ && misoSet_) return;
        miso_ = level;
        misoSet_ = true;
        // The external level must also be recorded: otherwise the next PORTB write
        // re-applies the pin's pull-up over it.
        avr_ioport_external_t ext{};
        ext.name = 'B';
        ext.mask = 1 << kMisoPin;
        ext.value = level ? (1 << kMisoPin) : 0;
        avr_ioctl(avr_, AVR_IOCTL_IOPORT_SET_EXTERNAL('B'), &ext);
        avr_raise_irq(misoIrq_, level ? 1 : 0);
    }

    static void OnUartOut(avr_irq_t*, uint32_t value, void* param) {
        static_cast<Board*>(param)->out_.push_back(static_cast<uint8_t>(value));
    }
    static void OnXon(avr_irq_t*, uint32_t, void* param) { static_cast<Board*>(param)->xoff_ = false; }
    static void OnXoff(avr_irq_t*, uint32_t value, void* param) { static_cast<Board*>(param)->xoff_ = value != 0; }
    static void OnPort(avr_irq_t*, uint32_t value, void* param) {
        auto* b = static_cast<Board*>(param);
        b->port_ = static_cast<uint8_t>(value);
        b->LinesChanged();
    }
    static void OnDirection(avr_irq_t*, uint32_t value, void* param) {
        auto* b = static_cast<Board*>(param);
        b->ddr_ = static_cast<uint8_t>(value);
        b->LinesChanged();
    }

    // simavr's own sleep ties a sleeping core to real time. Here a sleep runs at
    // full speed when the firmware pauses (nothing from the host can change a
    // pause) or when its next event is its own (a UART byte due within the
    // millisecond). Only waiting for the host keeps real time, and then the
    // simulated clock moves on by just the time that really passed, so host-side
    // latency shows up as it would with a board and nothing more.
    static void OnSleep(avr_t* avr, avr_cycle_count_t howLong) {
        Board* b = self_;
        b->FlushOut();
        if (avr->data[kGPIOR0] & 1) return;
        if (howLong < avr_usec_to_cycles(avr, kOwnEventUs)) return;
        if (!(b->bridge_.InboundPending() && !b->xoff_)) {
            const auto start = std::chrono::steady_clock::now();
            b->bridge_.WaitInbound(avr_cycles_to_usec(avr, howLong));
            const auto waited =
                std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
            const avr_cycle_count_t passed = avr_usec_to_cycles(avr, static_cast<uint32_t>(waited));
            if (passed >= howLong) {
                b->hostWaitCycles_ += howLong;
                return;
            }
            b->hostWaitCycles_ += passed;
            avr->cycle -= howLong - passed;  // the caller adds howLong
            return;
        }
        avr->cycle -= howLong;  // host bytes are waiting: deliver them now
    }

    static inline Board* self_ = nullptr;

    avr_t* avr_;
    PtyBridge& bridge_;
    std::unique_ptr<SimTarget> target_;
    avr_irq_t* uartIn_ = nullptr;
    avr_irq_t* misoIrq_ = nullptr;
    bool xoff_ = true;  // until the firmware enables its receiver
    uint8_t port_ = 0;
    uint8_t ddr_ = 0;
    TargetPins last_;
    bool miso_ = false;
    bool misoSet_ = false;
    std::vector<uint8_t> out_;
    uint64_t hostWaitCycles_ = 0;
    uint32_t baudKey_ = UINT32_MAX;
    uint64_t lastEdgeNs_ = 0;
    uint64_t shortestHigh_ = UINT64_MAX;
    uint64_t shortestLow_ = UINT64_MAX;
};

// Reads command lines from standard input on its own thread; end of input
// means the controlling process is gone and ends the simulation.
class CommandReader {
public:
    explicit CommandReader(PtyBridge& bridge) : bridge_(bridge), thread_([this] { Run(); }) {}
    ~CommandReader() {
        g_stop = true;
        thread_.join();
    }
    bool Pending() const { return pending_.load(std::memory_order_relaxed); }
    std::vector<std::string> Take() {
        std::lock_guard lock(mutex_);
        pending_ = false;
        return std::exchange(lines_, {});
    }

private:
    void Run() {
        std::string partial;
        char buf[512];
        while (!g_stop) {
            pollfd p{STDIN_FILENO, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) break;
            partial.append(buf, static_cast<size_t>(n));
            for (size_t nl; (nl = partial.find('\n')) != std::string::npos; partial.erase(0, nl + 1)) {
                std::lock_guard lock(mutex_);
                lines_.push_back(partial.substr(0, nl));
                pending_ = true;
            }
            bridge_.Wake();
        }
        g_stop = true;
        bridge_.Wake();
    }

    PtyBridge& bridge_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::atomic<bool> pending_{false};
    std::thread thread_;
};

struct Options {
    std::string firmware;
    std::string target = "loopback";
};

bool ParseArgs(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--firmware" && i + 1 < argc)
            o.firmware = argv[++i];
        else if (a == "--target" && i + 1 < argc)
            o.target = argv[++i];
        else
            return false;
    }
    return !o.firmware.empty();
}

int Main(int argc, char** argv) {
    Options opt;
    if (!ParseArgs(argc, argv, opt)) {
        std::fprintf(stderr, "usage: veltro_sim --firmware <elf> [--target loopback|none|<chip>]\n");
        return 2;
    }
    // Never outlive the process that controls the simulation.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    // Short waits for the host should not oversleep by the default 50 us slack.
    prctl(PR_SET_TIMERSLACK, 1UL);
    struct sigaction sa{};
    sa.sa_handler = OnSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<SimTarget> target = opt.target == "loopback" ? MakeLoopback()
                                        : opt.target == "none"   ? MakeOpenConnector()
                                                                 : MakeChipTarget(opt.target);
    if (!target) {
        std::fprintf(stderr, "veltro_sim: unknown target %s\n", opt.target.c_str());
        return 2;
    }

    avr_global_logger_set(&LogToStderr);
    elf_firmware_t fw{};
    if (elf_read_firmware(opt.firmware.c_str(), &fw) != 0) {
        std::fprintf(stderr, "veltro_sim: cannot read %s\n", opt.firmware.c_str());
        return 2;
    }
    avr_t* avr = avr_make_mcu_by_name("atmega328p");
    if (avr == nullptr || avr_init(avr) != 0) {
        std::fprintf(stderr, "veltro_sim: cannot create the ATmega328P\n");
        return 2;
    }
    avr_load_firmware(avr, &fw);
    avr->frequency = kFrequency;
    avr->log = LOG_WARNING;

    int status = 0;
    {
        // VELTRO_SIM_USB_US models a USB serial converter's latency (benchmarks),
        // VELTRO_SIM_MAX_BAUD one that cannot carry the faster link rates.
        const char* usb = std::getenv("VELTRO_SIM_USB_US");
        const char* maxBaud = std::getenv("VELTRO_SIM_MAX_BAUD");
        PtyBridge bridge(usb != nullptr ? static_cast<uint32_t>(std::strtoul(usb, nullptr, 10)) : 0,
                         maxBaud != nullptr ? static_cast<uint32_t>(std::strtoul(maxBaud, nullptr, 10)) : 0);
        if (bridge.Path().empty()) {
            std::fprintf(stderr, "veltro_sim: cannot create a pseudo-terminal\n");
            avr_terminate(avr);
            return 2;
        }
        Board board(avr, bridge, std::move(target));

        CommandReader reader(bridge);
        std::printf("pty %s\n", bridge.Path().c_str());
        std::fflush(stdout);

        // VELTRO_SIM_PROFILE=FILE: cycles spent per program address, written at
        // the end ("address cycles" in hex and decimal; map them with avr-nm).
        const char* profilePath = std::getenv("VELTRO_SIM_PROFILE");
        std::vector<uint64_t> profile(profilePath != nullptr ? 32768 : 0);
        while (!g_stop) {
            const avr_flashaddr_t pc = avr->pc;
            const avr_cycle_count_t before = avr->cycle;
            const int state = avr_run(avr);
            if (!profile.empty() && avr->state == cpu_Running) profile[(pc >> 1) & 0x3FFF] += avr->cycle - before;
            if (state == cpu_Done || state == cpu_Crashed) {
                std::fprintf(stderr, "veltro_sim: firmware stopped (state %d)\n", state);
                status = 1;
                break;
            }
            board.FeedUart();
            board.FlushOut();
            if (reader.Pending()) {
                for (const auto& c : reader.Take()) {
                    std::string reply;
                    board.Control(c, reply);
                    std::printf("%s\n", reply.c_str());
                }
                std::fflush(stdout);
            }
        }
        g_stop = true;
        if (!profile.empty()) {
            const std::string path = std::string(profilePath) + "." + std::to_string(getpid());
            if (FILE* f = std::fopen(path.c_str(), "w")) {
                for (size_t i = 0; i < profile.size(); ++i)
                    if (profile[i] != 0) std::fprintf(f, "%zx %llu\n", i * 2, static_cast<unsigned long long>(profile[i]));
                std::fclose(f);
            }
        }
    }
    avr_terminate(avr);
    return status;
}

}  // namespace
}  // namespace kestrin::sim

int main(int argc, char** argv) { return kestrin::sim::Main(argc, argv); }
