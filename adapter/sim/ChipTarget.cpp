// A chip model from veltro_chips on the simulated target connector, driven at
// pin level on the simulator's clock.
//
// Memory commands (space: flash, eeprom, fuses, lock, signature; numbers in
// decimal or 0x hex):
//   read <space> <address> <count>        "ok" and the bytes in hex
//   write <space> <address> <hex bytes>    stores bytes as a parallel programmer would
//   clear                                  factory-fresh chip
//   busy                                   "ok 1" while a write cycle or erase runs
// VELTRO_SIM_CHIPLOG=1 in the environment logs the decoded instructions on standard error.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Chip.h"
#include "PinAdapter.h"
#include "SimTarget.h"

namespace kestrin::sim {

namespace {

using chips::Chip;
using chips::PinAdapter;
using chips::Space;

bool ParseNumber(const std::string& text, unsigned long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    out = std::strtoul(text.c_str(), &end, 0);
    return end != nullptr && *end == '\0';
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string s = "ok";
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, " %02X", b);
        s += buf;
    }
    return s;
}

class ChipTarget final : public SimTarget {
public:
    explicit ChipTarget(std::unique_ptr<Chip> chip) : chip_(std::move(chip)), pins_(*chip_) {
        // The AVRs take the active-low /RESET output, the 8051s the active-high RST.
        avr_ = chip_->Name().rfind("AT89", 0) != 0;
        // VELTRO_SIM_CHIPLOG=1 shows every instruction the chip decodes, with the simulated time.
        if (const char* log = std::getenv("VELTRO_SIM_CHIPLOG"); log != nullptr && *log == '1')
            chip_->SetLog([this](std::string_view line) {
                std::fprintf(stderr, "%12.6f %.*s\n", static_cast<double>(nowNs_) / 1e9, static_cast<int>(line.size()),
                             line.data());
            });
    }

    void Lines(const TargetPins& p, uint64_t nowNs) override {
        nowNs_ = nowNs;
        pins_.SetMosi(p.mosi, nowNs);
        pins_.SetSck(p.sck, nowNs);
        pins_.SetReset(avr_ ? p.nresetLow : p.rstHigh, nowNs);
    }

    bool Miso() const override { return pins_.Miso(); }

    bool Control(const std::string& verb, std::istringstream& args, uint64_t nowNs, std::string& reply) override {
        if (verb == "clear") {
            chip_->Clear();
            reply = "ok";
            return true;
        }
        if (verb == "busy") {
            reply = chip_->Busy(nowNs) ? "ok 1" : "ok 0";
            return true;
        }
        if (verb != "read" && verb != "write") return false;
        std::string spaceName, addressText;
        Space space;
        unsigned long address = 0;
        if (!(args >> spaceName >> addressText) || !chips::ParseSpace(spaceName, space) ||
            !ParseNumber(addressText, address)) {
            reply = "error usage: " + verb + " <space> <address> ...";
            return true;
        }
        if (verb == "read") {
            std::string countText;
            unsigned long count = 0;
            if (!(args >> countText) || !ParseNumber(countText, count)) {
                reply = "error usage: read <space> <address> <count>";
                return true;
            }
            std::vector<uint8_t> bytes(count);
            bytes.resize(chip_->Read(space, static_cast<uint32_t>(address), bytes.data(), bytes.size()));
            reply = Hex(bytes);
            return true;
        }
        std::vector<uint8_t> bytes;
        for (std::string word; args >> word;) {
            unsigned long v = 0;
            if (word.size() > 2 || !ParseNumber("0x" + word, v)) {
                reply = "error not a hex byte: " + word;
                return true;
            }
            bytes.push_back(static_cast<uint8_t>(v));
        }
        reply = "ok " + std::to_string(chip_->Write(space, static_cast<uint32_t>(address), bytes.data(), bytes.size()));
        return true;
    }

private:
    std::unique_ptr<Chip> chip_;
    PinAdapter pins_;
    bool avr_ = false;
    uint64_t nowNs_ = 0;
};

}  // namespace

std::unique_ptr<SimTarget> MakeChipTarget(const std::string& name) {
    std::unique_ptr<Chip> chip = chips::MakeChip(name);
    if (!chip) return nullptr;
    return std::make_unique<ChipTarget>(std::move(chip));
}

}  // namespace kestrin::sim
