// Writing, verifying and reading the AVR families over their serial
// programming interface: the classic AT90S parts (AT90xx: Flash programmed
// byte by byte), the ATtiny and the ATmega (Flash programmed page by page,
// E²PROM by bytes or small pages). Every run reads the signature first and
// takes memory and page sizes of the attached part from the device table.
//
// Results: ProgOk; ProgNoData when there is nothing to write or the block
// lies outside the family's largest memory (nothing is sent); ProgNoDevice
// when the target does not answer or its signature names no part of the
// family; ProgVerifyFailed when the verification finds a difference, and also
// when the block does not fit the attached part, which is found out only once
// its signature has been read and before anything is written. A read returns
// the data only with ProgOk.
//
// A Flash write erases the chip first; the erase clears the E²PROM as well,
// unless the part's EESAVE fuse keeps it.
#pragma once

#include <cstdint>
#include <vector>

#include "devices/ProgRun.h"
#include "devices/Progress.h"

namespace kestrin {

ProgResult WriteAT90xx(const TProgParams& params, IProgress& progress);
ProgResult ReadAT90xx(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data);

ProgResult WriteATtiny(const TProgParams& params, IProgress& progress);
ProgResult ReadATtiny(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data);

ProgResult WriteATmega(const TProgParams& params, IProgress& progress);
ProgResult ReadATmega(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data);

}  // namespace kestrin
