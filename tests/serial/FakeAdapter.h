// An adapter at the other end of a byte link, for driver tests: decodes the
// driver's command frames and answers them the way the firmware does, with
// switches for the faults a real link can show.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <thread>
#include <vector>

#include "Link.h"
#include "Protocol.h"

namespace kestrin::serial::test {

struct Command {
    uint8_t seq;
    uint8_t cmd;
    std::vector<uint8_t> payload;
};

class FakeAdapter final : public ILink {
public:
    // What the adapter reports about itself.
    uint16_t capacity = 1024;
    uint8_t maxData = 32;
    uint8_t firmware = 0x10;
    uint8_t protocol = VP_PROTOCOL_VERSION;
    uint8_t magic = VP_MAGIC_1;
    bool reportsFeatures = false;  // firmware 1.2: the identify answer ends with a feature byte
    uint8_t features = 0;
    bool knowsLinkRate = false;    // answers SET_LINK_RATE; otherwise "unknown command"

    // The line: bytes cross only while both ends use the same rate, and not
    // above what the converter carries.
    uint32_t adapterBaud = VP_BAUD;
    uint32_t hostBaud = VP_BAUD;
    uint32_t converterMaxBaud = 2000000;
    int lostBytes = 0;
    bool lostBytesTold_ = false;  // like the firmware: the next answer reports bytes lost on the line
    std::vector<uint32_t> hostRates;  // every rate the driver set

    // Behaviour.
    int silentIdentifies = 0;          // this many identify requests go unanswered (a board restarting)
    bool answerAfterIdentify = true;   // false: the adapter dies after saying hello
    bool lazy = false;                 // answers one queued command per read, like a busy adapter
    std::vector<uint8_t> bootNoise;    // sent before the first answer
    bool gone = false;                 // reads report a vanished port
    int garbleAnswer = -1;             // corrupt the check byte of the answer to this command index
    int failAnswer = -1;               // answer this command index with an error status
    int misnumberAnswer = -1;          // answer this command index with a wrong sequence number
    std::function<uint8_t(uint8_t)> target = [](uint8_t b) { return static_cast<uint8_t>(~b); };

    // What happened.
    std::vector<Command> received;
    size_t inFlight = 0;
    size_t maxInFlight = 0;
    int reads = 0;
    int writes = 0;

    bool Write(const uint8_t* data, size_t n, int) override {
        ++writes;
        EndProbation();
        if (!LineCarries()) {
            lostBytes += static_cast<int>(n);
            lostBytesTold_ = true;
            return true;
        }
        for (size_t i = 0; i < n; ++i) Take(data[i]);
        return true;
    }

    bool SetRate(uint32_t baud) override {
        hostRates.push_back(baud);
        hostBaud = baud;
        return true;
    }

    int Read(uint8_t* out, size_t max, int timeoutMs) override {
        ++reads;
        if (gone) return -1;
        EndProbation();
        if (lazy && !queued_.empty()) {
            Answer(queued_.front());
            queued_.pop_front();
        }
        if (out_.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 2)));
            return 0;
        }
        size_t k = 0;
        while (k < max && !out_.empty()) {
            out[k++] = out_.front();
            out_.pop_front();
        }
        return static_cast<int>(k);
    }

    void DiscardInput() override { out_.clear(); }

