#include "devices/FuseBits.h"

#include "config/UnitConfig.h"
#include "devices/AvrFuses.h"
#include "devices/AvrIsp.h"
#include "devices/ProgRun.h"
#include "devices/Progress.h"
#include "devices/Unit89S8253.h"
#include "devices/UnitATmega.h"
#include "devices/UnitATtiny.h"
#include "link/SPI.h"

namespace kestrin {

namespace {

// The AT89S8253 takes the adapter's read mode 1, the AVRs their own.
int32_t ReadModeFor(uint8_t type) { return type == ctAT89S8253 ? 1 : kAvrReadMode; }

TProgParams LevelBlock(const TLineLevels& levels) {
    TProgParams p;
    p.SCK = levels.SCK;
    p.MISO = levels.MISO;
    p.MOSI = levels.MOSI;
    return p;
}

// Handshake and reads of the type. False when the target did not answer.
bool EnterAndRead(uint8_t type, TFuseBits& bits) {
    switch (type) {
        case ctATtiny: return ReadFusesATtiny(bits.FuseHigh, bits.FuseLow);
        case ctATmega: return ReadFusesATmega(bits.FuseHigh, bits.FuseLow);
        case ctAT89S8253: return ReadFuseLock89S8253(bits.UserFuses, bits.LockBits);
        default: return false;
    }
}

bool SameBits(uint8_t type, const TFuseBits& a, const TFuseBits& b) {
    if (type == ctAT89S8253)
        return (a.UserFuses & 0x0F) == (b.UserFuses & 0x0F) && (a.LockBits & 0x07) == (b.LockBits & 0x07);
    return a.FuseLow == b.FuseLow && a.FuseHigh == b.FuseHigh;
}

}  // namespace

bool HasFuseWriter(uint8_t type) { return type == ctATtiny || type == ctATmega || type == ctAT89S8253; }

TFuseRead ReadFuseBits(uint8_t type, const TLineLevels& levels, TFuseBits& bits) {
    if (!HasFuseWriter(type)) return TFuseRead::NoWriter;
    if (!Connected) return TFuseRead::NotConnected;
    const TProgParams block = LevelBlock(levels);
    TNullProgress progress;
    TProgRun run(block, progress);
    run.Open(ReadModeFor(type));
    TFuseBits read = bits;
    if (!EnterAndRead(type, read)) return TFuseRead::NoAnswer;
    bits = read;
    return TFuseRead::Read;
}

TFuseWrite WriteFuseBits(uint8_t type, const TLineLevels& levels, const TFuseBits& bits, TFuseBits& chip) {
    if (!HasFuseWriter(type)) return TFuseWrite::NoWriter;
    OpenLines(levels.SCK, levels.MOSI, levels.MISO, ReadModeFor(type));
    bool answered = false;
    int32_t writeTime = 0;
    switch (type) {
        case ctATtiny:
            answered = WriteFusesATtiny(bits.FuseHigh, bits.FuseLow);
            writeTime = kFuseWriteTimeATtiny;
            break;
        case ctATmega:
            answered = WriteFusesATmega(bits.FuseHigh, bits.FuseLow);
            writeTime = kFuseWriteTimeATmega;
            break;
        default:
            answered = WriteFuseLock89S8253(bits.UserFuses, bits.LockBits);
            writeTime = kFuseWriteTime89S8253;
            break;
    }
    if (!answered) return TFuseWrite::NoAnswer;
    // The second instruction's write cycle must end before the chip answers reads.
    Pause(writeTime);
    chip = bits;
    if (type == ctAT89S8253)
        ReadFuseLockBits89S8253(chip.UserFuses, chip.LockBits);
    else
        ReadFuseBytesAVR(chip.FuseHigh, chip.FuseLow);
    return SameBits(type, bits, chip) ? TFuseWrite::Written : TFuseWrite::Differs;
}

bool DisablesSerialProgramming(uint8_t type, const TFuseBits& bits) {
    return type == ctAT89S8253 && (bits.UserFuses & 0x01) != 0;
}

void ReleaseTarget(const TLineLevels& levels) {
    Ops.SetEnables(0, 1);
    Ops.SetLevels(levels.SCK, levels.MOSI, levels.MISO);
}

}  // namespace kestrin
