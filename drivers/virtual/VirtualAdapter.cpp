#include "VirtualAdapter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <unistd.h>

#include "StateFile.h"
#include "veltro/veltro.h"

namespace kestrin::virt {

namespace {

constexpr int32_t kMaxTransfer = 16;
constexpr size_t kMaxLogBytes = 8u << 20;

void Warn(const std::string& text) { std::fprintf(stderr, "kestrin-virtual: %s\n", text.c_str()); }

}  // namespace

VirtualAdapter::VirtualAdapter() {
    Options o = DefaultOptions();
    const std::string ini = ConfigFilePath();
    std::vector<std::string> errors;
    if (!ini.empty() && !LoadIniFile(ini, o, errors) && std::getenv("VELTRO_VIRTUAL_CONFIG") != nullptr)
        Warn("cannot read " + ini + "; using the built-in configuration");
    for (const auto& e : errors) Warn(e);
    opt_ = o;
    anchor_ = std::chrono::steady_clock::now();
    BuildChip();
}

VirtualAdapter::~VirtualAdapter() { SaveQuietly(); }

void VirtualAdapter::BuildChip() {
    chip_ = chips::MakeChip(opt_.chip);
    if (!chip_) chip_ = chips::MakeChip("AT89S8252");
    chip_->SetLog([this](std::string_view line) { Append(chipLog_, line); });
    if (opt_.stuckBitChip == 0 || opt_.stuckBitChip == chipNumber_)
        for (const auto& s : opt_.stuckBits) chip_->AddStuckBit(s.space, s.address, s.bit, s.value);
    chip_->SetAnswerFromAttempt(opt_.answerFromAttempt);
    pins_ = std::make_unique<chips::PinAdapter>(*chip_);
    pins_->SetSck(LineSck(), nowNs_);
    if (held_ && connected_ && !Absent()) pins_->SetReset(true, nowNs_);
    statePath_ = ResolveStatePath(opt_.stateFile, chip_->Name(), port_, firstPort_);
    stateLoaded_ = false;
}

void VirtualAdapter::EnsureState() {
    if (stateLoaded_) return;
    stateLoaded_ = true;
    if (!statePath_.empty()) {
        const LoadResult r = LoadState(statePath_, *chip_);
        if (r == LoadResult::Damaged) {
            // Keep the unreadable file for the user; the chip starts erased.
            std::error_code ec;
            std::filesystem::rename(statePath_, statePath_ + ".bad", ec);
            Warn("state file " + statePath_ + " is damaged or belongs to another chip; starting with an erased " +
                 chip_->Name() + (ec ? "" : " (old file kept as " + statePath_ + ".bad)"));
        }
    }
    savedChecksum_ = StateChecksum(*chip_);
}

bool VirtualAdapter::SaveIfChanged(std::string& error) {
    if (!stateLoaded_ || statePath_.empty()) return true;
    const uint32_t sum = StateChecksum(*chip_);
    if (sum == savedChecksum_ && std::filesystem::exists(statePath_)) return true;
    if (!SaveState(statePath_, *chip_, error)) return false;
    savedChecksum_ = sum;
    return true;
}

void VirtualAdapter::SaveQuietly() {
    std::string error;
    // Say it once, not after every run, while the file stays unwritable.
    if (!SaveIfChanged(error) && error != lastSaveError_) Warn(error);
    lastSaveError_ = error;
}

void VirtualAdapter::Apply(const Options& next) {
    const bool rebuild = next.chip != opt_.chip || next.stateFile != opt_.stateFile;
    if (rebuild) SaveQuietly();
    if (next.realtime && !opt_.realtime)
        anchor_ = std::chrono::steady_clock::now() - std::chrono::nanoseconds(nowNs_);
    opt_ = next;
    if (rebuild) {
        BuildChip();
        return;
    }
    chip_->ClearStuckBits();
    if (opt_.stuckBitChip == 0 || opt_.stuckBitChip == chipNumber_)
        for (const auto& s : opt_.stuckBits) chip_->AddStuckBit(s.space, s.address, s.bit, s.value);
    chip_->SetAnswerFromAttempt(opt_.answerFromAttempt);
    pins_->SetSck(LineSck(), nowNs_);
    if (!opt_.chipSwap) swap_ = Swap::Present;
}

void VirtualAdapter::ShowLeds(int32_t led1, int32_t led2) {
    Sync();
    Note("SetLEDs " + std::to_string(led1) + " " + std::to_string(led2));
    if (!opt_.chipSwap || swap_ != Swap::Present || (led1 == 0 && led2 == 0)) return;
    swap_ = Swap::Leaving;
    goneAtNs_ = nowNs_ + uint64_t{opt_.swapRemoveMs} * 1000000;
    backAtNs_ = goneAtNs_ + uint64_t{opt_.swapAbsentMs} * 1000000;
    UpdatePresence();
}

void VirtualAdapter::UpdatePresence() {
    if (swap_ == Swap::Leaving && nowNs_ >= goneAtNs_) {
        SaveQuietly();
        swap_ = Swap::Out;
        Note("chip taken out");
    }
    if (swap_ == Swap::Out && nowNs_ >= backAtNs_) {
        // A new chip from the tube: erased, and what the state file keeps from now on.
        ++chipNumber_;
        swap_ = Swap::Present;
        BuildChip();
        stateLoaded_ = true;
        savedChecksum_ = StateChecksum(*chip_) ^ 1u;
        pins_->SetMosi(mosiInverted_ != opt_.wireMosi, nowNs_);
        Note("chip " + std::to_string(chipNumber_) + " put in");
    }
}

void VirtualAdapter::Sync() {
    if (opt_.realtime) {
        const auto wall = std::chrono::steady_clock::now() - anchor_;
        const auto ns = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(wall).count());
        if (ns > nowNs_) nowNs_ = ns;
    }
    if (swap_ != Swap::Present) UpdatePresence();
}

