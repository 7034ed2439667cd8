#include "Protocol.h"

namespace kestrin::serial {

void EncodeFrame(uint8_t seq, uint8_t cmd, const uint8_t* payload, size_t n, std::vector<uint8_t>& out) {
    const uint8_t len = static_cast<uint8_t>(VP_HEADER_BYTES + n);
    out.push_back(VP_SOF_HOST);
    uint8_t crc = VP_CRC_INIT;
    auto put = [&](uint8_t b) {
        crc = vp_crc8_update(crc, b);
        out.push_back(b);
    };
    put(len);
    put(seq);
    put(cmd);
    for (size_t i = 0; i < n; ++i) put(payload[i]);
    out.push_back(crc);
}

void ReplyParser::Reset() {
    state_ = State::Marker;
    body_.clear();
}

size_t ReplyParser::Feed(const uint8_t* data, size_t n, Event& event, Reply& reply) {
    event = Event::None;
    size_t i = 0;
    while (i < n) {
        const uint8_t b = data[i++];
        switch (state_) {
        case State::Marker:
            if (b == VP_SOF_ADAPTER) state_ = State::Length;
            break;
        case State::Length:
            if (b < VP_HEADER_BYTES || b > VP_MAX_REPLY_LEN) {
                state_ = State::Marker;
                event = Event::BadFrame;
                return i;
            }
            length_ = b;
            crc_ = vp_crc8_update(VP_CRC_INIT, b);
            body_.clear();
            state_ = State::Body;
            break;
        case State::Body:
            body_.push_back(b);
            crc_ = vp_crc8_update(crc_, b);
            if (body_.size() == length_) state_ = State::Check;
            break;
        case State::Check:
            state_ = State::Marker;
            if (b != crc_) {
                event = Event::BadFrame;
                return i;
            }
            reply.seq = body_[0];
            reply.status = body_[1];
            reply.payload.assign(body_.begin() + VP_HEADER_BYTES, body_.end());
            event = Event::Reply;
            return i;
        }
    }
    return i;
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace kestrin::serial
