// What a front can do with a chip besides writing and reading a block: erase
// it, find out what it is, compare it with a data file, and read or write its
// fuse and lock bits. Each is a job like the write: one request in, one
// outcome out, result codes as the programming job's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devices/Detect.h"
#include "devices/FuseBits.h"
#include "files/MemoryImage.h"
#include "jobs/ProgrammingJob.h"

namespace kestrin {

// Chip erase with the profile's controller type: Flash and E²PROM to FF and
// the lock bits cleared (an AVR keeps its E²PROM when EESAVE is programmed).
// The one way to take lock bits off a chip. NoDevice when a part that answers
// the programming enable did not answer it; the AT89S8252 and AT89S53 give no
// answer, so an erase of an empty connector cannot be told from a real one.
TJobOutcome RunEraseJob(const TProfile& profile, IProgress& progress, const TStopSignal* stop = nullptr);

// Reads the file of the request (FileName, FileType) and compares the chip's
// memory from StartAddress on with it: Ok when they agree, VerifyFailed with
// FirstDifference at the first byte that differs, the write's refusals for a
// file that cannot be read or a block beyond the memory. FileSize is the
// number of bytes compared.
TJobOutcome RunVerifyJob(const TJobRequest& request, IProgress& progress, const TStopSignal* stop = nullptr);

// The fuse and lock bit runs of the fuse dialog and kestrin-cli, as jobs: the
// fuse layer's own result stays in detail for the words a front shows, and
// the outcome reads it the one way every job is read: Ok only for bits read,
// or written and read back the same; Refused where nothing was sent (no
// connection, no writer, an unknown part, another chip); NoDevice for no
// answer or a lost adapter; VerifyFailed when the chip reads back other bits.
TJobOutcome RunFuseReadJob(uint8_t type, const TLineLevels& levels, TFuseBits& bits, TFuseRead& detail);
TJobOutcome RunFuseWriteJob(uint8_t type, const TLineLevels& levels, const TFuseBits& bits, TFuseBits& chip,
                            TFuseWrite& detail);

// The fuse and lock bits of the attached chip, named as a user writes them:
// "low", "high", "extended" (the part's fuse bytes; all three while the part
// is not known) and "lock" on an AVR, "fuses" (Fuse1..Fuse4 in bits 0..3) and
// "lock" (Lock1..Lock3 in bits 0..2, 0 = programmed) on the AT89S8253.
struct TFuseField {
    const char* Name;
    uint8_t TFuseBits::*Field;
    uint8_t Mask;
};
std::vector<TFuseField> FuseFieldsOf(uint8_t type, const TDeviceInfo* device = nullptr);

// Applies "name=value,name=value" (values decimal or 0x hexadecimal) to bits.
// Empty on success; otherwise the one item that could not be taken and why.
std::optional<std::string> ApplyFuseAssignments(uint8_t type, const std::string& assignments, TFuseBits& bits,
                                                const TDeviceInfo* device = nullptr);

// The fuse and lock values an avr-gcc program carries (its .fuse and .lock
// sections), laid over the bits read from the chip. Nothing is written here:
// the fuse dialog and kestrin-cli show the values and write them only when
// the user asks, through the same checks as bits set by hand.
struct TElfFuseOffer {
    TFuseBits Bits;       // the chip's bits with the file's values in place
    std::string Values;   // what the file sets: "low=E2 high=D9 lock=FF"
    std::string Refusal;  // why the file's values cannot be offered; empty when they can
};
TElfFuseOffer ElfFuseOffer(uint8_t type, const DataFileContents& file, const TFuseBits& chip);

// Why writing bits to the attached part would cut it off from serial
// programming, one sentence per reason: Fuse1 of the AT89S8253; SPIEN left
// unprogrammed, RSTDISBL or DWEN programmed on an AVR (part: its name from
// the signature). For an AVR part whose fuse layout is not known here, any
// change of its fuses is such a reason, since which bit cuts ISP off cannot
// be told. chip holds the bits as they are now.
std::vector<std::string> IspCuttingReasons(uint8_t type, const std::string& part, const TFuseBits& chip,
                                           const TFuseBits& bits);

}  // namespace kestrin
