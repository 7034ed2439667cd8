// Frames of the Veltro serial protocol (adapter/PROTOCOL.md): encoding of the
// host's command frames and incremental decoding of the adapter's replies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "veltro_protocol.h"

namespace kestrin::serial {

// Appends one command frame to out. payload may be empty; at most VP_MAX_DATA bytes.
void EncodeFrame(uint8_t seq, uint8_t cmd, const uint8_t* payload, size_t n, std::vector<uint8_t>& out);

// Encoded size of a frame with n payload bytes.
constexpr size_t FrameSize(size_t n) { return VP_FRAME_OVERHEAD + n; }

struct Reply {
    uint8_t seq = 0;
    uint8_t status = 0;
    std::vector<uint8_t> payload;
};

// Collects adapter bytes into replies. Bytes before a frame marker are skipped;
// a frame whose check byte is wrong is reported and skipped.
class ReplyParser {
public:
    enum class Event { None, Reply, BadFrame };

    // Consumes bytes until a reply is complete (or all bytes are used).
    // Returns how many bytes it used and what it found.
    size_t Feed(const uint8_t* data, size_t n, Event& event, Reply& reply);
    // Forgets a partly received frame.
    void Reset();

private:
    enum class State { Marker, Length, Body, Check };
    State state_ = State::Marker;
    uint8_t length_ = 0;
    uint8_t crc_ = 0;
    std::vector<uint8_t> body_;
};

// Little-endian helpers for payload fields.
void PutU32(std::vector<uint8_t>& out, uint32_t v);
uint32_t GetU32(const uint8_t* p);

}  // namespace kestrin::serial
