// A minimal 8051-family target behind the recording driver: decodes the byte
// stream the routines send, keeps Flash and E²PROM, answers the programming
// enable and read instructions. Enough to let whole runs complete; the call
// log stays the thing the tests assert on.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>
#include <vector>

#include "support/RecordingDriver.h"

namespace kestrin::test {

class FakeTarget {
public:
    enum class Kind { AT89S8252, AT89S8253, AT89S52 };

    explicit FakeTarget(Kind kind) : kind_(kind) {}

    void Install(RecordingDriver& driver) { driver.SetResponder(&Respond, this); }

    // Whether the n-th programming enable (1-based, counted over the whole run) is answered.
    std::function<bool(int)> Answers = [](int) { return true; };
    // AT89S52 answering 0x53 in its third byte but not 0x69 in its fourth.
    bool EchoWithoutSignature = false;
    // Addresses whose Flash or E²PROM cell keeps its content whatever is written.
    std::set<int> StuckFlash, StuckEEPROM;

    std::vector<uint8_t> Flash = std::vector<uint8_t>(16384, 0xFF);
    std::vector<uint8_t> EEPROM = std::vector<uint8_t>(2048, 0xFF);
    int Enables = 0;
    int Erases = 0;

private:
    static uint8_t Respond(uint8_t sent, uint64_t, void* ctx) { return static_cast<FakeTarget*>(ctx)->Next(sent); }

    size_t Length(uint8_t opcode) const {
        if (kind_ == Kind::AT89S8252) return 3;
        switch (opcode) {
            case 0xAC: return 4;
            case 0x50: case 0x30: return kind_ == Kind::AT89S52 ? 2 + 256 : 3 + 64;
            case 0xD0: case 0xB0: return 3 + 32;
            default: return 1;
        }
    }
    size_t Header() const { return kind_ == Kind::AT89S52 && (cur_[0] & 0x80) == 0 ? 2 : 3; }
    int PageAddress() const {
        if ((cur_[0] & 0x80) != 0) return ((cur_[1] & 0x07) << 8) | (cur_[2] & 0xE0);
        if (kind_ == Kind::AT89S52) return (cur_[1] & 0x1F) << 8;
        return ((cur_[1] & 0x3F) << 8) | (cur_[2] & 0xC0);
    }
    void Store(bool eeprom, int address, uint8_t value) {
        auto& mem = eeprom ? EEPROM : Flash;
        if (!(eeprom ? StuckEEPROM : StuckFlash).count(address)) mem[static_cast<size_t>(address) % mem.size()] = value;
    }

    uint8_t Next(uint8_t sent) {
        const size_t pos = cur_.size();
        cur_.push_back(sent);
        if (pos == 0) length_ = Length(sent);
        uint8_t out = 0x00;
        if (kind_ == Kind::AT89S8252) {
            const int code = cur_[0] & 0x07;
            const bool eeprom = code == 5 || code == 6;
            const int address = (((cur_[0] >> 3) << 8) | (pos > 0 ? cur_[1] : 0)) % (eeprom ? 2048 : 8192);
            if (pos == 2 && (code == 1 || code == 5)) out = (eeprom ? EEPROM : Flash)[static_cast<size_t>(address)];
            if (pos == 2 && (code == 2 || code == 6)) Store(eeprom, address, sent);
        } else if (cur_[0] == 0xAC) {
            if (pos == 1 && sent == 0x53) ++Enables;
            const bool answering = pos >= 2 && cur_[1] == 0x53 && Answers(Enables);
            if (pos == 2 && answering) out = 0x53;
            if (pos == 3 && answering && kind_ == Kind::AT89S52 && !EchoWithoutSignature) out = 0x69;
            if (pos == 3 && cur_[1] == 0x80) {
                ++Erases;
                std::fill(Flash.begin(), Flash.end(), 0xFF);
                std::fill(EEPROM.begin(), EEPROM.end(), 0xFF);
            }
        } else if (pos >= Header() && length_ > 1) {
            const bool eeprom = (cur_[0] & 0x80) != 0;
            const int address = PageAddress() + static_cast<int>(pos - Header());
            if ((cur_[0] & 0x20) != 0 && (cur_[0] & 0x40) == 0) out = (eeprom ? EEPROM : Flash)[static_cast<size_t>(address)];
            else Store(eeprom, address, sent);
        }
        if (cur_.size() >= length_) cur_.clear();
        return out;
    }

    Kind kind_;
    std::vector<uint8_t> cur_;
    size_t length_ = 1;
};

}  // namespace kestrin::test
