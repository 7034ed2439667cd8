#include "Session.h"

#include "veltro/veltro.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <thread>

namespace kestrin::serial {

namespace {

const char* StatusText(uint8_t status) {
    switch (status) {
    case VP_ERR_COMMAND: return "the adapter did not know a command";
    case VP_ERR_ARGUMENT: return "the adapter refused a command's arguments";
    case VP_ERR_CHECK: return "a command reached the adapter garbled";
    case VP_ERR_OVERRUN: return "the adapter lost received bytes";
    default: return "the adapter reported an error";
    }
}

}  // namespace

Session::Session(std::unique_ptr<ILink> link, SessionTiming timing) : link_(std::move(link)), timing_(timing) {
    rx_.reserve(512);
    writes_.reserve(VP_MAX_DATA);
}

Session::~Session() { Flush(); }

void Session::Fail(const std::string& why) {
    if (!lost_) std::fprintf(stderr, "Veltro: %s; no further commands are sent until the next connect.\n", why.c_str());
    lost_ = true;
    lostReason_ = why;
    pending_.clear();
    writes_.clear();
    inFlight_ = 0;
}

Session::Got Session::ReadReply(Reply& reply, Clock::time_point deadline) {
    for (;;) {
        if (rxPos_ < rx_.size()) {
            ReplyParser::Event ev;
            rxPos_ += parser_.Feed(rx_.data() + rxPos_, rx_.size() - rxPos_, ev, reply);
            if (rxPos_ == rx_.size()) {
                rx_.clear();
                rxPos_ = 0;
            }
            if (ev == ReplyParser::Event::Reply) return Got::Reply;
            if (ev == ReplyParser::Event::BadFrame) return Got::Garbled;
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return Got::TimedOut;
        uint8_t buf[512];
        const int n = link_->Read(buf, sizeof buf, static_cast<int>(std::min<long long>(left, 100)));
        if (n < 0) return Got::Gone;
        counters_.bytesIn += static_cast<uint64_t>(n);
        rx_.insert(rx_.end(), buf, buf + n);
    }
}

Session::Hello Session::Identify(AdapterInfo& info) {
    if (lost_) return Hello::NoAnswer;
    const auto end = Clock::now() + std::chrono::milliseconds(timing_.identifyBudgetMs);
    // An adapter left at a faster rate by a program that ended without
    // closing the link hears only that rate: every other attempt asks at one.
    static constexpr uint32_t kAttemptRates[] = {VP_BAUD, 2000000, VP_BAUD, 1000000};
    size_t attempt = 0;
    do {
        const uint32_t rate = kAttemptRates[attempt++ % std::size(kAttemptRates)];
        if (rate != baud_ && link_->SetRate(rate)) baud_ = rate;
        // Anything received so far is noise from before this attempt: a restarting
        // board's boot loader, or answers to an earlier program's commands.
        link_->DiscardInput();
        rx_.clear();
        rxPos_ = 0;
        parser_.Reset();
        const uint8_t seq = nextSeq_++;
        frame_.clear();
        EncodeFrame(seq, VP_CMD_IDENTIFY, nullptr, 0, frame_);
        if (!link_->Write(frame_.data(), frame_.size(), timing_.replyTimeoutMs)) return Hello::NoAnswer;
        counters_.frames++;
        counters_.bytesOut += frame_.size();
        const auto attemptEnd = std::min(end, Clock::now() + std::chrono::milliseconds(timing_.identifyAttemptMs));
        for (;;) {
            Reply r;
            const Got got = ReadReply(r, attemptEnd);
            if (got == Got::Gone) return Hello::NoAnswer;
            if (got == Got::TimedOut) break;
            // An identify answered with "lost received bytes" was carried out all
            // the same: the loss was the noise before it (a boot loader, an
            // attempt at another rate), which the adapter reports once.
            if (got != Got::Reply || r.seq != seq || (r.status != VP_OK && r.status != VP_ERR_OVERRUN)) continue;
            if (r.payload.size() < VP_IDENT_BYTES || r.payload[VP_IDENT_MAGIC0] != VP_MAGIC_0 ||
                r.payload[VP_IDENT_MAGIC1] != VP_MAGIC_1 || r.payload[VP_IDENT_PROTOCOL] != VP_PROTOCOL_VERSION) {
                info.firmware = r.payload.size() > VP_IDENT_FIRMWARE ? r.payload[VP_IDENT_FIRMWARE] : 0;
                return Hello::Unsupported;
            }
            info.firmware = r.payload[VP_IDENT_FIRMWARE];
            info.protocol = r.payload[VP_IDENT_PROTOCOL];
            info.receiveBuffer = static_cast<uint16_t>(r.payload[VP_IDENT_RXBUF_LO] | (r.payload[VP_IDENT_RXBUF_HI] << 8));
            info.maxData = r.payload[VP_IDENT_MAX_DATA];
            info.features = r.payload.size() > VP_IDENT_FEATURES ? r.payload[VP_IDENT_FEATURES] : 0;
            info.baud = baud_;
            features_ = info.features;
            capacity_ = info.receiveBuffer;
            maxData_ = std::clamp<size_t>(info.maxData, 1, VP_MAX_DATA);
            if (capacity_ < FrameSize(maxData_)) return Hello::Unsupported;
            return Hello::Ok;
        }
    } while (Clock::now() < end);
    return Hello::NoAnswer;
}

bool Session::Ask(uint8_t cmd, const uint8_t* payload, size_t n, int timeoutMs, Reply& reply) {
    if (lost_) return false;
    const uint8_t seq = nextSeq_++;
    frame_.clear();
    EncodeFrame(seq, cmd, payload, n, frame_);
    if (!link_->Write(frame_.data(), frame_.size(), timing_.replyTimeoutMs)) return false;
    counters_.frames++;
    counters_.bytesOut += frame_.size();
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        switch (ReadReply(reply, end)) {
        case Got::Reply:
            if (reply.seq == seq) return true;
            break;
        case Got::Garbled: break;  // noise from a rate change: keep listening
        case Got::TimedOut:
        case Got::Gone: return false;
        }
    }
}

bool Session::TryRate(uint8_t code, uint32_t baud) {
    Reply r;
    const bool asked = Ask(VP_CMD_SET_LINK_RATE, &code, 1, timing_.identifyAttemptMs, r);
    // Refused: the adapter stays where it is. (An answer that reports earlier
    // lost bytes is no refusal: the switch was carried out.)
    if (asked && r.status != VP_OK && r.status != VP_ERR_OVERRUN) return false;
    const auto switched = Clock::now();
    // The adapter switches within 100 us of its answer; nothing may reach it
    // at the new rate before.
    if (asked) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (asked && link_->SetRate(baud)) {
        baud_ = baud;
        link_->DiscardInput();
        rx_.clear();
        rxPos_ = 0;
        parser_.Reset();
        Reply hello;
        if (Ask(VP_CMD_IDENTIFY, nullptr, 0, timing_.rateProbeMs, hello) && hello.status == VP_OK) return true;
    }
    // The new rate does not carry (or the answer to the request got lost):
    // back to the start rate, where the adapter returns once its trial ends.
    if (link_->SetRate(VP_BAUD)) baud_ = VP_BAUD;
    std::this_thread::sleep_until(switched + std::chrono::milliseconds(VP_LINK_PROBATION_MS + 60));
    AdapterInfo again;
    if (Identify(again) != Hello::Ok) Fail("the adapter did not answer again after trying a faster link rate");
    return false;
}

uint32_t Session::NegotiateRate(uint32_t maxBaud, AdapterInfo& info) {
    info.baud = baud_;
    if (lost_ || (info.features & VP_FEATURE_LINK_RATE) == 0) return info.baud;
    static constexpr struct {
        uint8_t code;
        uint32_t baud;
    } kRates[] = {{VP_RATE_2M, 2000000}, {VP_RATE_1M, 1000000}};
    for (const auto& rate : kRates) {
        if (rate.baud > maxBaud) continue;
        if (TryRate(rate.code, rate.baud)) break;
        if (lost_) break;
    }
    if (baud_ > maxBaud && !lost_) ReturnToStartRate();
    info.baud = baud_;
    return info.baud;
}

void Session::ReturnToStartRate() {
    if (lost_ || baud_ == VP_BAUD) return;
    const uint8_t code = VP_RATE_500K;
    // The answer comes at the fast rate; the adapter switches after it.
    if (!Send(VP_CMD_SET_LINK_RATE, &code, 1, 0, nullptr, nullptr) || !AwaitAll()) return;
    if (link_->SetRate(VP_BAUD)) baud_ = VP_BAUD;
}

bool Session::AwaitOldest() {
    if (pending_.empty()) return true;
    const Pending p = pending_.front();
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(timing_.replyTimeoutMs) + std::chrono::microseconds(p.pauseUs);
    Reply r;
    switch (ReadReply(r, deadline)) {
    case Got::Reply: break;
    case Got::TimedOut: Fail("the adapter stopped answering"); return false;
    case Got::Garbled: Fail("an answer from the adapter arrived garbled"); return false;
    case Got::Gone: Fail("the adapter's port went away"); return false;
    }
    if (r.seq != p.seq) {
        Fail("the adapter answered out of order");
        return false;
    }
    if (r.status != VP_OK) {
        Fail(StatusText(r.status));
        return false;
    }
    if (p.avrRead.count != 0) {
        if (!AvrReadAnswers(p.avrRead, r.payload.data(), r.payload.size(), p.dest)) {
            Fail("the adapter answered with the wrong number of bytes");
            return false;
        }
    } else if (p.dest != nullptr) {
        if (r.payload.size() != p.destLen) {
            Fail("the adapter answered with the wrong number of bytes");
            return false;
        }
        std::memcpy(p.dest, r.payload.data(), p.destLen);
    }
    if (p.clock != nullptr) {
        if (r.payload.size() != 4) {
            Fail("the adapter answered with the wrong number of bytes");
            return false;
        }
        *p.clock = GetU32(r.payload.data());
    }
    pending_.pop_front();
    inFlight_ -= p.bytes;
    return true;
}

bool Session::AwaitAll() {
    while (!pending_.empty())
        if (!AwaitOldest()) return false;
    return true;
}

bool Session::Flush() { return writes_.empty() ? !lost_ : SendWrites(true); }

namespace {
// Page loads one AVR_LOAD carries: its payload after opcode and address.
constexpr size_t kAvrLoadMax = VP_MAX_DATA - 3;
}  // namespace

bool Session::SendWrites(bool all) {
    // Moved out first: every frame sent below would flush them again.
    std::vector<uint8_t> bytes;
    bytes.swap(writes_);
    const size_t hold = all ? 0 : 4 * kAvrLoadMax + maxData_;
    size_t pos = 0;
    bool sent = true;
    while (sent && pos < bytes.size() && bytes.size() - pos > hold) {
        const uint8_t* p = bytes.data() + pos;
        const size_t left = bytes.size() - pos;
        const AvrRun run = AvrFrames() ? FindAvrLoadRun(p, left, kAvrLoadMax) : AvrRun{};
        if (run.count != 0) {
            uint8_t load[VP_MAX_DATA] = {run.op, static_cast<uint8_t>(run.address >> 8),
                                         static_cast<uint8_t>(run.address & 0xFF)};
            for (size_t k = 0; k < run.count; ++k) load[3 + k] = p[4 * k + 3];
            sent = SendNow(VP_CMD_AVR_LOAD, load, 3 + run.count, 0, nullptr, nullptr, 0);
            pos += 4 * run.count;
            continue;
        }
        const size_t limit = std::min(maxData_, left);
        const size_t k = AvrFrames() ? NextAvrRun(p, left, limit, true) : limit;
        sent = SendNow(VP_CMD_SPI_WRITE, p, k, 0, nullptr, nullptr, 0);
        pos += k;
    }
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(pos, bytes.size())));
    if (!lost_) writes_.swap(bytes);  // what is held back, in the reserved room
    return sent && !lost_;
}

