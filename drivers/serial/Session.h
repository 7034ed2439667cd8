// One connection to the adapter over a byte link: numbered command frames,
// sent without waiting for their answers as long as the adapter's receive
// buffer has room for them; only operations that need data back wait.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "AvrRuns.h"
#include "Link.h"
#include "Protocol.h"

namespace kestrin::serial {

struct SessionTiming {
    // Longest wait for an answer beyond the pauses queued before it.
    int replyTimeoutMs = 2000;
    // Connect: one identify attempt, and all attempts together (boards that
    // restart when the port opens need about a second).
    int identifyAttemptMs = 250;
    int identifyBudgetMs = 4000;
    // How long an adapter that just switched its link rate may take to answer
    // at the new one before the switch counts as failed.
    int rateProbeMs = 80;
};

struct AdapterInfo {
    uint8_t firmware = 0;
    uint8_t protocol = 0;
    uint16_t receiveBuffer = 0;
    uint8_t maxData = 0;
    uint8_t features = 0;     // VP_FEATURE_* flags; 0 before firmware 1.2
    uint32_t baud = VP_BAUD;  // the link rate in use
};

struct LinkCounters {
    uint64_t frames = 0;
    uint64_t bytesOut = 0;
    uint64_t bytesIn = 0;
    uint64_t transferWaits = 0;  // waits for data from the target
    uint64_t creditWaits = 0;    // waits for room in the adapter's receive buffer
    uint64_t drainWaits = 0;     // waits for everything sent to be done
};

class Session {
public:
    explicit Session(std::unique_ptr<ILink> link, SessionTiming timing = {});
    // Sends what is still held back; does not wait for the answers.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    enum class Hello { Ok, NoAnswer, Unsupported };
    // Asks the adapter who it is, retrying while a board restarts.
    Hello Identify(AdapterInfo& info);

    // Moves the link to the fastest rate up to maxBaud that both ends can
    // use, when the adapter offers it; an adapter that does not, or a rate
    // that does not answer, leaves the link at the start rate. Call right
    // after Identify. Returns the rate in use (info.baud).
    uint32_t NegotiateRate(uint32_t maxBaud, AdapterInfo& info);
    // Waits for everything sent, then moves adapter and link back to the
    // start rate, so that the next connection finds the adapter there.
    void ReturnToStartRate();
    uint32_t Baud() const { return baud_; }

    // Queues a command; waits only when the adapter's buffer is full.
    // pauseUs: how long the adapter will be busy with it beyond the transfer.
    void Post(uint8_t cmd, const uint8_t* payload, size_t n, uint32_t pauseUs = 0);
    // Clocks n bytes out on the target. Consecutive writes share SPI_WRITE
    // frames of up to MaxData() bytes; a partly filled frame goes out before
    // any other command and before any wait for the adapter, so the byte
    // stream and its order on the target lines stay the same.
    void Write(const uint8_t* data, size_t n);
    // Clocks n bytes through the target and stores the bytes that came back.
    bool Transfer(const uint8_t* send, uint8_t* receive, size_t n);
    // Like Transfer, but returns once the frames are sent: the answers land
    // in receive as they are read, at the latest by the next Collect (or
    // Transfer, Drain). receive must stay valid until then.
    bool Queue(const uint8_t* send, uint8_t* receive, size_t n);
    // Waits for the answers of everything queued.
    bool Collect();
    // Whether the adapter polls a busy chip itself (POLL).
    bool PollsOnAdapter() const { return (features_ & VP_FEATURE_POLL) != 0; }
    // Repeats send (1..VP_POLL_MAX_BYTES bytes) until (answer[index] & mask)
    // == value, pausing step us after each other answer until the pauses
    // reach limit us. An adapter that offers POLL runs the loop itself and
    // this returns once the frame is sent; with an older one the loop runs
    // from here, a transfer per poll. False when the arguments do not fit or
    // the link failed.
    bool Poll(const uint8_t* send, size_t n, uint8_t index, uint8_t mask, uint8_t value, uint16_t step,
              uint32_t limit);
    // Sets the SCK clock from a driver cycle value: SET_CLOCK for 0..255,
    // SET_FINE_CLOCK for sixteenths above VELTRO_CYCLE_FINE where the adapter
    // offers it, else SET_CLOCK with the whole units rounded up.
    void SetClock(int32_t cycle);
    // Waits until the adapter has carried out everything sent so far.
    bool Drain();
    // Waits like Drain, then reads the adapter's microsecond clock.
    bool AdapterClock(uint32_t& micros);

    // True after a failure: the link is no longer trusted and every operation returns at once.
    bool Lost() const { return lost_; }
    const std::string& LostReason() const { return lostReason_; }
    const LinkCounters& Counters() const { return counters_; }
    void ResetCounters() { counters_ = {}; }
    size_t MaxData() const { return maxData_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        uint8_t seq;
        size_t bytes;
        uint32_t pauseUs;
        uint8_t* dest;  // transfer answers land here
        size_t destLen;
        uint32_t* clock;  // clock answers land here
        AvrRun avrRead;   // an AVR_READ: the run whose answers it brings
    };

    // One command and its answer outside the queue, at connect time: true
    // when the answer arrived within timeoutMs.
    bool Ask(uint8_t cmd, const uint8_t* payload, size_t n, int timeoutMs, Reply& reply);
    bool TryRate(uint8_t code, uint32_t baud);
    // destLen: bytes the answer brings for dest; 0: as many as the payload has.
    bool Send(uint8_t cmd, const uint8_t* payload, size_t n, uint32_t pauseUs, uint8_t* dest, uint32_t* clock,
              size_t destLen = 0);
    // Send without first flushing the held-back writes.
    bool SendNow(uint8_t cmd, const uint8_t* payload, size_t n, uint32_t pauseUs, uint8_t* dest, uint32_t* clock,
                 size_t destLen, const AvrRun& avrRead = {});
    // Sends the bytes Write holds back, if any.
    bool Flush();
    // Sends held-back writes as frames; all false keeps back enough for a
    // whole AVR_LOAD run (the writes that follow may continue it).
    bool SendWrites(bool all);
    bool AvrFrames() const { return (features_ & VP_FEATURE_AVR) != 0; }
    bool AwaitOldest();
    bool AwaitAll();
    // Reads until one reply is complete or the deadline passes.
    enum class Got { Reply, TimedOut, Garbled, Gone };
    Got ReadReply(Reply& reply, Clock::time_point deadline);
    void Fail(const std::string& why);

    std::unique_ptr<ILink> link_;
    SessionTiming timing_;
    bool lost_ = false;
    std::string lostReason_;
    uint8_t nextSeq_ = 0;
    uint32_t baud_ = VP_BAUD;
    uint8_t features_ = 0;  // the adapter's VP_FEATURE_* flags
    size_t capacity_ = 0;
    size_t maxData_ = VP_MAX_DATA;
    size_t inFlight_ = 0;
    std::deque<Pending> pending_;
    ReplyParser parser_;
    std::vector<uint8_t> rx_;
    size_t rxPos_ = 0;
    std::vector<uint8_t> frame_;
    std::vector<uint8_t> writes_;  // SPI bytes waiting to fill a frame
    LinkCounters counters_;
};

}  // namespace kestrin::serial
