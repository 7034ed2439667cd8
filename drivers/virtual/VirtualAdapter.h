// The simulated Veltro: serial ports, connection, the SPI lines with their
// level options, a virtual clock and one target chip behind it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "Chip.h"
#include "Options.h"
#include "PinAdapter.h"

namespace kestrin::virt {

class VirtualAdapter {
public:
    // Starts from the built-in defaults and the INI file.
    VirtualAdapter();
    ~VirtualAdapter();

    int32_t NumPorts() const { return static_cast<int32_t>(opt_.ports.size()); }
    const char* PortName(int32_t port) const;
    int32_t Connect(int32_t port, int32_t mode);
    void Disconnect();
    int32_t Firmware() const { return opt_.firmware; }
    void SetEnables(int32_t enable, int32_t mode);
    void SetLevels(int32_t sck, int32_t mosi, int32_t miso);
    void SetReadMode(int32_t mode);
    // count bytes out, as many in (receive may be null); -1 for a call the
    // adapter does not take (more than 16 bytes, no buffer).
    int32_t Transfer(const uint8_t* send, uint8_t* receive, int32_t count);
    void Delay(int32_t microseconds);
    bool HeldInReset() const { return held_; }
    void Lines(int32_t* v, int n) const;
    // The LEDs of SetLEDs; an outcome shown starts a chip change (chip_swap).
    void ShowLeds(int32_t led1, int32_t led2);
    void Note(const std::string& call);  // an adapter call worth a log line
    int32_t cycleTime = 0;

    // Control interface.
    void ResetAll();
    bool SetOption(const std::string& key, const std::string& value, std::string& error);
    int32_t ReadMemory(int32_t space, int32_t address, uint8_t* buf, int32_t count);
    int32_t WriteMemory(int32_t space, int32_t address, const uint8_t* buf, int32_t count);
    int32_t MemorySize(int32_t space);
    bool SaveIfChanged(std::string& error);
    int64_t TimeMicros();
    const std::string& ChipLog() const { return chipLog_; }
    const std::string& AdapterLog() const { return adapterLog_; }
    void ClearLogs();

private:
    void Apply(const Options& next);  // takes a new configuration, saving and rebuilding as needed
    void BuildChip();
    // chip_swap: takes the chip out, or puts a new one in, when its time has come.
    void UpdatePresence();
    bool Absent() const { return opt_.noTarget || swap_ == Swap::Out; }
    void EnsureState();               // loads the state file once per chip and file
    void SaveQuietly();
    void Sync();                      // real-time mode: the clock follows the wall clock
    void Advance(uint64_t ns);
    uint8_t TransferByte(uint8_t b);
    // One SCK phase at the set cycle time or the read mode's automatic clock.
    uint64_t PhaseNs() const;
    // Time one byte takes on the lines: the byte_time_us option when set,
    // else 16 SCK phases of the set cycle time (0.5 µs units) or of the
    // automatic clock of the read mode (1.25 µs in mode 1, 4 µs in mode 0).
    uint64_t ByteTimeNs() const;
    bool LineSck() const { return sckHigh_ != opt_.wireSck; }  // as the target sees it
    static void Append(std::string& log, std::string_view line);

    Options opt_;
    std::unique_ptr<chips::Chip> chip_;
    std::unique_ptr<chips::PinAdapter> pins_;
    std::string statePath_;
    bool stateLoaded_ = false;
    uint32_t savedChecksum_ = 0;
    bool connected_ = false;
    bool pulledOut_ = false;     // unplugged during a connection
    uint64_t transfers_ = 0;     // SPI transfers of this connection
    bool held_ = false;
    bool sckHigh_ = false, mosiInverted_ = false, misoInverted_ = false;  // SetLevels
    int32_t readMode_ = 0;
    uint64_t nowNs_ = 0;
    std::chrono::steady_clock::time_point anchor_;
    std::string chipLog_, adapterLog_;
    bool refusedNoticeShown_ = false;
    std::string lastSaveError_;
    std::string port_;  // the port of the connection; its chip has a state file of its own
    bool firstPort_ = true;
    enum class Swap { Present, Leaving, Out } swap_ = Swap::Present;
    uint64_t goneAtNs_ = 0, backAtNs_ = 0;
    unsigned chipNumber_ = 1;  // of the chips put in since the adapter started
};

}  // namespace kestrin::virt