void Session::Write(const uint8_t* data, size_t n) {
    if (lost_) return;
    if (AvrFrames()) {
        // Held back until a whole AVR_LOAD run could be among them.
        writes_.insert(writes_.end(), data, data + n);
        if (writes_.size() >= 2 * (4 * kAvrLoadMax + maxData_)) SendWrites(false);
        return;
    }
    while (n > 0 && !lost_) {
        const size_t k = std::min(maxData_ - writes_.size(), n);
        writes_.insert(writes_.end(), data, data + k);
        data += k;
        n -= k;
        if (writes_.size() >= maxData_) Flush();
    }
}

bool Session::Send(uint8_t cmd, const uint8_t* payload, size_t n, uint32_t pauseUs, uint8_t* dest, uint32_t* clock,
                   size_t destLen) {
    if (lost_ || !Flush()) return false;
    return SendNow(cmd, payload, n, pauseUs, dest, clock, destLen);
}

bool Session::SendNow(uint8_t cmd, const uint8_t* payload, size_t n, uint32_t pauseUs, uint8_t* dest, uint32_t* clock,
                      size_t destLen, const AvrRun& avrRead) {
    if (lost_) return false;
    const size_t size = FrameSize(n);
    if (inFlight_ + size > capacity_) {
        counters_.creditWaits++;
        while (inFlight_ + size > capacity_)
            if (!AwaitOldest()) return false;
    }
    const uint8_t seq = nextSeq_++;
    frame_.clear();
    EncodeFrame(seq, cmd, payload, n, frame_);
    if (!link_->Write(frame_.data(), frame_.size(), timing_.replyTimeoutMs)) {
        Fail("the adapter's port does not take data");
        return false;
    }
    counters_.frames++;
    counters_.bytesOut += frame_.size();
    pending_.push_back({seq, size, pauseUs, dest, dest == nullptr ? 0 : destLen != 0 ? destLen : n, clock, avrRead});
    inFlight_ += size;
    return true;
}

