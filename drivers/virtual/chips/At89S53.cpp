// AT89S53: A12..A8 A13 01 read code, A12..A8 A13 10 write code (self-timed,
// with auto-erase); AC 53 enable, AC xxxxx100 erase, AC LLLxx111 lock bits.
#include "At89Chips.h"

namespace kestrin::chips {

namespace {
constexpr uint64_t Us(uint64_t us) { return us * 1000; }
}  // namespace

At89S53::At89S53()
    : At89Chip("AT89S53", Layout{12288, 0, {}, 0xFF, {0x1E, 0x53}},
               Timing{Us(2500), Us(16000), Us(2500), uint8_t{0x00}}) {}

size_t At89S53::InstructionLength() const { return 3; }

uint32_t At89S53::Address() const {
    return ((static_cast<uint32_t>(frame_[0] >> 3) << 8) | frame_[1]) | (static_cast<uint32_t>((frame_[0] >> 2) & 1) << 13);
}

uint8_t At89S53::Output(uint64_t nowNs) const {
    if (!enabled_) return 0xFF;
    if (frame_.size() != 2 || (frame_[0] & 0x03) != 0x01) return 0x00;
    return ReadMemory(Space::Flash, Address(), nowNs);
}

void At89S53::Execute(uint64_t nowNs) {
    const uint8_t b1 = frame_[0], b2 = frame_[1], b3 = frame_[2];
    switch (b1 & 0x03) {
        case 0x01: return Log("read flash %04X", static_cast<unsigned>(Address()));
        case 0x02: return WriteByte(Space::Flash, Address(), b3, nowNs, true);
        default: break;
    }
    if (b1 == 0xAC) return ExecuteAc3(b2, nowNs);
    LogUnknown();
}

}  // namespace kestrin::chips
