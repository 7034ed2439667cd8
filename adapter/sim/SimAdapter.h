// A simulated Veltro adapter in its own process (veltro_sim): started by the
// constructor, ended by Stop(), Kill() or the destructor, whichever comes
// first. The simulator also ends by itself when this process goes away.
// At most two simulators run on the machine at once (each keeps a core busy):
// the constructor waits for a free slot.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kestrin::sim {

class SimAdapter {
public:
    // target: "loopback" or a chip name (see veltro_sim). Throws std::runtime_error
    // when the simulator does not come up.
    explicit SimAdapter(const std::string& target, const std::string& simulator = KESTRIN_VELTRO_SIM,
                        const std::string& firmware = KESTRIN_VELTRO_FIRMWARE);
    ~SimAdapter();
    SimAdapter(const SimAdapter&) = delete;
    SimAdapter& operator=(const SimAdapter&) = delete;

    // The terminal the driver opens.
    const std::string& PtyPath() const { return pty_; }
    bool Running() const { return pid_ > 0; }

    // Sends one command line and returns the simulator's answer line ("ok ..." or
    // "error ..."); empty when the simulator did not answer in time.
    std::string Command(const std::string& line, int timeoutMs = 10000);

    // Simulated time in microseconds; -1 when unknown.
    long long TimeMicros();

    // Asks the simulator to end and waits for it; kills it when it does not.
    void Stop();
    // Ends the simulator at once, as if the adapter were unplugged.
    void Kill();

private:
    std::string ReadLine(int timeoutMs);
    void Reap(int graceMs);

    void AcquireSlot();
    void ReleaseSlot();

    int slot_ = -1;
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string buffered_;
    std::string pty_;
};

// Parses a simulator answer "ok <hex bytes>" into bytes; false on "error" or garbage.
bool ParseHexReply(const std::string& reply, std::vector<unsigned char>& bytes);
// Formats bytes as hex for a simulator command.
std::string HexBytes(const unsigned char* data, size_t n);

}  // namespace kestrin::sim
