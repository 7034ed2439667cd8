#include "Chip.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <strings.h>

namespace kestrin::chips {

namespace {
constexpr const char* kSpaceNames[kSpaceCount] = {"flash", "eeprom", "fuses", "lock", "signature"};
}

const char* SpaceName(Space s) {
    const int i = static_cast<int>(s);
    return i >= 0 && i < kSpaceCount ? kSpaceNames[i] : nullptr;
}

bool ParseSpace(std::string_view text, Space& out) {
    for (int i = 0; i < kSpaceCount; ++i) {
        const std::string_view name = kSpaceNames[i];
        if (text.size() == name.size() && strncasecmp(text.data(), name.data(), name.size()) == 0) {
            out = static_cast<Space>(i);
            return true;
        }
    }
    return false;
}

Chip::Chip(std::string name, Layout layout) : name_(std::move(name)), layout_(std::move(layout)) { Clear(); }

Chip::~Chip() = default;

void Chip::Clear() {
    mem_[static_cast<int>(Space::Flash)].assign(layout_.flash, 0xFF);
    mem_[static_cast<int>(Space::Eeprom)].assign(layout_.eeprom, 0xFF);
    mem_[static_cast<int>(Space::Fuses)] = layout_.fuseDefaults;
    mem_[static_cast<int>(Space::Lock)].assign(1, layout_.lockErased);
    mem_[static_cast<int>(Space::Signature)] = layout_.signature;
    for (int i = 0; i < kSpaceCount; ++i)
        for (uint32_t a = 0; a < mem_[i].size(); ++a) mem_[i][a] = ApplyStuck(static_cast<Space>(i), a, mem_[i][a]);
    busy_ = BusyState{};
    frame_.clear();
    enabled_ = false;
}

void Chip::SetReset(bool heldInReset, uint64_t nowNs) {
    (void)nowNs;
    if (heldInReset == inReset_) return;
    inReset_ = heldInReset;
    enabled_ = false;
    frame_.clear();
}

uint8_t Chip::NextOut(uint64_t nowNs) const {
    if (!inReset_) return 0xFF;
    return Output(nowNs);
}

void Chip::In(uint8_t mosi, uint64_t nowNs) {
    if (!inReset_) return;
    if (frame_.empty()) frameStartNs_ = nowNs;
    frame_.push_back(mosi);
    if (frame_.size() < InstructionLength()) return;
    if (enabled_) {
        Execute(nowNs);
    } else if (EnableFrame()) {
        AcceptEnable();
    } else {
        Log("ignored before programming enable: %s", FrameText().c_str());
    }
    frame_.clear();
}

uint8_t Chip::Exchange(uint8_t mosi, uint64_t nowNs) {
    const uint8_t out = NextOut(nowNs);
    In(mosi, nowNs);
    return out;
}

size_t Chip::Size(Space s) const { return Memory(s).size(); }

const std::vector<uint8_t>& Chip::Memory(Space s) const {
    static const std::vector<uint8_t> none;
    const int i = static_cast<int>(s);
    return i >= 0 && i < kSpaceCount ? mem_[i] : none;
}

size_t Chip::Read(Space s, uint32_t address, uint8_t* out, size_t count) const {
    const auto& m = Memory(s);
    if (address >= m.size() || out == nullptr) return 0;
    const size_t n = std::min(count, m.size() - address);
    std::copy_n(m.begin() + address, n, out);
    return n;
}

size_t Chip::Write(Space s, uint32_t address, const uint8_t* data, size_t count) {
    const int i = static_cast<int>(s);
    if (i < 0 || i >= kSpaceCount || address >= mem_[i].size() || data == nullptr) return 0;
    const size_t n = std::min(count, mem_[i].size() - address);
    for (size_t k = 0; k < n; ++k) SetStored(s, static_cast<uint32_t>(address + k), data[k]);
    return n;
}

void Chip::AddStuckBit(Space s, uint32_t address, unsigned bit, bool value) {
    if (bit > 7) return;
    stuck_.push_back({s, address, static_cast<uint8_t>(1u << bit), value});
    const int i = static_cast<int>(s);
    if (i >= 0 && i < kSpaceCount && address < mem_[i].size()) SetStored(s, address, mem_[i][address]);
}

void Chip::ClearStuckBits() { stuck_.clear(); }

void Chip::SetAnswerFromAttempt(unsigned attempt) {
    answerFrom_ = std::max(1u, attempt);
    attemptsLeft_ = answerFrom_ - 1;
}

uint8_t Chip::ApplyStuck(Space s, uint32_t address, uint8_t value) const {
    for (const auto& b : stuck_) {
        if (b.space != s || b.address != address) continue;
        value = b.value ? (value | b.mask) : (value & ~b.mask);
    }
    return value;
}

void Chip::SetStored(Space s, uint32_t address, uint8_t value) {
    auto& m = mem_[static_cast<int>(s)];
    if (address < m.size()) m[address] = ApplyStuck(s, address, value);
}

bool Chip::EnableFrame() const { return frame_.size() >= 2 && frame_[0] == 0xAC && frame_[1] == 0x53; }

bool Chip::EnableWillAnswer() const { return EnableFrame() && attemptsLeft_ == 0 && SerialProgrammingAllowed(); }

void Chip::AcceptEnable() {
    if (!SerialProgrammingAllowed()) {
        Log("programming enable refused (serial programming disabled)");
        return;
    }
    if (attemptsLeft_ > 0) {
        --attemptsLeft_;
        Log("programming enable not answered (target not ready)");
        return;
    }
    attemptsLeft_ = answerFrom_ - 1;
    enabled_ = true;
    Log("programming enable");
}

bool Chip::LostWhileBusy(const char* what) const {
    if (!Busy(frameStartNs_)) return false;
    Log("lost while busy: %s", what);
    return true;
}

void Chip::StartBusy(uint64_t nowNs, uint64_t durationNs, BusyKind kind, Space s, uint32_t first, uint32_t count) {
    busy_ = BusyState{nowNs + durationNs, kind, s, first, count};
}

void Chip::Program(Space s, uint32_t address, uint8_t value, bool autoErase) {
    const uint8_t old = Stored(s, address);
    SetStored(s, address, autoErase ? value : static_cast<uint8_t>(old & value));
}

void Chip::Fill(Space s, uint8_t value) {
    auto& m = mem_[static_cast<int>(s)];
    for (uint32_t a = 0; a < m.size(); ++a) SetStored(s, a, value);
}

uint8_t Chip::ReadCell(Space s, uint32_t address, uint64_t nowNs) const {
    const uint8_t stored = Stored(s, address);
    if (!Busy(nowNs)) return stored;
    return BusyRead(s, address, stored);
}

std::string Chip::FrameText() const {
    std::string text;
    char hex[4];
    for (size_t i = 0; i < frame_.size() && i < 4; ++i) {
        std::snprintf(hex, sizeof hex, i ? " %02X" : "%02X", frame_[i]);
        text += hex;
    }
    return text;
}

void Chip::LogUnknown() const { Log("unknown instruction %s", FrameText().c_str()); }

uint8_t Chip::BusyRead(Space, uint32_t, uint8_t stored) const { return stored; }

void Chip::Log(const char* fmt, ...) const {
    if (!log_) return;
    char buf[160];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    log_(buf);
}

}  // namespace kestrin::chips
