#include "devices/FuseBits.h"

#include <algorithm>
#include <array>
#include <optional>

#include "config/UnitConfig.h"
#include "devices/AvrFuses.h"
#include "devices/AvrIsp.h"
#include "devices/ProgRun.h"
#include "devices/Progress.h"
#include "devices/Translatable.h"
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

bool IsAvr(uint8_t type) { return type == ctATtiny || type == ctATmega; }

bool EnterAvr(uint8_t type) { return type == ctATtiny ? EnterProgModeATtiny() : EnterProgModeATmega(); }

// Instructions of an AVR fuse byte (0 low, 1 high, 2 extended): read 50 00 /
// 58 08 / 50 08, write AC A0 / AC A8 / AC A4.
constexpr std::array<std::array<uint8_t, 2>, 3> kFuseRead{{{0x50, 0x00}, {0x58, 0x08}, {0x50, 0x08}}};
constexpr std::array<uint8_t, 3> kFuseWrite{0xA0, 0xA8, 0xA4};

int FuseCount(const TFuseBits& bits) { return bits.Device != nullptr ? bits.Device->Part->fuseCount : 0; }
uint8_t LockMask(const TFuseBits& bits) { return bits.Device != nullptr ? bits.Device->Part->lockMask : 0; }

// The fuse and lock bytes of a part in its programming state.
void ReadAvrBytes(TFuseBits& bits) {
    for (int i = 0; i < FuseCount(bits); ++i) {
        const auto& read = kFuseRead[static_cast<size_t>(i)];
        FuseByte(bits, i) = ExchangeAvr({read[0], read[1], 0x00, 0x00});
    }
    if (LockMask(bits) != 0) bits.AvrLock = ExchangeAvr({0x58, 0x00, 0x00, 0x00});
}

// Handshake and reads of the type.
TFuseRead EnterAndRead(uint8_t type, TFuseBits& bits) {
    if (type == ctAT89S8253)
        return ReadFuseLock89S8253(bits.UserFuses, bits.LockBits) ? TFuseRead::Read : TFuseRead::NoAnswer;
    if (!EnterAvr(type)) return TFuseRead::NoAnswer;
    bits.Signature = ReadAvrSignature();
    bits.Device = FindDevice(bits.Signature);
    if (bits.Device == nullptr || bits.Device->Type != type) {
        bits.Device = nullptr;
        return TFuseRead::UnknownPart;
    }
    ReadAvrBytes(bits);
    return TFuseRead::Read;
}

bool SameBits(uint8_t type, const TFuseBits& a, const TFuseBits& b) {
    if (type == ctAT89S8253)
        return (a.UserFuses & 0x0F) == (b.UserFuses & 0x0F) && (a.LockBits & 0x07) == (b.LockBits & 0x07);
    for (int i = 0; i < FuseCount(a); ++i)
        if (FuseByte(a, i) != FuseByte(b, i)) return false;
    return ((a.AvrLock ^ b.AvrLock) & LockMask(a)) == 0;
}

// Whether the bit of this name is programmed (0) in the value to be written;
// nullopt when the part has no such bit.
std::optional<bool> ProgrammedBit(const TFuseBits& bits, const char* name) {
    for (int i = 0; i < FuseCount(bits); ++i) {
        const int bit = avrparts::FuseBitOf(*bits.Device->Part, i, name);
        if (bit >= 0) return ((FuseByte(bits, i) >> bit) & 1) == 0;
    }
    return std::nullopt;
}

TFuseWrite WriteAvr(uint8_t type, const TFuseBits& bits, TFuseBits& chip) {
    if (!EnterAvr(type)) return TFuseWrite::NoAnswer;
    if (bits.Device == nullptr || ReadAvrSignature() != bits.Signature) return TFuseWrite::OtherChip;
    const int32_t wait = std::max(bits.Device->FuseWait, type == ctATtiny ? kFuseWriteTimeATtiny : kFuseWriteTimeATmega);
    // A chip ignores instructions during its fuse write cycle.
    for (int i = 0; i < FuseCount(bits); ++i) {
        SendAvr({0xAC, kFuseWrite[static_cast<size_t>(i)], 0x00, FuseByte(bits, i)});
        Pause(wait);
    }
    // Lock bits can only be programmed; the byte goes out only when it programs one.
    const uint8_t mask = LockMask(bits);
    if ((bits.AvrLock & mask) != mask) {
        SendAvr({0xAC, 0xE0, 0x00, static_cast<uint8_t>(bits.AvrLock | ~mask)});
        Pause(wait);
    }
    chip = bits;
    ReadAvrBytes(chip);
    return SameBits(type, bits, chip) ? TFuseWrite::Written : TFuseWrite::Differs;
}

}  // namespace

