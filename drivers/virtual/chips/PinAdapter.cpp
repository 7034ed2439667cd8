#include "PinAdapter.h"

namespace kestrin::chips {

void PinAdapter::SetReset(bool heldInReset, uint64_t nowNs) {
    const bool entering = heldInReset && !chip_.InReset();
    chip_.SetReset(heldInReset, nowNs);
    if (!entering) return;
    bits_ = 0;
    shift_ = 0;
    phantomEdge_ = sck_;
    out_ = chip_.NextOut(nowNs);
    outBit_ = 7;
    nextPending_ = false;
}

void PinAdapter::Sample(uint64_t nowNs) {
    shift_ = static_cast<uint8_t>((shift_ << 1) | (mosi_ ? 1 : 0));
    if (++bits_ < 8) return;
    chip_.In(shift_, nowNs);
    bits_ = 0;
    shift_ = 0;
    // The last bit stays on MISO until SCK falls; the next byte is fixed now.
    next_ = chip_.NextOut(nowNs);
    nextPending_ = true;
}

void PinAdapter::SetSck(bool level, uint64_t nowNs) {
    if (level == sck_) return;
    sck_ = level;
    if (!chip_.InReset()) return;
    if (level) {
        Sample(nowNs);
        return;
    }
    if (phantomEdge_) {
        phantomEdge_ = false;
        Sample(nowNs);
    }
    // After a bit has been taken in, the falling edge shows the next one.
    if (nextPending_) {
        out_ = next_;
        outBit_ = 7;
        nextPending_ = false;
    } else if (bits_ > 0) {
        outBit_ = 7 - bits_;
    }
}

bool PinAdapter::ExchangeByte(uint8_t mosiLevels, uint64_t sampleNs, uint8_t& misoLevels) {
    if (sck_ || !chip_.InReset() || bits_ != 0 || phantomEdge_ || nextPending_ || outBit_ != 7) return false;
    misoLevels = out_;
    mosi_ = (mosiLevels & 1) != 0;
    chip_.In(mosiLevels, sampleNs);
    out_ = chip_.NextOut(sampleNs);
    return true;
}

bool PinAdapter::Miso() const {
    if (!chip_.InReset()) return true;
    return ((out_ >> outBit_) & 1) != 0;
}

}  // namespace kestrin::chips
