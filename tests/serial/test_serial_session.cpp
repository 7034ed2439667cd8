#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <vector>

#include "FakeAdapter.h"
#include "Session.h"

using namespace kestrin::serial;
using kestrin::serial::test::FakeAdapter;

namespace {

constexpr SessionTiming kFast{/*replyTimeoutMs=*/60, /*identifyAttemptMs=*/30, /*identifyBudgetMs=*/300};

struct Rig {
    FakeAdapter* fake;
    std::unique_ptr<Session> session;
};

Rig MakeRig(const std::function<void(FakeAdapter&)>& setup = {}) {
    auto link = std::make_unique<FakeAdapter>();
    FakeAdapter* fake = link.get();
    if (setup) setup(*fake);
    return {fake, std::make_unique<Session>(std::move(link), kFast)};
}

Rig Connected(const std::function<void(FakeAdapter&)>& setup = {}) {
    Rig r = MakeRig(setup);
    AdapterInfo info;
    EXPECT_EQ(r.session->Identify(info), Session::Hello::Ok);
    return r;
}

}  // namespace

TEST(SerialSession, IdentifyTellsAdapterOldFirmwareAndSilence) {
    struct Case {
        const char* what;
        std::function<void(FakeAdapter&)> setup;
        Session::Hello expected;
        uint8_t firmware;
    };
    const std::vector<Case> cases = {
        {"answers", {}, Session::Hello::Ok, 0x10},
        {"restarts first, with boot noise", [](FakeAdapter& f) {
             f.silentIdentifies = 2;
             f.bootNoise = {0x14, 0x10, 0x00, 0xA5};
         }, Session::Hello::Ok, 0x10},
        {"other protocol version", [](FakeAdapter& f) { f.protocol = 2; f.firmware = 0x30; }, Session::Hello::Unsupported, 0x30},
        {"not a Veltro", [](FakeAdapter& f) { f.magic = 'X'; }, Session::Hello::Unsupported, 0x10},
        {"buffer too small for a frame", [](FakeAdapter& f) { f.capacity = 8; }, Session::Hello::Unsupported, 0x10},
        {"silent", [](FakeAdapter& f) { f.silentIdentifies = 1000; }, Session::Hello::NoAnswer, 0},
        {"port gone", [](FakeAdapter& f) { f.gone = true; }, Session::Hello::NoAnswer, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig r = MakeRig(c.setup);
        AdapterInfo info;
        EXPECT_EQ(r.session->Identify(info), c.expected);
        EXPECT_EQ(info.firmware, c.firmware);
    }
}

TEST(SerialSession, CommandsGoOutWithoutWaitingForAnswers) {
    Rig r = Connected([](FakeAdapter& f) { f.lazy = true; });
    const int readsAfterHello = r.fake->reads;
    const uint8_t page[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (int i = 0; i < 20; ++i) {
        r.session->Post(VP_CMD_SPI_WRITE, page, sizeof page);
        const uint8_t pause[] = {0x94, 0x11, 0x00, 0x00};
        r.session->Post(VP_CMD_DELAY, pause, sizeof pause, 4500);
    }
    EXPECT_EQ(r.fake->reads, readsAfterHello) << "a write or a pause waited for the adapter";
    ASSERT_EQ(r.fake->received.size(), 41u);
    for (size_t i = 1; i < r.fake->received.size(); ++i) {
        EXPECT_EQ(r.fake->received[i].cmd, (i % 2) ? VP_CMD_SPI_WRITE : VP_CMD_DELAY);
        EXPECT_EQ(r.fake->received[i].seq, static_cast<uint8_t>(r.fake->received[i - 1].seq + 1));
    }
    EXPECT_FALSE(r.session->Lost());
    EXPECT_TRUE(r.session->Drain());
    EXPECT_EQ(r.session->Counters().creditWaits, 0u);
}

TEST(SerialSession, NeverSendsMoreThanTheAdapterCanHold) {
    Rig r = Connected([](FakeAdapter& f) {
        f.lazy = true;
        f.capacity = 100;
        f.maxData = 16;
    });
    std::vector<uint8_t> data(16 * 40);
    std::iota(data.begin(), data.end(), uint8_t{0});
    for (size_t at = 0; at < data.size(); at += 16) r.session->Post(VP_CMD_SPI_WRITE, data.data() + at, 16);
    EXPECT_TRUE(r.session->Drain());
    EXPECT_LE(r.fake->maxInFlight, 100u);
    EXPECT_GT(r.session->Counters().creditWaits, 0u);
    std::vector<uint8_t> arrived;
    for (const auto& c : r.fake->received)
        if (c.cmd == VP_CMD_SPI_WRITE) arrived.insert(arrived.end(), c.payload.begin(), c.payload.end());
    EXPECT_EQ(arrived, data);
}

TEST(SerialSession, TransferReturnsTheTargetBytesInOrder) {
    for (uint8_t maxData : {uint8_t{32}, uint8_t{16}, uint8_t{5}}) {
        SCOPED_TRACE(static_cast<int>(maxData));
        Rig r = Connected([&](FakeAdapter& f) {
            f.maxData = maxData;
            f.lazy = true;
        });
        std::vector<uint8_t> send(40), receive(40, 0xEE);
        std::iota(send.begin(), send.end(), uint8_t{0x30});
        ASSERT_TRUE(r.session->Transfer(send.data(), receive.data(), send.size()));
        for (size_t i = 0; i < send.size(); ++i) EXPECT_EQ(receive[i], static_cast<uint8_t>(~send[i])) << i;
        EXPECT_EQ(r.session->Counters().transferWaits, 1u);
        size_t frames = 0;
        for (const auto& c : r.fake->received) {
            if (c.cmd != VP_CMD_SPI_TRANSFER) continue;
            EXPECT_LE(c.payload.size(), maxData);
            ++frames;
        }
        EXPECT_EQ(frames, (send.size() + maxData - 1) / maxData);
    }
}

TEST(SerialSession, AFailedLinkEndsAllTrafficAtOnce) {
    struct Case {
        const char* what;
        std::function<void(FakeAdapter&)> fault;
    };
    // Command index 0 is the identify request, 1 the first command after it.
    const std::vector<Case> cases = {
        {"adapter stops answering", [](FakeAdapter& f) { f.answerAfterIdentify = false; }},
        {"garbled answer", [](FakeAdapter& f) { f.garbleAnswer = 1; }},
        {"error status", [](FakeAdapter& f) { f.failAnswer = 1; }},
        {"answer out of order", [](FakeAdapter& f) { f.misnumberAnswer = 1; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig r = Connected(c.fault);
        const uint8_t send[4] = {0xAC, 0x53, 0x00, 0x00};
        uint8_t receive[4] = {};
        EXPECT_FALSE(r.session->Transfer(send, receive, 4));
        EXPECT_TRUE(r.session->Lost());
        EXPECT_FALSE(r.session->LostReason().empty());
        const int writes = r.fake->writes, reads = r.fake->reads;
        r.session->Post(VP_CMD_SPI_WRITE, send, 4);
        EXPECT_FALSE(r.session->Transfer(send, receive, 4));
        EXPECT_FALSE(r.session->Drain());
        uint32_t t = 0;
        EXPECT_FALSE(r.session->AdapterClock(t));
        EXPECT_EQ(r.fake->writes, writes);
        EXPECT_EQ(r.fake->reads, reads);
    }
}

TEST(SerialSession, AVanishedPortIsALostAdapter) {
    Rig r = Connected();
    r.fake->gone = true;
    const uint8_t send[3] = {0x01, 0x00, 0x00};
    uint8_t receive[3];
    EXPECT_FALSE(r.session->Transfer(send, receive, 3));
    EXPECT_TRUE(r.session->Lost());
}

TEST(SerialSession, AdapterClockWaitsForQueuedWork) {
    Rig r = Connected([](FakeAdapter& f) { f.lazy = true; });
    const uint8_t pause[] = {0x10, 0x27, 0x00, 0x00};
    r.session->Post(VP_CMD_DELAY, pause, sizeof pause, 10000);
    uint32_t t = 0;
    ASSERT_TRUE(r.session->AdapterClock(t));
    EXPECT_EQ(t, 123456u);
    EXPECT_EQ(r.fake->inFlight, 0u);
}