void VirtualAdapter::Advance(uint64_t ns) {
    nowNs_ += ns;
    if (opt_.realtime) std::this_thread::sleep_until(anchor_ + std::chrono::nanoseconds(nowNs_));
}

const char* VirtualAdapter::PortName(int32_t port) const {
    if (port < 0 || port >= NumPorts()) return "";
    return opt_.ports[static_cast<size_t>(port)].c_str();
}

int32_t VirtualAdapter::Connect(int32_t port, int32_t mode) {
    Sync();
    int32_t result = VELTRO_CONNECT_OK;
    if (port < 0 || port >= NumPorts())
        result = VELTRO_CONNECT_PORT_FAILED;
    else if (opt_.unplugged)
        result = VELTRO_CONNECT_NO_ADAPTER;
    else if (opt_.oldFirmware)
        result = VELTRO_CONNECT_OLD_FIRMWARE;
    Note("Connect " + std::to_string(port) + " " + std::to_string(mode) + " -> " + std::to_string(result));
    if (result != VELTRO_CONNECT_OK) return result;
    const std::string name = opt_.ports[static_cast<size_t>(port)];
    if (name != port_ || (port == 0) != firstPort_) {
        // Each port has a chip of its own, kept in a state file of its own.
        SaveQuietly();
        port_ = name;
        firstPort_ = port == 0;
        BuildChip();
    }
    connected_ = true;
    pulledOut_ = false;
    transfers_ = 0;
    EnsureState();
    chip_->SetAnswerFromAttempt(opt_.answerFromAttempt);
    return result;
}

void VirtualAdapter::Disconnect() {
    Note("Disconnect");
    if (!connected_) return;
    SetEnables(0, 1);
    connected_ = false;
    SaveQuietly();
}

void VirtualAdapter::SetEnables(int32_t enable, int32_t mode) {
    Sync();
    Note("SetEnables " + std::to_string(enable) + " " + std::to_string(mode));
    if (!connected_) return;
    const bool wasHeld = held_;
    held_ = enable != 0;
    if (!Absent()) pins_->SetReset(held_, nowNs_);
    if (wasHeld && !held_) {
        SaveQuietly();
        if (!refusedNoticeShown_ && chip_->Name() == "AT89S8253" && (chip_->Memory(chips::Space::Fuses)[0] & 1)) {
            refusedNoticeShown_ = true;
            Warn("the AT89S8253's user fuse has switched serial programming off; it no longer answers. Delete " +
                 (statePath_.empty() ? std::string("its state") : statePath_) + " for a fresh chip.");
        }
    }
}

