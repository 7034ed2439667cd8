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
        r.session->Write(send, 4);
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

TEST(SerialSession, WritesShareFramesAndGoOutBeforeAnythingElse) {
    // Steps: 'w' n = Write of n bytes, 'd' = a pause, 't' n = a transfer of n
    // bytes, 'c' = the adapter's clock, 'D' = Drain. Expected: the commands on
    // the wire with their payload sizes.
    struct Step {
        char op;
        size_t n;
    };
    struct Case {
        const char* what;
        uint8_t maxData;
        std::vector<Step> steps;
        std::vector<std::pair<uint8_t, size_t>> frames;
    };
    constexpr uint8_t W = VP_CMD_SPI_WRITE, P = VP_CMD_DELAY, T = VP_CMD_SPI_TRANSFER, C = VP_CMD_CLOCK;
    const std::vector<Case> cases = {
        {"a page in small writes", 32, {{'w', 16}, {'w', 16}, {'w', 16}, {'w', 16}, {'w', 3}, {'d', 0}},
         {{W, 32}, {W, 32}, {W, 3}, {P, 4}}},
        {"instruction, pause, instruction", 32, {{'w', 3}, {'d', 0}, {'w', 3}, {'d', 0}}, {{W, 3}, {P, 4}, {W, 3}, {P, 4}}},
        {"a write before a transfer", 32, {{'w', 5}, {'t', 4}}, {{W, 5}, {T, 4}}},
        {"a write before the clock", 32, {{'w', 7}, {'c', 0}}, {{W, 7}, {C, 0}}},
        {"a long write at a small frame size", 16, {{'w', 40}, {'D', 0}}, {{W, 16}, {W, 16}, {W, 8}}},
        {"exactly full frames wait for nothing", 16, {{'w', 10}, {'w', 6}, {'w', 16}}, {{W, 16}, {W, 16}}},
        {"the rest goes out on drain", 32, {{'w', 33}, {'D', 0}}, {{W, 32}, {W, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig r = Connected([&](FakeAdapter& f) {
            f.maxData = c.maxData;
            f.lazy = true;
        });
        std::vector<uint8_t> written;
        uint8_t next = 0;
        for (const Step& s : c.steps) {
            std::vector<uint8_t> bytes(s.n);
            for (auto& b : bytes) b = next++;
            switch (s.op) {
            case 'w':
                r.session->Write(bytes.data(), bytes.size());
                written.insert(written.end(), bytes.begin(), bytes.end());
                break;
            case 'd': {
                const uint8_t pause[] = {0x94, 0x11, 0x00, 0x00};
                r.session->Post(VP_CMD_DELAY, pause, sizeof pause, 4500);
                break;
            }
            case 't': {
                std::vector<uint8_t> in(s.n);
                ASSERT_TRUE(r.session->Transfer(bytes.data(), in.data(), bytes.size()));
                break;
            }
            case 'c': {
                uint32_t t = 0;
                ASSERT_TRUE(r.session->AdapterClock(t));
                break;
            }
            case 'D': ASSERT_TRUE(r.session->Drain()); break;
            }
        }
        std::vector<std::pair<uint8_t, size_t>> frames;
        std::vector<uint8_t> arrived;
        for (size_t i = 1; i < r.fake->received.size(); ++i) {
            const auto& cmd = r.fake->received[i];
            frames.emplace_back(cmd.cmd, cmd.payload.size());
            if (cmd.cmd == W) arrived.insert(arrived.end(), cmd.payload.begin(), cmd.payload.end());
        }
        EXPECT_EQ(frames, c.frames);
        EXPECT_EQ(arrived, written);
        EXPECT_FALSE(r.session->Lost());
    }
}

TEST(SerialSession, QueuedTransfersStreamWithinTheBufferAndAreCollectedInOrder) {
    struct Case {
        const char* what;
        uint16_t capacity;
        size_t transfers;
    };
    // 60 transfers of 40 bytes: 120 frames; a 1024-byte buffer holds about 27.
    const std::vector<Case> cases = {{"all fit", 1024, 8}, {"credit runs out on the way", 1024, 60}, {"small buffer", 80, 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig r = Connected([&](FakeAdapter& f) {
            f.capacity = c.capacity;
            f.lazy = true;
        });
        std::vector<std::vector<uint8_t>> send(c.transfers), receive(c.transfers);
        for (size_t t = 0; t < c.transfers; ++t) {
            send[t].resize(40);
            std::iota(send[t].begin(), send[t].end(), static_cast<uint8_t>(t * 7));
            receive[t].assign(40, 0xEE);
            ASSERT_TRUE(r.session->Queue(send[t].data(), receive[t].data(), send[t].size()));
        }
        EXPECT_LE(r.fake->maxInFlight, c.capacity);
        EXPECT_EQ(r.session->Counters().transferWaits, 0u);
        ASSERT_TRUE(r.session->Collect());
        EXPECT_EQ(r.session->Counters().transferWaits, 1u);
        for (size_t t = 0; t < c.transfers; ++t)
            for (size_t i = 0; i < 40; ++i) ASSERT_EQ(receive[t][i], static_cast<uint8_t>(~send[t][i])) << t << " " << i;
    }
}

TEST(SerialSession, WritesBetweenQueuedTransfersKeepTheirPlaceInTheStream) {
    Rig r = Connected();
    const std::vector<uint8_t> header{0x30, 0x01, 0x00};
    const std::vector<uint8_t> zeros(64, 0x00);
    std::vector<uint8_t> a(64), b(64);
    r.session->Write(header.data(), header.size());
    ASSERT_TRUE(r.session->Queue(zeros.data(), a.data(), zeros.size()));
    r.session->Write(header.data(), header.size());
    ASSERT_TRUE(r.session->Queue(zeros.data(), b.data(), zeros.size()));
    ASSERT_TRUE(r.session->Collect());
    std::vector<uint8_t> stream;
    for (const auto& cmd : r.fake->received)
        if (cmd.cmd == VP_CMD_SPI_WRITE || cmd.cmd == VP_CMD_SPI_TRANSFER)
            stream.insert(stream.end(), cmd.payload.begin(), cmd.payload.end());
    std::vector<uint8_t> expected = header;
    expected.insert(expected.end(), zeros.begin(), zeros.end());
    expected.insert(expected.end(), header.begin(), header.end());
    expected.insert(expected.end(), zeros.begin(), zeros.end());
    EXPECT_EQ(stream, expected);
    EXPECT_EQ(a, std::vector<uint8_t>(64, 0xFF));
    EXPECT_EQ(b, std::vector<uint8_t>(64, 0xFF));
}

TEST(SerialSession, ALinkLostWhileTransfersAreQueuedFailsTheCollect) {
    Rig r = Connected([](FakeAdapter& f) { f.garbleAnswer = 3; });
    std::vector<uint8_t> send(100, 0x12), receive(100);
    ASSERT_TRUE(r.session->Queue(send.data(), receive.data(), send.size()));
    EXPECT_FALSE(r.session->Collect());
    EXPECT_TRUE(r.session->Lost());
    EXPECT_FALSE(r.session->Queue(send.data(), receive.data(), send.size()));
}

TEST(SerialSession, TheLinkMovesToTheFastestRateBothEndsCarry) {
    struct Case {
        const char* what;
        std::function<void(FakeAdapter&)> setup;
        uint32_t maxBaud;
        uint32_t expected;
        std::vector<uint32_t> hostRates;  // what the driver set on its port after connecting at 500000
    };
    auto firmware12 = [](FakeAdapter& f) {
        f.firmware = 0x12;
        f.reportsFeatures = true;
        f.features = VP_FEATURE_LINK_RATE;
        f.knowsLinkRate = true;
    };
    const std::vector<Case> cases = {
        {"both ends do 2 Mbaud", firmware12, 2000000, 2000000, {2000000}},
        {"the converter stops at 1 Mbaud", [&](FakeAdapter& f) { firmware12(f); f.converterMaxBaud = 1000000; },
         2000000, 1000000, {2000000, 500000, 1000000}},
        {"the converter stops at 500 kbaud", [&](FakeAdapter& f) { firmware12(f); f.converterMaxBaud = 500000; },
         2000000, 500000, {2000000, 500000, 1000000, 500000}},
        {"the host caps the rate", firmware12, 1000000, 1000000, {1000000}},
        {"the host wants the start rate", firmware12, 500000, 500000, {}},
        {"firmware 1.1 offers nothing", [](FakeAdapter& f) { f.firmware = 0x11; }, 2000000, 500000, {}},
        {"an offer the firmware then refuses", [&](FakeAdapter& f) { firmware12(f); f.knowsLinkRate = false; },
         2000000, 500000, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig r = MakeRig(c.setup);
        AdapterInfo info;
        ASSERT_EQ(r.session->Identify(info), Session::Hello::Ok);
        EXPECT_EQ(info.baud, VP_BAUD);
        EXPECT_EQ(r.session->NegotiateRate(c.maxBaud, info), c.expected);
        EXPECT_EQ(info.baud, c.expected);
        EXPECT_EQ(r.fake->hostRates, c.hostRates);
        EXPECT_EQ(r.fake->adapterBaud, c.expected);
        ASSERT_FALSE(r.session->Lost()) << r.session->LostReason();

        // The link carries transfers at the agreed rate.
        const std::vector<uint8_t> send = {1, 2, 3, 0x80};
        std::vector<uint8_t> got(send.size());
        ASSERT_TRUE(r.session->Transfer(send.data(), got.data(), send.size()));
        EXPECT_EQ(got, (std::vector<uint8_t>{0xFE, 0xFD, 0xFC, 0x7F}));
    }
}

TEST(SerialSession, AnAdapterLeftAtAFastRateIsFoundAndSentBackWhenTheLinkCloses) {
    Rig r = MakeRig([](FakeAdapter& f) {
        f.firmware = 0x12;
        f.reportsFeatures = true;
        f.features = VP_FEATURE_LINK_RATE;
        f.knowsLinkRate = true;
        f.adapterBaud = 1000000;  // an earlier program ended without closing the link
    });
    AdapterInfo info;
    ASSERT_EQ(r.session->Identify(info), Session::Hello::Ok);
    EXPECT_EQ(info.baud, 1000000u);
    EXPECT_EQ(r.session->NegotiateRate(2000000, info), 2000000u);

    r.session->ReturnToStartRate();
    ASSERT_FALSE(r.session->Lost());
    EXPECT_EQ(r.fake->adapterBaud, VP_BAUD);
    EXPECT_EQ(r.fake->hostBaud, VP_BAUD);
    EXPECT_EQ(r.session->Baud(), VP_BAUD);
}

TEST(SerialSession, ReadsOfOneRepeatedByteTravelAsAValueAndACount) {
    struct Case {
        const char* what;
        bool offered;                   // the adapter offers SPI_READ
        std::vector<uint8_t> header;    // written just before the read
        std::vector<uint8_t> send;
        std::vector<std::vector<uint8_t>> frames;  // command and payload of each frame the adapter gets
    };
    const std::vector<uint8_t> zeros40(40, 0x00);
    std::vector<uint8_t> mixed(40, 0x00);
    mixed[35] = 0x07;
    std::vector<uint8_t> mixedFirst(mixed.begin(), mixed.begin() + 32);
    std::vector<uint8_t> mixedRest(mixed.begin() + 32, mixed.end());
    auto with = [](uint8_t cmd, std::vector<uint8_t> payload) {
        payload.insert(payload.begin(), cmd);
        return payload;
    };
    const std::vector<Case> cases = {
        {"zeros, offered", true, {}, zeros40, {{VP_CMD_SPI_READ, 0x00, 40}}},
        {"a page read: header and zeros in one frame", true, {0x30, 0x01, 0x40}, std::vector<uint8_t>(64, 0x00),
         {{VP_CMD_SPI_READ, 0x00, 64, 0x30, 0x01, 0x40}}},
        {"longer than one read", true, {}, std::vector<uint8_t>(100, 0xFF),
         {{VP_CMD_SPI_READ, 0xFF, 64}, {VP_CMD_SPI_READ, 0xFF, 36}}},
        {"another byte in it", true, {}, mixed,
         {with(VP_CMD_SPI_TRANSFER, mixedFirst), with(VP_CMD_SPI_TRANSFER, mixedRest)}},
        {"firmware 1.1", false, {0x30, 0x01, 0x40}, zeros40,
         {{VP_CMD_SPI_WRITE, 0x30, 0x01, 0x40}, with(VP_CMD_SPI_TRANSFER, std::vector<uint8_t>(32, 0)),
          with(VP_CMD_SPI_TRANSFER, std::vector<uint8_t>(8, 0))}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig r = MakeRig([&](FakeAdapter& f) {
            f.reportsFeatures = c.offered;
            f.features = c.offered ? VP_FEATURE_SPI_READ : 0;
        });
        AdapterInfo info;
        ASSERT_EQ(r.session->Identify(info), Session::Hello::Ok);
        const size_t before = r.fake->received.size();
        r.session->Write(c.header.data(), c.header.size());
        std::vector<uint8_t> got(c.send.size(), 0x55);
        ASSERT_TRUE(r.session->Queue(c.send.data(), got.data(), c.send.size()));
        ASSERT_TRUE(r.session->Collect());
        std::vector<std::vector<uint8_t>> frames;
        for (size_t i = before; i < r.fake->received.size(); ++i)
            frames.push_back(with(r.fake->received[i].cmd, r.fake->received[i].payload));
        EXPECT_EQ(frames, c.frames);
        // Each byte read lands in its place.
        std::vector<uint8_t> expected;
        for (uint8_t b : c.send) expected.push_back(static_cast<uint8_t>(~b));
        EXPECT_EQ(got, expected);
    }
}

namespace {

// A poll goes to the adapter as one frame, after the writes held back before
// it, when the adapter offers it; otherwise the session runs the same loop,
// a transfer per poll with the pauses between.
TEST(SerialSession, APollIsOneFrameForAnAdapterThatOffersItAndALoopOtherwise) {
    using Frames = std::vector<std::pair<uint8_t, std::vector<uint8_t>>>;
    const std::vector<uint8_t> load = {0x40, 0x00, 0x01, 0x7E};
    const std::vector<uint8_t> poll = {0xF0, 0x00, 0x00, 0x00};
    const std::vector<uint8_t> pause500 = {0xF4, 0x01, 0x00, 0x00};
    struct Case {
        const char* what;
        bool offered;
        uint8_t mask, value;
        Frames after;  // the frames after the load
    };
    // The fake target answers each byte inverted: the poll's last byte reads FF.
    const std::vector<Case> cases = {
        {"offered", true, 0x01, 0x00,
         // mask, value, index, step 500 (F4 01), limit 1500 (DC 05 00 00), the poll's bytes
         {{VP_CMD_POLL, {0x01, 0x00, 0x03, 0xF4, 0x01, 0xDC, 0x05, 0x00, 0x00, 0xF0, 0x00, 0x00, 0x00}}}},
        {"firmware 1.3, ready at once", false, 0x01, 0x01, {{VP_CMD_SPI_TRANSFER, poll}}},
        {"firmware 1.3, never ready: four polls, three pauses", false, 0x01, 0x00,
         {{VP_CMD_SPI_TRANSFER, poll},
          {VP_CMD_DELAY, pause500},
          {VP_CMD_SPI_TRANSFER, poll},
          {VP_CMD_DELAY, pause500},
          {VP_CMD_SPI_TRANSFER, poll},
          {VP_CMD_DELAY, pause500},
          {VP_CMD_SPI_TRANSFER, poll}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig r = MakeRig([&](FakeAdapter& f) {
            f.reportsFeatures = true;
            f.features = static_cast<uint8_t>(VP_FEATURE_SPI_READ | (c.offered ? VP_FEATURE_POLL : 0));
        });
        AdapterInfo info;
        ASSERT_EQ(r.session->Identify(info), Session::Hello::Ok);
        EXPECT_EQ(r.session->PollsOnAdapter(), c.offered);
        const size_t before = r.fake->received.size();
        r.session->Write(load.data(), load.size());
        EXPECT_TRUE(r.session->Poll(poll.data(), poll.size(), 3, c.mask, c.value, 500, 1500));
        // Arguments outside the frame's limits are never sent.
        EXPECT_FALSE(r.session->Poll(poll.data(), 0, 0, 0x01, 0x00, 500, 1500));
        EXPECT_FALSE(r.session->Poll(poll.data(), poll.size(), 4, 0x01, 0x00, 500, 1500));
        ASSERT_TRUE(r.session->Drain());
        Frames frames;
        for (size_t i = before; i < r.fake->received.size(); ++i)
            frames.emplace_back(r.fake->received[i].cmd, r.fake->received[i].payload);
        Frames expected = {{VP_CMD_SPI_WRITE, load}};
        expected.insert(expected.end(), c.after.begin(), c.after.end());
        EXPECT_EQ(frames, expected);
        EXPECT_FALSE(r.session->Lost());
    }
}

// Sixteenths go to an adapter that knows them; an older one gets whole
// half-microsecond units, rounded up so the clock is never faster than asked.
TEST(SerialSession, FineClocksAreRoundedUpForAnOlderAdapter) {
    struct Case {
        int32_t cycle;
        bool offered;
        std::pair<uint8_t, std::vector<uint8_t>> frame;
    };
    const std::vector<Case> cases = {
        {0, true, {VP_CMD_SET_CLOCK, {0}}},         {2, true, {VP_CMD_SET_CLOCK, {2}}},
        {260, true, {VP_CMD_SET_FINE_CLOCK, {4}}},  {260, false, {VP_CMD_SET_CLOCK, {1}}},
        {265, false, {VP_CMD_SET_CLOCK, {2}}},      {264, false, {VP_CMD_SET_CLOCK, {1}}},
        {300, true, {VP_CMD_SET_FINE_CLOCK, {44}}}, {600, true, {VP_CMD_SET_CLOCK, {255}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cycle << (c.offered ? " offered" : " firmware 1.3"));
        Rig r = MakeRig([&](FakeAdapter& f) {
            f.reportsFeatures = true;
            f.features = c.offered ? VP_FEATURE_FINE_CLOCK : 0;
        });
        AdapterInfo info;
        ASSERT_EQ(r.session->Identify(info), Session::Hello::Ok);
        const size_t before = r.fake->received.size();
        r.session->SetClock(c.cycle);
        ASSERT_TRUE(r.session->Drain());
        ASSERT_EQ(r.fake->received.size(), before + 1);
        EXPECT_EQ(std::make_pair(r.fake->received[before].cmd, r.fake->received[before].payload), c.frame);
    }
}

}  // namespace
