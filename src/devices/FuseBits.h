// What the fuse and lock bits dialog does with a chip: read the current bits
// when it opens, write them and read them back, release the target when it
// closes. The dialog itself only wires its controls to these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devices/DeviceTable.h"

namespace kestrin {

// The bits of one chip as the dialog edits them.
struct TFuseBits {
    uint8_t FuseLow = 0;    // ATtiny, ATmega: the low fuse byte
    uint8_t FuseHigh = 0;   // ATtiny, ATmega: the high fuse byte
    uint8_t UserFuses = 0;  // AT89S8253: bit 0 Fuse1 to bit 3 Fuse4
    uint8_t LockBits = 0;   // AT89S8253: bit 0 Lock1 to bit 2 Lock3 (0 = programmed)
    uint8_t FuseExtended = 0xFF;  // ATtiny, ATmega: the extended fuse byte, where the part has one
    uint8_t AvrLock = 0xFF;       // ATtiny, ATmega: the lock byte (0 = programmed)
    // ATtiny, ATmega: the chip the bits were read from, and its part (nullptr
    // when the signature names none).
    TSignature Signature{};
    const TDeviceInfo* Device = nullptr;
};

// An AVR fuse byte by its index: 0 low, 1 high, 2 extended.
uint8_t& FuseByte(TFuseBits& bits, int index);
uint8_t FuseByte(const TFuseBits& bits, int index);

// The bits whose writing would cut the chip off from serial programming
// (AVR: SPIEN unprogrammed, RSTDISBL or DWEN programmed; AT89S8253: Fuse1
// set), each with the question that names what follows. Empty when none.
struct TCutOff {
    std::string Bit;
    std::string Consequence;  // what writing it does, as a statement
    std::string Question;     // the consequence, asked: "… Write anyway?"
};
std::vector<TCutOff> SerialProgrammingCutOffs(uint8_t type, const TFuseBits& bits);

// The profile's line options, handed over by the options dialog.
struct TLineLevels {
    bool SCK = false;
    bool MISO = false;
    bool MOSI = false;
};

// The controller types the dialog can read and write: ATtiny, ATmega, AT89S8253.
bool HasFuseWriter(uint8_t type);

enum class TFuseRead {
    Read,          // bits holds what the chip holds
    NotConnected,  // the adapter connection is not open; nothing was sent
    NoAnswer,      // the target did not answer the handshake
    NoWriter,      // the type has no fuse or lock bits to edit; nothing was sent
    UnknownPart,   // an AVR answered with a signature no part of the table has (held in bits)
    LinkLost,      // the driver reported the adapter gone; nothing read counts
};

// Reads the bits of the type's chip into bits, in a run of its own: lines set
// up from levels, handshake, reads, target released. Only while Connected;
// bits is left alone unless the result is Read.
TFuseRead ReadFuseBits(uint8_t type, const TLineLevels& levels, TFuseBits& bits);

enum class TFuseWrite {
    Written,   // written, and the chip reads back what was written
    NoWriter,  // the type has no writer; nothing was sent
    NoAnswer,  // the target did not answer the handshake
    Differs,   // written, but the chip reads back other bits (held in chip)
    OtherChip, // an AVR whose signature differs from the one read; nothing was written
    LinkLost,  // the driver reported the adapter gone: what the chip now holds is unknown
};

// Writes the type's bits (AVR: the part's fuse bytes, and the lock byte when
// it programs a lock bit, to the chip of bits.Signature only; AT89S8253:
// UserFuses and LockBits) with the type's writer, waits out the write cycle and reads them
// back into chip. Leaves the target in its programming state, as the writers do;
// ReleaseTarget lets it go.
TFuseWrite WriteFuseBits(uint8_t type, const TLineLevels& levels, const TFuseBits& bits, TFuseBits& chip);

// Releases the target and restores the line levels: what closing the dialog does.
void ReleaseTarget(const TLineLevels& levels);

}  // namespace kestrin
