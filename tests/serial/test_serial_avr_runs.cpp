// Runs of AVR instructions the driver hands to the adapter as AVR_LOAD and
// AVR_READ frames: which streams count as one, and how the answers come back.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "AvrRuns.h"
#include "FakeAdapter.h"
#include "Session.h"

namespace kestrin::serial {
namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& out, uint8_t a, uint8_t b, uint8_t c, uint8_t d) { out.insert(out.end(), {a, b, c, d}); }

// Flash page loads as the AVR routines send them: low byte, high byte, next word.
Bytes FlashLoads(uint16_t word, size_t count) {
    Bytes out;
    for (size_t i = 0; i < count; ++i) {
        const uint16_t w = static_cast<uint16_t>(word + i / 2);
        Put(out, (i & 1) ? 0x48 : 0x40, static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w), static_cast<uint8_t>(0xA0 + i));
    }
    return out;
}

Bytes Reads(uint8_t op, uint16_t address, size_t count, bool paired) {
    Bytes out;
    for (size_t i = 0; i < count; ++i) {
        const uint16_t a = static_cast<uint16_t>(address + (paired ? i / 2 : i));
        const uint8_t o = paired ? static_cast<uint8_t>((i & 1) ? op | 0x08 : op) : op;
        Put(out, o, static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a), 0x00);
    }
    return out;
}

