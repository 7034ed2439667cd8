#include "devices/Programmer.h"

#include <algorithm>
#include <vector>

#include "config/UnitConfig.h"
#include "devices/DeviceTable.h"
#include "devices/Unit89S8252.h"
#include "devices/Unit89S8253.h"
#include "devices/UnitAT89S53.h"
#include "devices/UnitAvr.h"

namespace kestrin {

namespace {

using TWriteRoutine = ProgResult (*)(const TProgParams&, IProgress&);
using TReadRoutine = ProgResult (*)(const TProgParams&, IProgress&, std::vector<uint8_t>&);

struct TTypeRoutines {
    uint8_t Type;
    TWriteRoutine Write;
    TReadRoutine Read;
    int32_t FlashSize;
    int32_t EEPROMSize;
};

// One row per controller type that can be programmed; a new family adds its
// row. The AVR types reach as far as the largest part of their family: the
// routines check the attached part once they have read its signature.
const std::vector<TTypeRoutines>& Routines() {
    static const std::vector<TTypeRoutines> rows{
        TTypeRoutines{ctAT89S8252, Write89S8252, Read89S8252, 8192, 2048},
        TTypeRoutines{ctAT90xx, WriteAT90xx, ReadAT90xx, LargestMemory(ctAT90xx, false), LargestMemory(ctAT90xx, true)},
        TTypeRoutines{ctATtiny, WriteATtiny, ReadATtiny, LargestMemory(ctATtiny, false), LargestMemory(ctATtiny, true)},
        TTypeRoutines{ctATmega, WriteATmega, ReadATmega, LargestMemory(ctATmega, false), LargestMemory(ctATmega, true)},
        TTypeRoutines{ctAT89S8253, Write89S8253, Read89S8253, 12288, 2048},
        TTypeRoutines{ctAT89S52, Write89S52, Read89S52, 8192, 0},
        TTypeRoutines{ctAT89S53, Write89S53, Read89S53, kAT89S53FlashSize, 0},
    };
    return rows;
}

const TTypeRoutines* Find(uint8_t type) {
    const auto& rows = Routines();
    const auto it = std::find_if(rows.begin(), rows.end(), [type](const auto& r) { return r.Type == type; });
    return it == rows.end() ? nullptr : &*it;
}

}  // namespace

bool HasWriteRoutine(uint8_t type) { return Find(type) != nullptr; }

int32_t MemorySize(uint8_t type, bool eeprom) {
    const TTypeRoutines* r = Find(type);
    if (r == nullptr) return 0;
    return eeprom ? r->EEPROMSize : r->FlashSize;
}

ProgResult WriteByType(uint8_t type, const TProgParams& params, IProgress& progress) {
    const TTypeRoutines* r = Find(type);
    return r == nullptr ? ProgNoData : r->Write(params, progress);
}

ProgResult ReadByType(uint8_t type, const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data) {
    data.clear();
    const TTypeRoutines* r = Find(type);
    return r == nullptr ? ProgNoData : r->Read(params, progress, data);
}

}  // namespace kestrin
