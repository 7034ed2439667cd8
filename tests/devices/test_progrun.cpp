#include <gtest/gtest.h>

#include <vector>

#include "DeviceTest.h"
#include "devices/ProgRun.h"
#include "devices/Unit89S8253.h"

namespace kestrin::test {
namespace {

TEST(ProgRunTexts, ElapsedTimeHasOneDecimalAndAFixedComma) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0.0, "0,0s"}, {0.04, "0,0s"}, {0.06, "0,1s"}, {12.34, "12,3s"}, {9.96, "10,0s"}, {61.0, "61,0s"},
        {3725.5, "3725,5s"}, {-2.0, "0,0s"},
    };
    for (const auto& c : cases) EXPECT_EQ(ElapsedText(c.seconds), c.text) << c.seconds;
}

TEST(ProgRunTexts, ResultTexts) {
    EXPECT_STREQ(ProgResultText(ProgOk), "Ok");
    EXPECT_STREQ(ProgResultText(ProgNoData), "file is empty");
    EXPECT_STREQ(ProgResultText(ProgVerifyFailed), "failed");
    EXPECT_STREQ(ProgResultText(ProgNoDevice), "no device");
    EXPECT_STREQ(ProgResultText(ProgStopped), "stopped");
    EXPECT_STREQ(ProgResultText(5), "failed");
    EXPECT_STREQ(ProgResultText(-1), "failed");
}

using TransportTest = RecordingRunTest;

TEST_F(TransportTest, StreamsAreCutIntoCallsOfAtMost16Bytes) {
    for (size_t size : {0, 1, 15, 16, 17, 35, 67, 258}) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
        driver.ClearLog();
        SendBytes(bytes.data(), bytes.size());
        EXPECT_EQ(Log(), CallLines("SPIW", bytes)) << size;

        driver.ClearLog();
        std::vector<uint8_t> received(size, 0xEE);
        ExchangeBytes(bytes.data(), received.data(), received.size());
        EXPECT_EQ(Log(), CallLines("SPIWR", bytes)) << size;
        EXPECT_EQ(received, std::vector<uint8_t>(size, 0x00)) << size;  // what the driver clocked in
    }
}

TEST_F(TransportTest, NegativeWaitsDoNotPause) {
    Pause(-1);
    Pause(4500);
    EXPECT_EQ(Log(), (std::vector<std::string>{"Delay 0", "Delay 4500"}));
}

using HandshakeTest = RecordingRunTest;

TEST_F(HandshakeTest, RetriesWithAResetPulseAfterEveryFailure) {
    const struct {
        const char* family;
        bool (*enter)();
        FakeTarget::Kind kind;
        int settle, gap;
    } families[] = {
        {"AT89S8253", EnterProgMode89S8253,
         FakeTarget::Kind::AT89S8253, 50000, 50000},
        {"AT89S52", EnterProgMode89S52,
         FakeTarget::Kind::AT89S52, 50000, 50000},
        {"ATtiny", EnterProgModeATtiny, FakeTarget::Kind::AT89S8253, 20000, 1000},
        {"ATmega", EnterProgModeATmega, FakeTarget::Kind::AT89S8253, 20000, 1000},
    };
    for (const auto& f : families) {
        for (int answerAt : {1, 3, 32, 0}) {  // 0: never
            SCOPED_TRACE(std::string(f.family) + " answers at " + std::to_string(answerAt));
            driver.Reset();
            FakeTarget target(f.kind);
            target.Answers = [answerAt](int n) { return n == answerAt; };
            target.Install(driver);
            const bool answered = f.enter();
            EXPECT_EQ(answered, answerAt != 0);
            EXPECT_EQ(Log(), HandshakeLines(answerAt != 0 ? answerAt : kHandshakeAttempts, answered, f.settle, f.gap));
        }
    }
}

TEST_F(HandshakeTest, AT89S52NeedsItsSignatureByte) {
    FakeTarget target(FakeTarget::Kind::AT89S52);
    target.EchoWithoutSignature = true;
    target.Install(driver);
    EXPECT_FALSE(EnterProgMode89S52());
    EXPECT_EQ(target.Enables, kHandshakeAttempts);
    // The same answer is enough for the AT89S8253.
    driver.ClearLog();
    EXPECT_TRUE(EnterProgMode89S8253());
}

}  // namespace
}  // namespace kestrin::test
