// A target behind the recording driver that knows the fuse and lock bit
// instructions of the AVR families and the AT89S8253: answers the programming
// enable, keeps the bits it is sent and answers their reads.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "devices/DeviceTable.h"
#include "devices/FuseBits.h"
#include "support/RecordingDriver.h"

namespace kestrin::test {

class FuseTarget {
public:
    void Install(RecordingDriver& driver) { driver.SetResponder(&Respond, this); }

    bool Answers = true;
    uint8_t FuseLow = 0xE1;
    uint8_t FuseHigh = 0xD9;
    uint8_t FuseExtended = 0xFF;
    uint8_t AvrLock = 0xFF;  // 0 = programmed
    std::array<uint8_t, 3> Signature{0x1E, 0x93, 0x07};  // an ATmega8
    uint8_t UserFuses = 0x0A;  // Fuse1 to Fuse4
    uint8_t LockBits = 0x07;   // Lock1 to Lock3, 0 = programmed
    // High fuse bits the serial interface cannot change (an AVR's SPIEN).
    uint8_t FixedHigh = 0x00;

    // Answers with the signature of the part of that name.
    void Be(const char* part) {
        const TDeviceInfo* device = FindDevice(part);
        if (device != nullptr) Signature = device->Signature;
    }

private:
    static uint8_t Respond(uint8_t sent, uint64_t, void* ctx) { return static_cast<FuseTarget*>(ctx)->Next(sent); }

    uint8_t Next(uint8_t sent) {
        frame_.push_back(sent);
        uint8_t out = 0x00;
        const size_t pos = frame_.size() - 1;
        if (pos == 2 && frame_[0] == 0xAC && frame_[1] == 0x53 && Answers) out = 0x53;
        if (pos == 3) {
            const uint8_t b1 = frame_[0], b2 = frame_[1];
            if (b1 == 0x50 && b2 == 0x00) out = FuseLow;
            if (b1 == 0x58 && b2 == 0x08) out = FuseHigh;
            if (b1 == 0x50 && b2 == 0x08) out = FuseExtended;
            if (b1 == 0x58 && b2 == 0x00) out = AvrLock;
            if (b1 == 0x30) out = Signature[frame_[2] & 3];
            if (b1 == 0xAC && b2 == 0xA4) FuseExtended = sent;
            if (b1 == 0xAC && b2 == 0xE0) AvrLock &= sent;
            if (b1 == 0x21) out = static_cast<uint8_t>(0xF0 | UserFuses);
            if (b1 == 0x24) out = static_cast<uint8_t>(0xF8 | LockBits);
            if (b1 == 0xAC && b2 == 0xA0) FuseLow = sent;
            if (b1 == 0xAC && b2 == 0xA8) FuseHigh = static_cast<uint8_t>((sent & ~FixedHigh) | (FuseHigh & FixedHigh));
            if (b1 == 0xAC && (b2 & 0xF0) == 0x10) UserFuses = b2 & 0x0F;
            // Lock bits can only be programmed; the chip erase clears them.
            if (b1 == 0xAC && (b2 & 0xF8) == 0xE0) LockBits &= b2 & 0x07;
            frame_.clear();
        }
        return out;
    }

    std::vector<uint8_t> frame_;
};

// Bits as the dialog holds them after reading an AVR of that name: the part,
// its signature and the two bytes; the other bytes unprogrammed.
inline TFuseBits AvrBits(const char* part, uint8_t low, uint8_t high) {
    TFuseBits bits;
    bits.Device = FindDevice(part);
    if (bits.Device != nullptr) bits.Signature = bits.Device->Signature;
    bits.FuseLow = low;
    bits.FuseHigh = high;
    return bits;
}

}  // namespace kestrin::test
