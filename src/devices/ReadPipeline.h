// Reading over a slow link: when the driver can queue transfers, the read
// instructions of many units of work (pages, chunks) go out back to back and
// their answers are collected together, so the link's round trip is paid once
// per batch instead of once per transfer. Without that driver extension every
// unit is sent and finished before the next one, with the same SPIW and SPIWR
// calls as a plain loop over SendBytes and ExchangeBytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrin {

class TReadPipeline {
public:
    // Stream bytes queued before the answers are collected: large enough to
    // keep the adapter busy across a link round trip, small enough for the
    // gauge to move several times a second.
    static constexpr size_t kBatchBytes = 2048;

    // Takes the mode from the bound driver.
    TReadPipeline();

    // True when the transfers are queued rather than awaited one by one.
    bool Queued() const { return queued_; }

    // Bytes of the stream for which nothing is read back (SendBytes).
    void Send(const uint8_t* bytes, size_t count);
    // Bytes whose answers are stored in receive; with queued transfers they
    // are there only when the unit's finish runs, and receive must stay
    // untouched until then.
    void Exchange(const uint8_t* send, uint8_t* receive, size_t count);

    // Runs units 0..count-1 in order: issue(u) sends the instructions of unit
    // u through Send and Exchange, finish(u) uses its answers (and moves the
    // gauge). Without queued transfers finish(u) follows issue(u) at once.
    // Returns false when the driver reported a lost adapter.
    template <typename Issue, typename Finish>
    bool Run(int32_t count, Issue&& issue, Finish&& finish) {
        int32_t finished = 0;
        for (int32_t u = 0; u < count; ++u) {
            issue(u);
            if (!queued_ || pending_ >= kBatchBytes || u + 1 == count) {
                Collect();
                for (; finished <= u; ++finished) finish(finished);
            }
        }
        return ok_;
    }

private:
    void Collect();

    bool queued_ = false;
    bool ok_ = true;
    size_t pending_ = 0;
};

}  // namespace kestrin