private:
    void Take(uint8_t b) {
        frame_.push_back(b);
        if (frame_[0] != VP_SOF_HOST) {
            frame_.clear();
            return;
        }
        if (frame_.size() < 2 || frame_.size() < static_cast<size_t>(frame_[1]) + 3) return;
        Command c{frame_[2], frame_[3], std::vector<uint8_t>(frame_.begin() + 4, frame_.end() - 1)};
        const size_t size = frame_.size();
        frame_.clear();
        inFlight += size;
        maxInFlight = std::max(maxInFlight, inFlight);
        received.push_back(c);
        const int index = static_cast<int>(received.size()) - 1;
        if (c.cmd == VP_CMD_IDENTIFY) {
            sizes_.push_back(size);
            if (silentIdentifies > 0) {
                --silentIdentifies;
                inFlight -= size;
                sizes_.pop_back();
                return;
            }
            Answer({index, c});
            return;
        }
        sizes_.push_back(size);
        if (!answerAfterIdentify) return;
        if (lazy)
            queued_.push_back({index, c});
        else
            Answer({index, c});
    }

    struct Job {
        int index;
        Command c;
    };

    void Answer(const Job& job) {
        inFlight -= sizes_.front();
        sizes_.pop_front();
        if (!bootNoise.empty()) {
            out_.insert(out_.end(), bootNoise.begin(), bootNoise.end());
            bootNoise.clear();
        }
        std::vector<uint8_t> payload;
        const Command& c = job.c;
        uint8_t status = job.index == failAnswer ? VP_ERR_CHECK : VP_OK;
        uint32_t switchTo = 0;
        if (c.cmd == VP_CMD_IDENTIFY) {
            payload = {VP_MAGIC_0, magic, firmware, protocol, static_cast<uint8_t>(capacity & 0xFF),
                       static_cast<uint8_t>(capacity >> 8), maxData};
            if (reportsFeatures) payload.push_back(features);
        } else if (c.cmd == VP_CMD_SET_LINK_RATE) {
            if (!knowsLinkRate)
                status = VP_ERR_COMMAND;
            else
                switchTo = c.payload.at(0) == VP_RATE_2M ? 2000000 : c.payload.at(0) == VP_RATE_1M ? 1000000 : VP_BAUD;
        }
        else if (c.cmd == VP_CMD_SPI_TRANSFER)
            for (uint8_t b : c.payload) payload.push_back(target(b));
        else if (c.cmd == VP_CMD_SPI_READ && (features & VP_FEATURE_SPI_READ) != 0)
            for (int i = 0; i < c.payload.at(1); ++i) payload.push_back(target(c.payload.at(0)));
        else if (c.cmd == VP_CMD_SPI_READ)
            status = VP_ERR_COMMAND;
        else if (c.cmd == VP_CMD_CLOCK)
            PutU32(payload, 123456);
        if (status == VP_OK && lostBytesTold_) status = VP_ERR_OVERRUN;
        lostBytesTold_ = false;
        const uint8_t seq = job.index == misnumberAnswer ? static_cast<uint8_t>(c.seq + 1) : c.seq;
        std::vector<uint8_t> frame;
        EncodeFrame(seq, status, payload.data(), payload.size(), frame);
        frame[0] = VP_SOF_ADAPTER;
        if (job.index == garbleAnswer) frame.back() ^= 0x01;
        if (LineCarries())
            out_.insert(out_.end(), frame.begin(), frame.end());
        else
            lostBytes += static_cast<int>(frame.size());
        if (switchTo != 0) {
            adapterBaud = switchTo;
            probation_ = switchTo != VP_BAUD;
            switched_ = std::chrono::steady_clock::now();
        } else if (probation_) {
            probation_ = false;  // a good frame arrived at the new rate
        }
    }

    bool LineCarries() const { return hostBaud == adapterBaud && hostBaud <= converterMaxBaud; }

    // Like the firmware: a new rate that hears no good frame falls back.
    void EndProbation() {
        if (probation_ &&
            std::chrono::steady_clock::now() - switched_ > std::chrono::milliseconds(VP_LINK_PROBATION_MS)) {
            probation_ = false;
            adapterBaud = VP_BAUD;
        }
    }

    bool probation_ = false;
    std::chrono::steady_clock::time_point switched_;

    std::vector<uint8_t> frame_;
    std::deque<size_t> sizes_;
    std::deque<Job> queued_;
    std::deque<uint8_t> out_;
};

}  // namespace kestrin::serial::test