void Session::Post(uint8_t cmd, const uint8_t* payload, size_t n, uint32_t pauseUs) {
    Send(cmd, payload, n, pauseUs, nullptr, nullptr);
}

bool Session::Queue(const uint8_t* send, uint8_t* receive, size_t n) {
    if (lost_) return false;
    // Frames go out back to back; Send reads answers only when the adapter's
    // buffer has no room for the next one.
    for (size_t done = 0; done < n;) {
        const uint8_t* chunk = send + done;
        if (AvrFrames()) {
            // A run of AVR reads: the adapter clocks the instructions out itself.
            const AvrRun run = FindAvrReadRun(chunk, n - done, VP_AVR_READ_MAX);
            if (run.count != 0) {
                const uint8_t read[] = {run.op, static_cast<uint8_t>(run.address >> 8),
                                        static_cast<uint8_t>(run.address & 0xFF), run.fill,
                                        static_cast<uint8_t>(run.count)};
                if (!Flush() || !SendNow(VP_CMD_AVR_READ, read, sizeof read, 0, receive + done, nullptr,
                                         4 * run.count, run))
                    return false;
                done += 4 * run.count;
                continue;
            }
        }
        if ((features_ & VP_FEATURE_SPI_READ) != 0) {
            const size_t k = std::min<size_t>(VP_MAX_READ, n - done);
            if (std::all_of(chunk, chunk + k, [&](uint8_t b) { return b == chunk[0]; })) {
                // The same byte throughout: the adapter needs only its value and
                // the count, and takes the held-back writes (a page read's
                // header) in the same frame, ahead of the read.
                std::vector<uint8_t> read = {chunk[0], static_cast<uint8_t>(k)};
                if (read.size() + writes_.size() <= maxData_) {
                    read.insert(read.end(), writes_.begin(), writes_.end());
                    writes_.clear();
                }
                if (!Send(VP_CMD_SPI_READ, read.data(), read.size(), 0, receive + done, nullptr, k)) return false;
                done += k;
                continue;
            }
        }
        // Up to the next run of AVR reads, if one starts within the frame.
        const size_t limit = std::min(maxData_, n - done);
        const size_t k = AvrFrames() ? NextAvrRun(chunk, n - done, limit, false) : limit;
        if (!Send(VP_CMD_SPI_TRANSFER, chunk, k, 0, receive + done, nullptr)) return false;
        done += k;
    }
    return true;
}

