// A minimal AVR target behind the recording driver: 4-byte instructions,
// the programming-enable answer, the signature, the ready/busy poll and
// enough of the memories (byte writes, page loads and page writes, reads) for
// the routines to finish their runs. The call log stays what tests assert on.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "support/RecordingDriver.h"

namespace kestrin::test {

class FakeAvr {
public:
    explicit FakeAvr(std::array<uint8_t, 3> signature) : Signature(signature) {}

    void Install(RecordingDriver& driver) { driver.SetResponder(&Respond, this); }

    std::array<uint8_t, 3> Signature;
    bool Echoes = true;     // answers the programming enable with 0x53
    bool ByteMode = false;  // 40/48 program the byte at once (classic parts) instead of loading the page
    int BusyPolls = 0;     // the ready/busy poll answers busy this many times after each write
    bool NeverReady = false;
    std::map<int32_t, uint8_t> Flash, EEPROM;  // what was written; unwritten cells read FF

private:
    static uint8_t Respond(uint8_t sent, uint64_t, void* ctx) { return static_cast<FakeAvr*>(ctx)->Next(sent); }

    static uint8_t Cell(const std::map<int32_t, uint8_t>& memory, int32_t address) {
        const auto it = memory.find(address);
        return it == memory.end() ? 0xFF : it->second;
    }

    int32_t Word() const { return (frame_[1] << 8) | frame_[2]; }

    uint8_t Next(uint8_t sent) {
        frame_.push_back(sent);
        const size_t pos = frame_.size() - 1;
        uint8_t out = 0x00;
        if (pos == 2 && frame_[0] == 0xAC && frame_[1] == 0x53 && Echoes) out = 0x53;
        if (pos == 3) {
            out = Output();
            Execute();
            frame_.clear();
        }
        return out;
    }

    uint8_t Output() {
        switch (frame_[0]) {
            case 0x30: return Signature[frame_[2] & 3];
            case 0x20: return Cell(Flash, Word() * 2);
            case 0x28: return Cell(Flash, Word() * 2 + 1);
            case 0xA0: return Cell(EEPROM, Word());
            case 0xF0:
                if (NeverReady) return 0x01;
                if (busyLeft_ > 0) {
                    --busyLeft_;
                    return 0x01;
                }
                return 0x00;
            default: return 0x00;
        }
    }

    void Execute() {
        const uint8_t op = frame_[0];
        const uint8_t data = frame_[3];
        if (op == 0x40 || op == 0x48) {
            const int32_t high = op == 0x48 ? 1 : 0;
            if (ByteMode)
                Flash[Word() * 2 + high] = data;
            else
                pageBuffer_[frame_[2] * 2 + high] = data;
        } else if (op == 0x4C) {
            for (const auto& [offset, value] : pageBuffer_) Flash[Word() * 2 + offset] = value;
            pageBuffer_.clear();
            busyLeft_ = BusyPolls;
        } else if (op == 0xC0) {
            EEPROM[Word()] = data;
            busyLeft_ = BusyPolls;
        } else if (op == 0xC1) {
            eepromBuffer_[frame_[2]] = data;
        } else if (op == 0xC2) {
            for (const auto& [offset, value] : eepromBuffer_) EEPROM[Word() + offset] = value;
            eepromBuffer_.clear();
            busyLeft_ = BusyPolls;
        } else if (op == 0xAC && frame_[1] == 0x80) {
            Flash.clear();
            EEPROM.clear();
            busyLeft_ = BusyPolls;
        }
    }

    std::vector<uint8_t> frame_;
    std::map<int32_t, uint8_t> pageBuffer_, eepromBuffer_;
    int busyLeft_ = 0;
};

}  // namespace kestrin::test
