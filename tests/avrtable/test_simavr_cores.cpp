// An independent check of the generated table: every core simavr simulates
// must be found in the table by its signature, under one of the names simavr
// gives it, with the same Flash and E²PROM sizes.
#include <gtest/gtest.h>

#include <strings.h>

#include <cstdlib>
#include <string>

extern "C" {
#include <sim_avr.h>
extern avr_kind_t* avr_kind[];  // simavr's cores, ending with a null entry
}

#include "AvrParts.h"

namespace {

bool NamedBy(const avr_kind_t& kind, const char* name) {
    for (const char* alias : kind.names)
        if (alias != nullptr && strcasecmp(alias, name) == 0) return true;
    return false;
}

TEST(SimavrCores, AgreeWithTheGeneratedTable) {
    int compared = 0;
    for (avr_kind_t** kind = avr_kind; *kind != nullptr; ++kind) {
        avr_t* core = (*kind)->make();
        ASSERT_NE(core, nullptr) << (*kind)->names[0];
        SCOPED_TRACE((*kind)->names[0]);
        const std::array<uint8_t, 3> signature{core->signature[0], core->signature[1], core->signature[2]};
        // simavr leaves the signature of some cores unset; they say nothing.
        if (signature[0] == 0x1E) {
            // Parts sharing a signature (an ATmega328P and an ATA6614Q) are
            // programmed alike; one of them must carry a name simavr knows.
            const kestrin::avrparts::AvrPart* match = nullptr;
            for (const auto& p : kestrin::avrparts::AllAvrParts())
                if (p.signature == signature && NamedBy(**kind, p.name)) match = &p;
            EXPECT_NE(match, nullptr) << "no part of that name with signature " << std::hex << int{signature[1]} << " "
                                      << int{signature[2]};
            if (match != nullptr) {
                ++compared;
                EXPECT_EQ(core->flashend + 1, match->flashBytes) << match->name;
                EXPECT_EQ(core->e2end + 1, match->eepromBytes) << match->name;
            }
        }
        std::free(core);
    }
    // simavr 1.6 simulates a few dozen of these parts; comparing none would prove nothing.
    EXPECT_GE(compared, 20);
}

}  // namespace
