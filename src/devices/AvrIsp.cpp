#include "devices/AvrIsp.h"

#include <algorithm>

#include "devices/ProgRun.h"

namespace kestrin {

namespace {

// Pause between two polls of a busy chip.
constexpr int32_t kPollStep = 500;
// Polling gives up after this many times the write time the chip should need.
constexpr int64_t kPollPatience = 4;

uint8_t Hi(int32_t v) { return static_cast<uint8_t>((v >> 8) & 0xFF); }
uint8_t Lo(int32_t v) { return static_cast<uint8_t>(v & 0xFF); }

// 20 / 28 and 40 / 48: bit 3 of the opcode picks the high byte of the word.
uint8_t ByteOpcode(uint8_t low, int32_t byteAddress) {
    return static_cast<uint8_t>((byteAddress & 1) != 0 ? low | 0x08 : low);
}

int32_t PartWait(const TDeviceInfo& device, TAvrWork work) {
    switch (work) {
        case TAvrWork::Flash: return device.FlashWait;
        case TAvrWork::EEPROM: return device.EEPROMWait;
        case TAvrWork::Erase: return device.EraseWait;
    }
    return device.EraseWait;
}

// Polls until the instruction's answer, masked, reads value.
void PollUntil(const TAvrInstruction& instruction, uint8_t mask, uint8_t value, int32_t expectedWait) {
    const int64_t patience = kPollPatience * std::max<int64_t>(expectedWait, kPollStep);
    PollInstruction(instruction[0], instruction[1], instruction[2], mask, value, kPollStep, patience);
}

}  // namespace

TAvrInstruction AvrReadSignature(uint8_t index) { return {0x30, 0x00, static_cast<uint8_t>(index & 0x03), 0x00}; }

TAvrInstruction AvrReadFlash(int32_t byteAddress) {
    const int32_t word = byteAddress >> 1;
    return {ByteOpcode(0x20, byteAddress), Hi(word), Lo(word), 0x00};
}

TAvrInstruction AvrWriteFlashByte(int32_t byteAddress, uint8_t data) {
    const int32_t word = byteAddress >> 1;
    return {ByteOpcode(0x40, byteAddress), Hi(word), Lo(word), data};
}

TAvrInstruction AvrLoadFlashPage(int32_t byteAddress, int32_t pageBytes, uint8_t data) {
    const int32_t offset = (byteAddress & (pageBytes - 1)) >> 1;
    return {ByteOpcode(0x40, byteAddress), 0x00, Lo(offset), data};
}

TAvrInstruction AvrWriteFlashPage(int32_t byteAddress, int32_t pageBytes) {
    const int32_t word = (byteAddress & ~(pageBytes - 1)) >> 1;
    return {0x4C, Hi(word), Lo(word), 0x00};
}

TAvrInstruction AvrLoadExtendedAddress(int32_t byteAddress) {
    return {0x4D, 0x00, static_cast<uint8_t>((byteAddress >> 17) & 0xFF), 0x00};
}

TAvrInstruction AvrReadEEPROM(int32_t address) { return {0xA0, Hi(address), Lo(address), 0x00}; }

TAvrInstruction AvrWriteEEPROMByte(int32_t address, uint8_t data) { return {0xC0, Hi(address), Lo(address), data}; }

TAvrInstruction AvrLoadEEPROMPage(int32_t address, int32_t pageBytes, uint8_t data) {
    return {0xC1, 0x00, Lo(address & (pageBytes - 1)), data};
}

TAvrInstruction AvrWriteEEPROMPage(int32_t address, int32_t pageBytes) {
    const int32_t page = address & ~(pageBytes - 1);
    return {0xC2, Hi(page), Lo(page), 0x00};
}

void SendAvr(const TAvrInstruction& instruction) { SendBytes(instruction.data(), instruction.size()); }

uint8_t ExchangeAvr(const TAvrInstruction& instruction) {
    return ReadInstruction(instruction[0], instruction[1], instruction[2]);
}

TSignature ReadAvrSignature() {
    std::array<uint8_t, 12> send{};
    std::array<uint8_t, 12> receive{};
    for (uint8_t i = 0; i < 3; ++i) {
        const TAvrInstruction read = AvrReadSignature(i);
        std::copy(read.begin(), read.end(), send.begin() + 4 * i);
    }
    ExchangeBytes(send.data(), receive.data(), send.size());
    return {receive[kAvrDataIndex], receive[4 + kAvrDataIndex], receive[8 + kAvrDataIndex]};
}

void AwaitAvr(const TDeviceInfo& device, TAvrWork work, int32_t profileWait, const TAvrInstruction* cell,
              uint8_t expected) {
    const int32_t need = std::max(profileWait, PartWait(device, work));
    if (device.BusyPoll) {
        PollUntil(kAvrPollReady, 0x01, 0x00, need);
        return;
    }
    const auto& busy = work == TAvrWork::EEPROM ? device.EEPROMBusy : device.FlashBusy;
    if (cell != nullptr && expected != busy[0] && expected != busy[1]) {
        PollUntil(*cell, 0xFF, expected, need);
        return;
    }
    Pause(need);
}

}  // namespace kestrin
