#include "devices/DeviceTable.h"

#include <strings.h>

#include <algorithm>
#include <vector>

namespace kestrin {

namespace {

uint8_t TypeOf(avrparts::AvrFamily family) {
    switch (family) {
        case avrparts::AvrFamily::Classic: return ctAT90xx;
        case avrparts::AvrFamily::Tiny: return ctATtiny;
        case avrparts::AvrFamily::Mega: break;
    }
    return ctATmega;
}

TDeviceInfo InfoOf(const avrparts::AvrPart& part) {
    const avrparts::AvrTiming t = avrparts::TimingOf(part);
    return TDeviceInfo{part.name,
                       TypeOf(part.family),
                       part.signature,
                       static_cast<int32_t>(part.flashBytes),
                       static_cast<int32_t>(part.flashPageBytes),
                       static_cast<int32_t>(part.eepromBytes),
                       t.eepromPages ? static_cast<int32_t>(part.eepromPageBytes) : 0,
                       t.busyPoll,
                       t.echoes,
                       static_cast<int32_t>(t.flashUs),
                       static_cast<int32_t>(t.eepromUs),
                       static_cast<int32_t>(t.eraseUs),
                       t.flashBusy,
                       t.eepromBusy,
                       static_cast<int32_t>(t.fuseUs),
                       &part};
}

const std::vector<TDeviceInfo>& Table() {
    static const std::vector<TDeviceInfo> table = [] {
        std::vector<TDeviceInfo> rows;
        for (const avrparts::AvrPart& part : avrparts::AllAvrParts()) rows.push_back(InfoOf(part));
        return rows;
    }();
    return table;
}

}  // namespace

std::span<const TDeviceInfo> Devices() { return Table(); }

const TDeviceInfo* FindDevice(const TSignature& signature) {
    const auto& table = Table();
    const auto it =
        std::find_if(table.begin(), table.end(), [&](const TDeviceInfo& d) { return d.Signature == signature; });
    return it == table.end() ? nullptr : &*it;
}

const TDeviceInfo* FindDevice(const TSignature& signature, uint8_t type) {
    const auto& table = Table();
    const auto it = std::find_if(table.begin(), table.end(),
                                 [&](const TDeviceInfo& d) { return d.Signature == signature && d.Type == type; });
    return it == table.end() ? nullptr : &*it;
}

const TDeviceInfo* FindDevice(std::string_view name) {
    const auto& table = Table();
    const auto it = std::find_if(table.begin(), table.end(), [&](const TDeviceInfo& d) {
        const std::string_view n = d.Name;
        return n.size() == name.size() && strncasecmp(n.data(), name.data(), n.size()) == 0;
    });
    return it == table.end() ? nullptr : &*it;
}

int32_t LargestMemory(uint8_t type, bool eeprom) {
    int32_t largest = 0;
    for (const TDeviceInfo& d : Table())
        if (d.Type == type) largest = std::max(largest, eeprom ? d.EEPROMSize : d.FlashSize);
    return largest;
}

}  // namespace kestrin
