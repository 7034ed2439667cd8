// The programming routines through the serial driver, the pty and the
// firmware in the simulator, into a chip model on the simulated pins.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "SimBench.h"
#include "devices/ProgRun.h"
#include "devices/Unit89S8252.h"
#include "devices/Unit89S8253.h"
#include "devices/UnitAvr.h"

namespace kestrin::test {
namespace {

// Image bytes with no run that a chip could mistake for anything.
std::vector<uint8_t> Image(size_t size, uint8_t seed) {
    std::vector<uint8_t> v(size);
    uint32_t x = 0x9E3779B9u ^ seed;
    for (auto& b : v) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
    }
    return v;
}

// Calls a hook after every unit of work (for pulling the plug in mid-run).
class HookProgress final : public IProgress {
public:
    std::function<void()> onStep;
    void SetColor(uint32_t) override {}
    void SetProgress(int32_t) override {}
    void SetMaxValue(int32_t) override {}
    void SetText(const std::string&) override {}
    void ProcessEvents() override {
        if (onStep) onStep();
    }
};

class SimChip : public SimBench {
protected:
    TProgParams Block(const std::vector<uint8_t>& image, int32_t start, bool eeprom = false) const {
        TProgParams p;
        p.Data = image.data();
        p.Size = static_cast<int32_t>(image.size());
        p.StartAddress = start;
        p.EEPROM = eeprom;
        p.WaitFlash = 4500;
        p.WaitEEPROM = 4500;
        p.WaitErase = 500000;
        p.Verify = true;
        return p;
    }

    // What the chip holds once the adapter has carried out everything sent,
    // read as a parallel programmer would.
    std::vector<uint8_t> ChipMemory(const std::string& space, int32_t address, size_t count) {
        std::vector<unsigned char> bytes;
        const std::string reply =
            Settled("read " + space + " " + std::to_string(address) + " " + std::to_string(count));
        EXPECT_TRUE(sim::ParseHexReply(reply, bytes)) << reply;
        return {bytes.begin(), bytes.end()};
    }

    void Preload(const std::string& space, int32_t address, const std::vector<uint8_t>& data) {
        for (size_t at = 0; at < data.size(); at += 256) {
            const size_t n = std::min<size_t>(256, data.size() - at);
            ASSERT_EQ(sim_->Command("write " + space + " " + std::to_string(address + at) + " " +
                                    sim::HexBytes(data.data() + at, n)),
                      "ok " + std::to_string(n));
        }
    }