uint8_t& FuseByte(TFuseBits& bits, int index) {
    return index == 0 ? bits.FuseLow : index == 1 ? bits.FuseHigh : bits.FuseExtended;
}
uint8_t FuseByte(const TFuseBits& bits, int index) {
    return index == 0 ? bits.FuseLow : index == 1 ? bits.FuseHigh : bits.FuseExtended;
}

bool HasFuseWriter(uint8_t type) { return type == ctATtiny || type == ctATmega || type == ctAT89S8253; }

TFuseRead ReadFuseBits(uint8_t type, const TLineLevels& levels, TFuseBits& bits) {
    if (!HasFuseWriter(type)) return TFuseRead::NoWriter;
    if (!Connected) return TFuseRead::NotConnected;
    const TProgParams block = LevelBlock(levels);
    TNullProgress progress;
    TFuseBits read = bits;
    TFuseRead result = TFuseRead::NoAnswer;
    try {
        TProgRun run(block, progress);
        run.Open(ReadModeFor(type));
        result = EnterAndRead(type, read);
    } catch (const TRunAborted&) {
        // Inside the run a refused transfer ends it: what was read is not the chip's.
        return TFuseRead::LinkLost;
    }
    if (result == TFuseRead::Read || result == TFuseRead::UnknownPart) bits = read;
    return result;
}

namespace {

TFuseWrite Write89S8253(const TFuseBits& bits, TFuseBits& chip) {
    if (!WriteFuseLock89S8253(bits.UserFuses, bits.LockBits)) return TFuseWrite::NoAnswer;
    // The second instruction's write cycle must end before the chip answers reads.
    Pause(kFuseWriteTime89S8253);
    chip = bits;
    ReadFuseLockBits89S8253(chip.UserFuses, chip.LockBits);
    return SameBits(ctAT89S8253, bits, chip) ? TFuseWrite::Written : TFuseWrite::Differs;
}

}  // namespace

TFuseWrite WriteFuseBits(uint8_t type, const TLineLevels& levels, const TFuseBits& bits, TFuseBits& chip) {
    if (!HasFuseWriter(type)) return TFuseWrite::NoWriter;
    // The write runs outside a programming run (the target stays in its
    // programming state), so a lost adapter only shows in the failure count:
    // the bytes read back then are not the chip's.
    const uint64_t failuresBefore = LinkFailures();
    OpenLines(levels.SCK, levels.MOSI, levels.MISO, ReadModeFor(type));
    const TFuseWrite result = IsAvr(type) ? WriteAvr(type, bits, chip) : Write89S8253(bits, chip);
    return LinkFailures() != failuresBefore ? TFuseWrite::LinkLost : result;
}

namespace {

TCutOff CutOff(const char* bit, const std::string& consequence) {
    return {bit, consequence, consequence + " Write anyway?"};
}

}  // namespace

std::vector<TCutOff> SerialProgrammingCutOffs(uint8_t type, const TFuseBits& bits) {
    std::vector<TCutOff> cuts;
    if (type == ctAT89S8253) {
        if ((bits.UserFuses & 0x01) != 0)
            cuts.push_back(CutOff("Fuse1",
                                  QT_TRANSLATE_NOOP("kestrin::SerialProgrammingCutOffs",
                                                "Fuse1 set switches the chip's serial programming off: afterwards only a "
                                  "parallel programmer can reach it.")));
        return cuts;
    }
    if (!IsAvr(type) || bits.Device == nullptr) return cuts;
    if (ProgrammedBit(bits, "SPIEN") == false)
        cuts.push_back(CutOff("SPIEN",
                              QT_TRANSLATE_NOOP("kestrin::SerialProgrammingCutOffs",
                                                "SPIEN unprogrammed switches serial programming off: afterwards only a high-voltage "
                              "programmer can reach the chip.")));
    // Most headers spell it RSTDISBL, a few RSTDSBL.
    if (ProgrammedBit(bits, "RSTDISBL") == true || ProgrammedBit(bits, "RSTDSBL") == true)
        cuts.push_back(CutOff("RSTDISBL",
                              QT_TRANSLATE_NOOP("kestrin::SerialProgrammingCutOffs",
                                                "RSTDISBL programmed turns the reset pin into an I/O pin: serial programming can no "
                              "longer start, only a high-voltage programmer can reach the chip.")));
    if (ProgrammedBit(bits, "DWEN") == true)
        cuts.push_back(CutOff("DWEN",
                              QT_TRANSLATE_NOOP("kestrin::SerialProgrammingCutOffs",
                                                "DWEN programmed hands the reset pin to debugWIRE: serial programming can no longer "
                              "start until a debugWIRE tool or a high-voltage programmer clears it.")));
    return cuts;
}

void ReleaseTarget(const TLineLevels& levels) {
    Ops.SetEnables(0, 1);
    Ops.SetLevels(levels.SCK, levels.MOSI, levels.MISO);
}

}  // namespace kestrin
