// The AVR serial programming instruction set (AT90S, ATtiny, ATmega): 4-byte
// instructions, Flash addressed by words (bit 0 of a byte address picks the
// low or high byte), E²PROM and signature by bytes.
#pragma once

#include <array>
#include <cstdint>

#include "devices/DeviceTable.h"

namespace kestrin {

using TAvrInstruction = std::array<uint8_t, 4>;

constexpr TAvrInstruction kAvrProgrammingEnable{0xAC, 0x53, 0x00, 0x00};
constexpr TAvrInstruction kAvrChipErase{0xAC, 0x80, 0x00, 0x00};
constexpr TAvrInstruction kAvrPollReady{0xF0, 0x00, 0x00, 0x00};  // bit 0 of the answer: 1 busy

// The AVRs shift their answers out on the falling clock edge and may run from
// a 1 MHz oscillator: the adapter's read mode 0 samples before the rising edge
// at its slow clock.
constexpr int32_t kAvrReadMode = 0;

TAvrInstruction AvrReadSignature(uint8_t index);
// Read program memory: 20 (low byte) or 28 (high byte), word address.
TAvrInstruction AvrReadFlash(int32_t byteAddress);
// Write one program memory byte that is programmed at once (AT90S): 40 / 48, word address.
TAvrInstruction AvrWriteFlashByte(int32_t byteAddress, uint8_t data);
// Load one byte into the page buffer: 40 / 48, word offset within the page.
TAvrInstruction AvrLoadFlashPage(int32_t byteAddress, int32_t pageBytes, uint8_t data);
// Write the page buffer to the page that holds byteAddress: 4C, word address of the page.
TAvrInstruction AvrWriteFlashPage(int32_t byteAddress, int32_t pageBytes);
// Word-address bits 23..16 for the Flash instructions that follow: 4D.
TAvrInstruction AvrLoadExtendedAddress(int32_t byteAddress);
TAvrInstruction AvrReadEEPROM(int32_t address);                    // A0
TAvrInstruction AvrWriteEEPROMByte(int32_t address, uint8_t data);  // C0
// Load one byte into the E²PROM page buffer (C1) and write the loaded bytes
// of the page that holds address (C2).
TAvrInstruction AvrLoadEEPROMPage(int32_t address, int32_t pageBytes, uint8_t data);
TAvrInstruction AvrWriteEEPROMPage(int32_t address, int32_t pageBytes);

// The data byte an instruction of a read shifts out: the fourth.
constexpr size_t kAvrDataIndex = 3;

// Sends one instruction; nothing is read back.
void SendAvr(const TAvrInstruction& instruction);
// Sends one read instruction (its fourth byte zero) and returns its data byte.
uint8_t ExchangeAvr(const TAvrInstruction& instruction);

// The three signature bytes, read in one transfer.
TSignature ReadAvrSignature();

// What the chip is doing while the routine waits for it.
enum class TAvrWork { Flash, EEPROM, Erase };

// Waits until the write, page write or erase just sent is done and returns
// when the chip can take the next instruction. A part with the ready/busy
// poll is polled; otherwise, where a cell just written can be read back and
// its value told from the reading of a busy cell, that cell is polled (cell
// is its read instruction, expected its value); otherwise the routine pauses
// for the profile's wait, and never for less than the part's own write time.
// Polling gives up after several times that long; the verification then
// shows whether the write took.
void AwaitAvr(const TDeviceInfo& device, TAvrWork work, int32_t profileWait, const TAvrInstruction* cell = nullptr,
              uint8_t expected = 0);

}  // namespace kestrin
