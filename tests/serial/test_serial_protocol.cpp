#include <gtest/gtest.h>

#include <vector>

#include "Protocol.h"

using namespace kestrin::serial;

namespace {

// Frames as the adapter firmware sends and accepts them; fixed, because boards
// in the field run the firmware they were flashed with.
const std::vector<uint8_t> kIdentifyRequest = {0xA5, 0x02, 0x00, 0x01, 0xFA};
const std::vector<uint8_t> kIdentifyReply = {0x5A, 0x09, 0x00, 0x00, 0x56, 0x4C, 0x10, 0x01, 0x00, 0x04, 0x20, 0x5B};
const std::vector<uint8_t> kTransferReply = {0x5A, 0x06, 0x06, 0x00, 0xCF, 0xCE, 0xCD, 0xCC, 0xC9};

std::vector<Reply> FeedAll(ReplyParser& p, const std::vector<uint8_t>& bytes, size_t step, int& bad) {
    std::vector<Reply> out;
    bad = 0;
    for (size_t at = 0; at < bytes.size();) {
        const size_t n = std::min(step, bytes.size() - at);
        size_t used = 0;
        while (used < n) {
            ReplyParser::Event ev;
            Reply r;
            used += p.Feed(bytes.data() + at + used, n - used, ev, r);
            if (ev == ReplyParser::Event::Reply) out.push_back(r);
            if (ev == ReplyParser::Event::BadFrame) ++bad;
        }
        at += n;
    }
    return out;
}

}  // namespace

TEST(SerialProtocol, EncodesCommandFrames) {
    std::vector<uint8_t> out;
    EncodeFrame(0x00, VP_CMD_IDENTIFY, nullptr, 0, out);
    EXPECT_EQ(out, kIdentifyRequest);

    out.clear();
    const uint8_t delay[] = {0x50, 0xC3, 0x00, 0x00};  // 50000 us
    EncodeFrame(0x08, VP_CMD_DELAY, delay, sizeof delay, out);
    ASSERT_EQ(out.size(), FrameSize(4));
    EXPECT_EQ(out, (std::vector<uint8_t>{0xA5, 0x06, 0x08, 0x12, 0x50, 0xC3, 0x00, 0x00, 0xFD}));
    // One flipped bit in the sequence number, command or payload changes the check byte.
    for (size_t i = 2; i + 1 < out.size(); ++i) {
        std::vector<uint8_t> again;
        std::vector<uint8_t> body(out.begin() + 4, out.end() - 1);
        uint8_t seq = out[2], cmd = out[3];
        if (i == 2) seq ^= 0x10;
        if (i == 3) cmd ^= 0x10;
        if (i >= 4) body[i - 4] ^= 0x10;
        EncodeFrame(seq, cmd, body.data(), body.size(), again);
        EXPECT_NE(again.back(), out.back()) << "byte " << i;
    }
}

TEST(SerialProtocol, DecodesRepliesWhateverTheChunking) {
    std::vector<uint8_t> stream = {0x00, 0xFF, 0x14, 0x10};  // boot loader noise
    stream.insert(stream.end(), kIdentifyReply.begin(), kIdentifyReply.end());
    stream.insert(stream.end(), kTransferReply.begin(), kTransferReply.end());
    for (size_t step : {size_t{1}, size_t{3}, size_t{7}, stream.size()}) {
        SCOPED_TRACE(step);
        ReplyParser p;
        int bad = 0;
        const auto replies = FeedAll(p, stream, step, bad);
        EXPECT_EQ(bad, 0);
        ASSERT_EQ(replies.size(), 2u);
        EXPECT_EQ(replies[0].seq, 0x00);
        EXPECT_EQ(replies[0].status, VP_OK);
        EXPECT_EQ(replies[0].payload, (std::vector<uint8_t>{'V', 'L', 0x10, 0x01, 0x00, 0x04, 0x20}));
        EXPECT_EQ(replies[1].seq, 0x06);
        EXPECT_EQ(replies[1].payload, (std::vector<uint8_t>{0xCF, 0xCE, 0xCD, 0xCC}));
    }
}

TEST(SerialProtocol, ReportsDamagedFramesAndRecovers) {
    struct Case {
        const char* what;
        std::vector<uint8_t> damaged;
    };
    std::vector<uint8_t> wrongCheck = kTransferReply;
    wrongCheck.back() ^= 0x40;
    std::vector<uint8_t> flippedData = kTransferReply;
    flippedData[5] ^= 0x01;
    const std::vector<Case> cases = {
        {"wrong check byte", wrongCheck},
        {"flipped data bit", flippedData},
        {"length below the header", {0x5A, 0x01}},
        {"length above the largest reply", {0x5A, VP_MAX_REPLY_LEN + 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> stream = c.damaged;
        stream.insert(stream.end(), kIdentifyReply.begin(), kIdentifyReply.end());
        ReplyParser p;
        int bad = 0;
        const auto replies = FeedAll(p, stream, 1, bad);
        EXPECT_EQ(bad, 1);
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(replies[0].payload.size(), size_t{VP_IDENT_BYTES});
    }
}