void VirtualAdapter::SetLevels(int32_t sck, int32_t mosi, int32_t miso) {
    Sync();
    Note("SetLevels " + std::to_string(sck) + " " + std::to_string(mosi) + " " + std::to_string(miso));
    if (!connected_) return;
    sckHigh_ = sck != 0;
    mosiInverted_ = mosi != 0;
    misoInverted_ = miso != 0;
    if (Absent()) return;
    pins_->SetMosi(mosiInverted_ != opt_.wireMosi, nowNs_);
    pins_->SetSck(LineSck(), nowNs_);
}

void VirtualAdapter::SetReadMode(int32_t mode) {
    Note("SetReadMode " + std::to_string(mode));
    readMode_ = mode != 0 ? 1 : 0;
}

uint64_t VirtualAdapter::PhaseNs() const {
    // Sixteenths of a microsecond, as the Veltro runs them.
    if (const int32_t sixteenths = VeltroCycleSixteenths(cycleTime))
        return (static_cast<uint64_t>(sixteenths) * 1000 + 15) / 16;
    const uint64_t cycle = static_cast<uint64_t>(std::clamp<int32_t>(cycleTime, 0, 255));
    return cycle != 0 ? cycle * 500 : (readMode_ != 0 ? 1250 : 4000);
}

uint64_t VirtualAdapter::ByteTimeNs() const {
    if (opt_.byteTimeUs != 0) return uint64_t{opt_.byteTimeUs} * 1000;
    return 16 * PhaseNs();
}

uint8_t VirtualAdapter::TransferByte(uint8_t b) {
    const uint64_t byteNs = ByteTimeNs();
    const uint64_t step = byteNs / 16;
    uint64_t t = nowNs_;
    uint8_t received = 0;
    const bool idle = LineSck();
    const bool mosiFlip = mosiInverted_ != opt_.wireMosi;
    const bool misoFlip = opt_.wireMiso != misoInverted_;
    // Between bytes with SCK idle low the eight pulses come out as one byte;
    // the chip takes it at the last rising edge, 15 phases in.
    uint8_t levels = 0;
    if (opt_.targetKhz != 0) {
        const uint64_t needNs = (opt_.targetKhz >= 12000 ? 3000000ULL : 2000000ULL) / opt_.targetKhz;
        if (PhaseNs() <= needNs) {
            // The target cannot follow a clock this fast.
            Advance(byteNs);
            return static_cast<uint8_t>(misoFlip ? 0x00 : 0xFF);
        }
    }
    if (!Absent() && !idle &&
        pins_->ExchangeByte(static_cast<uint8_t>(mosiFlip ? ~b : b), t + 15 * step, levels)) {
        Advance(byteNs);
        return static_cast<uint8_t>(misoFlip ? ~levels : levels);
    }
    for (int bit = 7; bit >= 0; --bit) {
        bool miso = true;  // pulled up when nothing drives it
        if (!Absent()) {
            pins_->SetMosi((((b >> bit) & 1) != 0) != mosiFlip, t);
            t += step;
            pins_->SetSck(!idle, t);
            miso = pins_->Miso();
            t += step;
            pins_->SetSck(idle, t);
        }
        const bool level = miso != misoFlip;
        received = static_cast<uint8_t>((received << 1) | (level ? 1 : 0));
    }
    Advance(byteNs);
    return received;
}

