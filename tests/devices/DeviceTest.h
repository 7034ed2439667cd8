// Shared set-up of the programming-routine tests: the recording driver bound
// as the adapter driver, a progress recorder, and helpers to build the call
// lines a run is expected to produce.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "FakeTarget.h"
#include "ProgressRecorder.h"
#include "devices/ProgRun.h"
#include "support/RecordingDriver.h"

namespace kestrin::test {

using TWrite = ProgResult (*)(const TProgParams&, IProgress&);
using TRead = ProgResult (*)(const TProgParams&, IProgress&, std::vector<uint8_t>&);

// A block a routine must refuse before it touches anything.
struct TRefusedBlock {
    const char* what;
    TWrite write;
    TRead read;  // nullptr: the routine has no read
    int32_t start, size;
    bool eeprom, noData;
};

class RecordingRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(driver.Bind());
        driver.Reset();
    }

    std::vector<std::string> Log() const { return driver.Lines(); }

    // Lines of the log that start with prefix.
    std::vector<std::string> LinesStarting(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& l : driver.Lines())
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }

    // The block of a run over image from start; wait times from params.
    TProgParams Block(const std::vector<uint8_t>& image, int32_t start, bool eeprom = false, bool verify = false) const {
        TProgParams p = params;
        p.Data = image.data();
        p.Size = static_cast<int32_t>(image.size());
        p.StartAddress = start;
        p.EEPROM = eeprom;
        p.Verify = verify;
        return p;
    }

    // Each block is refused with "no data" (the read hands back no buffer),
    // and nothing reaches the adapter or the gauge.
    void ExpectRefused(const std::vector<uint8_t>& image, const std::vector<TRefusedBlock>& blocks) {
        for (const auto& c : blocks) {
            SCOPED_TRACE(c.what);
            TProgParams p = Block(image, c.start, c.eeprom);
            p.Size = c.size;  // the routine must not read past the image for a refused size
            if (c.noData) p.Data = nullptr;
            EXPECT_EQ(c.write(p, progress), ProgNoData);
            if (c.read) {
                std::vector<uint8_t> data{1};
                EXPECT_EQ(c.read(p, progress, data), ProgNoData);
                EXPECT_TRUE(data.empty());
            }
        }
        EXPECT_TRUE(Log().empty());
        EXPECT_TRUE(progress.Calls.empty());
    }

    RecordingDriver driver;
    ProgressRecorder progress;
    TProgParams params;
};

// "SPIW AC 53 00"-style lines for bytes sent in calls of at most 16.
inline std::vector<std::string> CallLines(const std::string& call, const std::vector<uint8_t>& bytes) {
    std::vector<std::string> out;
    for (size_t i = 0; i < bytes.size(); i += 16) {
        std::string line = call;
        for (size_t j = i; j < bytes.size() && j < i + 16; ++j) {
            char b[4];
            std::snprintf(b, sizeof b, " %02X", bytes[j]);
            line += b;
        }
        out.push_back(line);
    }
    return out;
}

inline void Append(std::vector<std::string>& to, const std::vector<std::string>& lines) {
    to.insert(to.end(), lines.begin(), lines.end());
}

// The lines of a programming-enable handshake of `attempts` attempts, the last
// one answered or not.
inline std::vector<std::string> HandshakeLines(int attempts, bool answered, int settle, int gap) {
    std::vector<std::string> out{"SetEnables 1 1", "Delay " + std::to_string(settle)};
    for (int a = 1; a <= attempts; ++a) {
        out.push_back("SPIWR AC 53 00 00");
        if (a == attempts && answered) break;
        Append(out, {"SetEnables 0 1", "Delay " + std::to_string(gap), "SetEnables 1 1", "Delay " + std::to_string(settle)});
    }
    return out;
}

}  // namespace kestrin::test
