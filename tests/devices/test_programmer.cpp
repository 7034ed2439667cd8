#include <gtest/gtest.h>

#include <vector>

#include "DeviceTest.h"
#include "devices/Programmer.h"
#include "devices/Unit89S8253.h"

namespace kestrin::test {
namespace {

using ProgrammerTest = RecordingRunTest;

TEST_F(ProgrammerTest, EachTypeReachesItsOwnRoutine) {
    const struct {
        uint8_t type;
        bool routine;
        int32_t flash, eeprom;
        const char* readMode;  // "" when nothing may be sent
        TPageFamily family;
    } cases[] = {
        {0, true, 8192, 2048, "SetReadMode 0", TPageFamily::AT89S8253},
        // The AVR types reach as far as their family's largest part.
        {1, true, 8192, 512, "SetReadMode 0", TPageFamily::AT89S8253},
        // ATtiny1634 and ATtiny167: 16 KB; ATmega256RFR2: 8 KB of E²PROM.
        {2, true, 16384, 512, "SetReadMode 0", TPageFamily::AT89S8253},
        {3, true, 262144, 8192, "SetReadMode 0", TPageFamily::AT89S8253},
        {4, true, 12288, 2048, "SetReadMode 1", TPageFamily::AT89S8253},
        {5, true, 8192, 0, "SetReadMode 1", TPageFamily::AT89S52},
        {6, true, 12288, 0, "SetReadMode 0", TPageFamily::AT89S8253},
        {7, false, 0, 0, "", TPageFamily::AT89S8253},
        {255, false, 0, 0, "", TPageFamily::AT89S8253},
    };
    const std::vector<uint8_t> image{1, 2, 3};
    TProgParams p;
    p.Data = image.data();
    p.Size = 3;
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        EXPECT_EQ(HasWriteRoutine(c.type), c.routine);
        EXPECT_EQ(MemorySize(c.type, false), c.flash);
        EXPECT_EQ(MemorySize(c.type, true), c.eeprom);

        for (bool write : {true, false}) {
            driver.Reset();
            FakeTarget target(c.family == TPageFamily::AT89S52 ? FakeTarget::Kind::AT89S52 : FakeTarget::Kind::AT89S8253);
            target.Install(driver);
            std::vector<uint8_t> data{7};
            const ProgResult r = write ? WriteByType(c.type, p, progress) : ReadByType(c.type, p, progress, data);
            if (!c.routine) {
                EXPECT_EQ(r, ProgNoData);
                EXPECT_TRUE(Log().empty());
                continue;
            }
            EXPECT_NE(r, ProgNoData);
            EXPECT_EQ(LinesStarting("SetReadMode"), std::vector<std::string>{c.readMode});
            // The fake 8051 target gives no AVR signature: those runs end at the handshake.
            if (!write && r == ProgOk) {
                EXPECT_EQ(data.size(), 3u);
            }
        }
    }
}

}  // namespace
}  // namespace kestrin::test
