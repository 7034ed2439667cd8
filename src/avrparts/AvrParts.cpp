#include "AvrParts.h"

#include <strings.h>

#include <algorithm>

namespace kestrin::avrparts {

const AvrPart* FindAvrPart(const std::array<uint8_t, 3>& signature) {
    // Parts that share a signature (an ATtiny13 and an ATtiny13A) are
    // programmed alike; the first one avr-libc lists names them.
    const auto parts = AllAvrParts();
    const auto it = std::find_if(parts.begin(), parts.end(), [&](const AvrPart& p) { return p.signature == signature; });
    return it == parts.end() ? nullptr : &*it;
}

const AvrPart* FindAvrPart(std::string_view name) {
    const auto parts = AllAvrParts();
    const auto it = std::find_if(parts.begin(), parts.end(), [&](const AvrPart& p) {
        const std::string_view n = p.name;
        return n.size() == name.size() && strncasecmp(n.data(), name.data(), n.size()) == 0;
    });
    return it == parts.end() ? nullptr : &*it;
}

int FuseBitOf(const AvrPart& part, int byte, std::string_view name) {
    if (byte < 0 || byte >= part.fuseCount) return -1;
    const auto& bits = part.fuseBits[static_cast<size_t>(byte)];
    for (size_t i = 0; i < bits.size(); ++i)
        if (bits[i] != nullptr && name == bits[i]) return static_cast<int>(i);
    return -1;
}

}  // namespace kestrin::avrparts