int32_t VirtualAdapter::Transfer(const uint8_t* send, uint8_t* receive, int32_t count) {
    if (count <= 0) return 0;
    if (count > kMaxTransfer || send == nullptr) return -1;
    Sync();
    if (connected_) ++transfers_;
    if (connected_ && opt_.powerCutAfterTransfers > 0 && transfers_ > opt_.powerCutAfterTransfers) {
        // The program dies as a power loss would take it; the chip keeps what
        // it has been given so far, as a real one does.
        SaveQuietly();
        std::fflush(stderr);
        ::_exit(kPowerCutExitCode);
    }
    if (connected_ && opt_.unplugAfterTransfers > 0 && transfers_ > opt_.unplugAfterTransfers) {
        Note("unplugged");
        pulledOut_ = true;
        connected_ = false;
    }
    if (pulledOut_) {
        if (receive != nullptr)
            for (int32_t i = 0; i < count; ++i) receive[i] = 0xFF;
        return -1;
    }
    if (!connected_) {
        if (receive != nullptr)
            for (int32_t i = 0; i < count; ++i) receive[i] = 0xFF;
        return 0;
    }
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t r = TransferByte(send[i]);
        if (receive != nullptr) receive[i] = r;
    }
    return count;
}

void VirtualAdapter::Delay(int32_t microseconds) {
    Sync();
    if (microseconds > 0) Advance(uint64_t(microseconds) * 1000);
}

void VirtualAdapter::Lines(int32_t* v, int n) const {
    const int32_t values[6] = {LineSck() ? 1 : 0, mosiInverted_ ? 1 : 0, misoInverted_ ? 1 : 0, held_ ? 1 : 0,
                               connected_ ? 1 : 0, 0};
    for (int i = 0; i < n && i < 6; ++i)
        if (v != nullptr) v[i] = values[i];
}

void VirtualAdapter::Note(const std::string& call) { Append(adapterLog_, call); }

void VirtualAdapter::Append(std::string& log, std::string_view line) {
    if (log.size() + line.size() + 1 > kMaxLogBytes) {
        // Keep the newer half; a long session should not grow without bound.
        const size_t cut = log.find('\n', log.size() / 2);
        log.erase(0, cut == std::string::npos ? log.size() : cut + 1);
    }
    log += line;
    log += '\n';
}

void VirtualAdapter::ResetAll() {
    SaveQuietly();
    Options o;  // built-in values, no state file
    opt_ = o;
    connected_ = false;
    held_ = false;
    port_.clear();
    firstPort_ = true;
    swap_ = Swap::Present;
    chipNumber_ = 1;
    sckHigh_ = mosiInverted_ = misoInverted_ = false;
    readMode_ = 0;
    nowNs_ = 0;
    cycleTime = 0;
    refusedNoticeShown_ = false;
    anchor_ = std::chrono::steady_clock::now();
    BuildChip();
    stateLoaded_ = true;
    savedChecksum_ = StateChecksum(*chip_);
    ClearLogs();
}

bool VirtualAdapter::SetOption(const std::string& key, const std::string& value, std::string& error) {
    Options next = opt_;
    if (!kestrin::virt::SetOption(next, key, value, error)) return false;
    Apply(next);
    return true;
}

int32_t VirtualAdapter::MemorySize(int32_t space) {
    if (space < 0 || space >= chips::kSpaceCount) return -1;
    return static_cast<int32_t>(chip_->Size(static_cast<chips::Space>(space)));
}

int32_t VirtualAdapter::ReadMemory(int32_t space, int32_t address, uint8_t* buf, int32_t count) {
    if (space < 0 || space >= chips::kSpaceCount || address < 0 || count < 0 || (buf == nullptr && count > 0))
        return -1;
    EnsureState();
    return static_cast<int32_t>(chip_->Read(static_cast<chips::Space>(space), static_cast<uint32_t>(address), buf,
                                            static_cast<size_t>(count)));
}

int32_t VirtualAdapter::WriteMemory(int32_t space, int32_t address, const uint8_t* buf, int32_t count) {
    if (space < 0 || space >= chips::kSpaceCount || address < 0 || count < 0 || (buf == nullptr && count > 0))
        return -1;
    EnsureState();
    return static_cast<int32_t>(chip_->Write(static_cast<chips::Space>(space), static_cast<uint32_t>(address), buf,
                                             static_cast<size_t>(count)));
}

int64_t VirtualAdapter::TimeMicros() {
    Sync();
    return static_cast<int64_t>(nowNs_ / 1000);
}

void VirtualAdapter::ClearLogs() {
    chipLog_.clear();
    adapterLog_.clear();
}

}  // namespace kestrin::virt