TEST(AvrRuns, FindsRunsThatStepThroughMemoryAndNothingElse) {
    struct Case {
        const char* what;
        Bytes bytes;
        bool load;
        size_t max;
        size_t count;  // 0: no run
    };
    Bytes gap = Reads(0x20, 0x0100, 8, true);
    gap[4 * 5 + 2] ^= 0x01;  // the sixth read skips an address
    Bytes wrongData = Reads(0xA0, 0x0010, 8, false);
    wrongData[4 * 6 + 3] = 0x01;
    Bytes eepromLoads;
    for (uint8_t i = 0; i < 4; ++i) Put(eepromLoads, 0xC1, 0x00, i, static_cast<uint8_t>(0x10 * i));
    Bytes highFirst = Reads(0x28, 0x0200, 1, false);
    const Bytes rest = Reads(0x20, 0x0201, 6, true);
    highFirst.insert(highFirst.end(), rest.begin(), rest.end());
    const std::vector<Case> cases = {
        {"Flash page loads", FlashLoads(0x0000, 64), true, 29, 29},
        {"Flash loads up to the end", FlashLoads(0x0010, 10), true, 29, 10},
        {"E²PROM page loads", eepromLoads, true, 29, 4},
        {"Flash reads", Reads(0x20, 0x3FF0, 40, true), false, 16, 16},
        {"a high byte first", highFirst, false, 16, 7},
        {"E²PROM reads", Reads(0xA0, 0x03FC, 6, false), false, 16, 6},
        {"the word address carries into the high byte", Reads(0xA0, 0x00FE, 5, false), false, 16, 5},
        {"an address skipped", gap, false, 16, 5},
        {"another byte sent in the data position", wrongData, false, 16, 6},
        {"too short to gain", Reads(0x20, 0x0000, 3, true), false, 16, 0},
        {"reads are no loads", Reads(0x20, 0x0000, 8, true), true, 29, 0},
        {"loads are no reads", FlashLoads(0x0000, 8), false, 16, 0},
        {"programming enable", Bytes{0xAC, 0x53, 0x00, 0x00, 0xAC, 0x53, 0x00, 0x00}, false, 16, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const AvrRun run = c.load ? FindAvrLoadRun(c.bytes.data(), c.bytes.size(), c.max)
                                  : FindAvrReadRun(c.bytes.data(), c.bytes.size(), c.max);
        EXPECT_EQ(run.count, c.count);
        if (run.count != 0) {
            EXPECT_EQ(run.op, c.bytes[0]);
            EXPECT_EQ(run.address, (c.bytes[1] << 8) | c.bytes[2]);
        }
    }
    // A run that starts after other bytes is found where it starts.
    Bytes mixed = {0x4D, 0x00, 0x01, 0x00, 0x30};
    const Bytes reads = Reads(0x20, 0x0000, 4, true);
    mixed.insert(mixed.end(), reads.begin(), reads.end());
    EXPECT_EQ(NextAvrRun(mixed.data(), mixed.size(), 32, false), 5u);
    EXPECT_EQ(NextAvrRun(mixed.data(), mixed.size(), 4, false), 4u);
    EXPECT_EQ(NextAvrRun(mixed.data(), mixed.size(), 32, true), mixed.size());
}

TEST(AvrRuns, ReadAnswersAreRebuiltFromEveryReplyForm) {
    const Bytes sent = Reads(0x20, 0x0123, 4, true);
    const AvrRun run = FindAvrReadRun(sent.data(), sent.size(), 16);
    ASSERT_EQ(run.count, 4u);
    const Bytes data = {0x11, 0x22, 0x33, 0x44};
    // What a chip that echoes the byte before answers, after 0x5C on the line.
    Bytes echoed(sent.size());
    echoed[0] = 0x5C;
    for (size_t i = 1; i < sent.size(); ++i) echoed[i] = (i % 4 == 3) ? data[i / 4] : sent[i - 1];
    Bytes full = {VP_AVR_FULL};
    for (size_t i = 0; i < 16; ++i) full.push_back(static_cast<uint8_t>(0x80 + i));
    struct Case {
        const char* what;
        Bytes payload;
        bool ok;
        Bytes answers;
    };
    const std::vector<Case> cases = {
        {"everything", full, true, Bytes(full.begin() + 1, full.end())},
        {"one value besides the data", {VP_AVR_SAME, 0x00, 0x11, 0x22, 0x33, 0x44}, true,
         {0, 0, 0, 0x11, 0, 0, 0, 0x22, 0, 0, 0, 0x33, 0, 0, 0, 0x44}},
        {"the echo of what was sent", {VP_AVR_ECHO, 0x5C, 0x11, 0x22, 0x33, 0x44}, true, echoed},
        {"a data byte missing", {VP_AVR_SAME, 0x00, 0x11, 0x22, 0x33}, false, {}},
        {"everything, one byte short", Bytes(full.begin(), full.end() - 1), false, {}},
        {"an unknown form", {0x07, 0x00, 0x11, 0x22, 0x33, 0x44}, false, {}},
        {"nothing", {}, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes got(16, 0xEE);
        EXPECT_EQ(AvrReadAnswers(run, c.payload.data(), c.payload.size(), got.data()), c.ok);
        if (c.ok) {
            EXPECT_EQ(got, c.answers);
        }
    }
}

// An adapter that does not offer the AVR frames gets the frames it always
// got; one that does gets the runs compact, with everything else around them
// in the order the driver was given it.
TEST(AvrRuns, OnlyAnAdapterThatOffersThemGetsAvrFrames) {
    Bytes page = {0x4D, 0x00, 0x00, 0x00};
    const Bytes loads = FlashLoads(0x0000, 32);
    page.insert(page.end(), loads.begin(), loads.end());
    Put(page, 0x4C, 0x00, 0x00, 0x00);
    for (const bool offered : {false, true}) {
        SCOPED_TRACE(offered ? "offered" : "firmware 1.2");
        auto fake = std::make_unique<test::FakeAdapter>();
        fake->reportsFeatures = true;
        fake->features = static_cast<uint8_t>(VP_FEATURE_SPI_READ | (offered ? VP_FEATURE_AVR : 0));
        test::FakeAdapter* f = fake.get();
        Session session(std::move(fake));
        AdapterInfo info;
        ASSERT_EQ(session.Identify(info), Session::Hello::Ok);
        const size_t before = f->received.size();
        // In the pieces of at most 16 bytes the routines hand to the driver.
        for (size_t at = 0; at < page.size(); at += 16)
            session.Write(page.data() + at, std::min<size_t>(16, page.size() - at));
        ASSERT_TRUE(session.Drain());
        std::vector<std::pair<uint8_t, Bytes>> frames;
        for (size_t i = before; i < f->received.size(); ++i) frames.emplace_back(f->received[i].cmd, f->received[i].payload);
        std::vector<std::pair<uint8_t, Bytes>> expected;
        if (!offered) {
            for (size_t at = 0; at < page.size(); at += 32)
                expected.emplace_back(VP_CMD_SPI_WRITE, Bytes(page.begin() + static_cast<long>(at),
                                                             page.begin() + static_cast<long>(std::min<size_t>(at + 32, page.size()))));
        } else {
            auto load = [&](size_t first, size_t count) {
                Bytes p = {static_cast<uint8_t>(first & 1 ? 0x48 : 0x40), 0x00, static_cast<uint8_t>(first / 2)};
                for (size_t i = first; i < first + count; ++i) p.push_back(static_cast<uint8_t>(0xA0 + i));
                return p;
            };
            // The three loads left over are too few to gain from a frame of their own.
            expected = {{VP_CMD_SPI_WRITE, Bytes(page.begin(), page.begin() + 4)},
                        {VP_CMD_AVR_LOAD, load(0, 29)},
                        {VP_CMD_SPI_WRITE, Bytes(page.end() - 16, page.end())}};
        }
        EXPECT_EQ(frames, expected);
    }
}

}  // namespace
}  // namespace kestrin::serial
