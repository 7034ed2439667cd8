#include "devices/ReadPipeline.h"

#include <algorithm>

#include "devices/ProgRun.h"
#include "link/SPI.h"

namespace kestrin {

TReadPipeline::TReadPipeline() : queued_(Extensions.Pipelined()) {}

void TReadPipeline::Send(const uint8_t* bytes, size_t count) {
    SendBytes(bytes, count);
    pending_ += count;
}

void TReadPipeline::Exchange(const uint8_t* send, uint8_t* receive, size_t count) {
    if (!queued_) {
        ExchangeBytes(send, receive, count);
        return;
    }
    for (size_t done = 0; done < count;) {
        const size_t n = std::min<size_t>(VELTRO_QUEUE_MAX, count - done);
        if (!Delivered(Extensions.SPIWRQueue(send + done, receive + done, static_cast<int32_t>(n)))) ok_ = false;
        done += n;
    }
    pending_ += count;
}

void TReadPipeline::Collect() {
    if (queued_ && !Delivered(Extensions.SPIWRCollect())) ok_ = false;
    pending_ = 0;
}

}  // namespace kestrin