bool Session::Poll(const uint8_t* send, size_t n, uint8_t index, uint8_t mask, uint8_t value, uint16_t step,
                   uint32_t limit) {
    if (lost_ || n == 0 || n > VP_POLL_MAX_BYTES || index >= n) return false;
    if (!PollsOnAdapter()) {
        uint8_t answer[VP_POLL_MAX_BYTES];
        std::vector<uint8_t> pause;
        PutU32(pause, step);
        for (uint64_t waited = 0;; waited += step) {
            if (!Transfer(send, answer, n)) return false;
            if ((answer[index] & mask) == value || waited >= limit) return true;
            Post(VP_CMD_DELAY, pause.data(), pause.size(), step);
        }
    }
    std::vector<uint8_t> payload = {mask, value, index, static_cast<uint8_t>(step & 0xFF), static_cast<uint8_t>(step >> 8)};
    PutU32(payload, limit);
    payload.insert(payload.end(), send, send + n);
    // Busy for the pauses and, at most, one poll more than they allow.
    return Send(VP_CMD_POLL, payload.data(), payload.size(), limit + step, nullptr, nullptr);
}

void Session::SetClock(int32_t cycle) {
    if (const int32_t fine = VeltroCycleSixteenths(cycle)) {
        const auto sixteenths = static_cast<uint8_t>(fine);
        if ((features_ & VP_FEATURE_FINE_CLOCK) != 0) {
            Post(VP_CMD_SET_FINE_CLOCK, &sixteenths, 1);
            return;
        }
        // An older firmware: the next whole 0.5 us units up, never faster.
        const auto units = static_cast<uint8_t>((sixteenths + 7) / 8);
        Post(VP_CMD_SET_CLOCK, &units, 1);
        return;
    }
    const auto units = static_cast<uint8_t>(std::clamp<int32_t>(cycle, 0, 255));
    Post(VP_CMD_SET_CLOCK, &units, 1);
}

bool Session::Collect() {
    if (lost_ || !Flush()) return false;
    counters_.transferWaits++;
    return AwaitAll();
}

bool Session::Transfer(const uint8_t* send, uint8_t* receive, size_t n) { return Queue(send, receive, n) && Collect(); }

bool Session::Drain() {
    if (lost_ || !Flush()) return false;
    if (pending_.empty()) return true;
    counters_.drainWaits++;
    return AwaitAll();
}

bool Session::AdapterClock(uint32_t& micros) {
    if (!Send(VP_CMD_CLOCK, nullptr, 0, 0, nullptr, &micros)) return false;
    counters_.drainWaits++;
    return AwaitAll();
}

}  // namespace kestrin::serial