    HookProgress progress;
};

TEST_F(SimChip, AT89S8252WritesVerifiesAndReadsBothMemories) {
    Start("AT89S8252");
    struct Case {
        bool eeprom;
        int32_t start;
        size_t size;
        size_t wrapAt;  // image bytes beyond this land at address 0: addresses repeat every 8 KB
    };
    for (const Case& c : {Case{false, 0x1F80, 200, 128}, Case{true, 0x07F0, 16, 16}}) {
        SCOPED_TRACE(c.eeprom ? "E²PROM" : "Flash");
        const std::string space = c.eeprom ? "eeprom" : "flash";
        const auto image = Image(c.size, c.eeprom ? 1 : 2);
        EXPECT_EQ(Write89S8252(Block(image, c.start, c.eeprom), progress), ProgOk);
        EXPECT_EQ(ChipMemory(space, c.start, c.wrapAt), std::vector<uint8_t>(image.begin(), image.begin() + c.wrapAt));
        EXPECT_EQ(ChipMemory(space, 0, c.size - c.wrapAt), std::vector<uint8_t>(image.begin() + c.wrapAt, image.end()));
        std::vector<uint8_t> back;
        TProgParams r = Block(image, c.start, c.eeprom);
        r.Data = nullptr;
        EXPECT_EQ(Read89S8252(r, progress, back), ProgOk);
        EXPECT_EQ(back, image);
    }
}

// The AT89S8252 gives no answer to the programming enable; the byte read back
// after the first write shows that nothing understood it, and the run ends.
TEST_F(SimChip, AT89S8252WithAWrongLineLevelEndsAsNoDevice) {
    Start("AT89S8252");
    const auto image = Image(24, 3);
    struct Case {
        const char* what;
        bool sck, mosi, miso;
    };
    for (const Case& c : {Case{"SCK quiescent high", true, false, false}, Case{"MOSI inverted", false, true, false},
                          Case{"MISO inverted", false, false, true}}) {
        SCOPED_TRACE(c.what);
        TProgParams p = Block(image, 0x0200);
        p.SCK = c.sck;
        p.MOSI = c.mosi;
        p.MISO = c.miso;
        EXPECT_EQ(Write89S8252(p, progress), ProgNoDevice);
    }
    // The same image with the right levels programs fine afterwards.
    EXPECT_EQ(Write89S8252(Block(image, 0x0200), progress), ProgOk);
    EXPECT_EQ(ChipMemory("flash", 0x0200, image.size()), image);
}

TEST_F(SimChip, AT89S8253WritesFlashKeepsItAcrossAnEepromWriteAndReadsBack) {
    Start("AT89S8253");
    const auto flash = Image(1000, 4);
    EXPECT_EQ(Write89S8253(Block(flash, 0x0010), progress), ProgOk);
    EXPECT_EQ(ChipMemory("flash", 0x0010, flash.size()), flash);
    EXPECT_EQ(ChipMemory("flash", 0x0000, 16), std::vector<uint8_t>(16, 0xFF));

    const auto eeprom = Image(100, 5);
    TProgParams p = Block(eeprom, 0x0120, true);
    p.Backup = true;
    EXPECT_EQ(Write89S8253(p, progress), ProgOk);
    EXPECT_EQ(ChipMemory("eeprom", 0x0120, eeprom.size()), eeprom);
    EXPECT_EQ(ChipMemory("flash", 0x0010, flash.size()), flash) << "the Flash backup was not written back";

    std::vector<uint8_t> back;
    TProgParams r = Block(flash, 0x0010);
    r.Data = nullptr;
    EXPECT_EQ(Read89S8253(r, progress, back), ProgOk);
    EXPECT_EQ(back, flash);
}

TEST_F(SimChip, AT89S52WritesAndVerifiesFlash) {
    Start("AT89S52");
    const auto image = Image(0x300, 6);
    EXPECT_EQ(Write89S52(Block(image, 0x0110), progress), ProgOk);
    EXPECT_EQ(ChipMemory("flash", 0x0110, image.size()), image);
    // What the page padding wrote around the image is erased memory.
    EXPECT_EQ(ChipMemory("flash", 0x0100, 0x10), std::vector<uint8_t>(0x10, 0xFF));
}

// An ATmega8 at the slow clock; an ATmega328P with its crystal named, where
// the adapter clocks the page loads and reads out itself and polls the chip
// on its own: what lands in the chip and what comes back are the image, with
// a fraction of the bytes on the link.
TEST_F(SimChip, ATmegaPartsWriteVerifyAndReadBothMemories) {
    struct Case {
        const char* chip;
        bool eeprom;
        int32_t start;
        size_t size;
        uint8_t seed;
        int32_t waitEEPROM, waitErase, targetClock;
    };
    // The ATmega8's Flash image crosses a page boundary (64-byte pages), its
    // E²PROM is written byte by byte; the ATmega328P's images cross pages of
    // 128 and 4 bytes.
    const Case cases[] = {
        {"ATmega8", false, 0x0030, 200, 11, 9000, 10000, 0},
        {"ATmega8", true, 0x01F0, 16, 10, 9000, 10000, 0},
        {"ATmega328P", false, 0x1F40, 600, 13, 3600, 9000, 16},
        {"ATmega328P", true, 0x0102, 30, 12, 3600, 9000, 16},
    };
    std::string started;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + (c.eeprom ? " E²PROM" : " Flash"));
        if (started != c.chip) {
            Start(c.chip);
            started = c.chip;
        }
        const auto image = Image(c.size, c.seed);
        TProgParams p = Block(image, c.start, c.eeprom);
        p.WaitEEPROM = c.waitEEPROM;
        p.WaitErase = c.waitErase;
        p.TargetClock = c.targetClock;
        ResetStats();
        EXPECT_EQ(WriteATmega(p, progress), ProgOk);
        EXPECT_EQ(ChipMemory(c.eeprom ? "eeprom" : "flash", c.start, c.size), image);
        std::vector<uint8_t> back;
        p.Data = nullptr;
        EXPECT_EQ(ReadATmega(p, progress, back), ProgOk);
        EXPECT_EQ(back, image);
        // Four bytes per instruction would be more than 8 per image byte,
        // written and read, before the polls.
        if (c.targetClock != 0 && !c.eeprom) {
            EXPECT_LT(Stats().bytesOut, 6 * c.size);
        }
    }
}

TEST_F(SimChip, NothingOnTheConnectorIsNoDevice) {
    Start("none");
    const auto image = Image(64, 8);
    EXPECT_EQ(Write89S8253(Block(image, 0), progress), ProgNoDevice);
    EXPECT_EQ(Write89S52(Block(image, 0), progress), ProgNoDevice);
    EXPECT_EQ(Write89S8252(Block(image, 0), progress), ProgNoDevice);
}

TEST_F(SimChip, UnpluggingTheAdapterMidRunEndsTheRun) {
    struct Case {
        const char* chip;
        ProgResult (*write)(const TProgParams&, IProgress&);
        int32_t targetClock;
        int pages;  // of the 4 KB image
    };
    // The ATmega328P at its crystal clock: pages that end in a poll on the adapter.
    for (const Case& c : {Case{"AT89S8253", Write89S8253, 0, 64}, Case{"ATmega328P", WriteATmega, 16, 32}}) {
        SCOPED_TRACE(c.chip);
        Start(c.chip);
        const auto image = Image(4096, 9);
        int steps = 0;
        progress.onStep = [&] {
            if (++steps == 10) sim_->Kill();
        };
        TProgParams p = Block(image, 0);
        p.TargetClock = c.targetClock;
        TRunReport report;
        p.Report = &report;
        EXPECT_EQ(c.write(p, progress), ProgNoDevice);
        EXPECT_TRUE(report.LinkLost);
        // The run ends at the loss, not after sending the remaining pages nowhere.
        EXPECT_LT(steps, c.pages);
        progress.onStep = nullptr;
    }
}

}  // namespace
}  // namespace kestrin::test
