#include "devices/UnitAvr.h"

#include <algorithm>

#include "devices/AvrClock.h"
#include "devices/AvrIsp.h"
#include "devices/DeviceTable.h"
#include "devices/PageSpan.h"
#include "devices/ReadPipeline.h"
#include "link/SPI.h"

namespace kestrin {

namespace {

// Bytes read between two updates of the gauge.
constexpr int32_t kReadUnit = 64;
// Pause with the target released before a classic part is enabled again.
constexpr int32_t kReleaseGap = 1000;

bool EnterProgModeAT90xx(const TProgParams& params) { return EnterProgModeAT90S(params.SCK, params.MOSI, params.MISO); }
bool EnterProgModeTiny(const TProgParams&) { return EnterProgModeATtiny(); }
bool EnterProgModeMega(const TProgParams&) { return EnterProgModeATmega(); }

struct TFamily {
    uint8_t Type;
    bool (*Handshake)(const TProgParams& params);
};

constexpr TFamily kAT90xx{ctAT90xx, EnterProgModeAT90xx};
constexpr TFamily kATtiny{ctATtiny, EnterProgModeTiny};
constexpr TFamily kATmega{ctATmega, EnterProgModeMega};

// A locked AT90S is refused with the report's reason; anything else that gave
// no part is no device.
ProgResult LockedOrAbsent(const TProgParams& params) {
    return params.Report != nullptr && params.Report->LockedChip ? ProgNoData : ProgNoDevice;
}

int64_t EndOf(const TProgParams& params) { return int64_t{params.StartAddress} + params.Size; }

// Whether some part of the family could hold the block; checked before the adapter is touched.
bool FitsFamily(const TFamily& family, const TProgParams& params) {
    return params.Size >= 1 && params.StartAddress >= 0 && EndOf(params) <= LargestMemory(family.Type, params.EEPROM);
}

bool FitsDevice(const TDeviceInfo& device, const TProgParams& params) {
    return EndOf(params) <= (params.EEPROM ? device.EEPROMSize : device.FlashSize);
}

// Brings the target into programming and names it from its signature;
// nullptr when nothing answered or the part is not one of the family's. The
// AT90S1200 never answers the enable: after a failed handshake a classic
// part gets one more enable, and its signature decides. A classic part that
// answers with the signature 00 00 00 is locked, and the report says so.
const TDeviceInfo* Identify(const TFamily& family, const TProgParams& params) {
    const bool answered = family.Handshake(params);
    if (!answered) {
        if (family.Type != ctAT90xx) return nullptr;
        SendAvr(kAvrProgrammingEnable);
    }
    const TSignature signature = ReadAvrSignature();
    const TDeviceInfo* device = FindDevice(signature, family.Type);
    if (device == nullptr && answered && family.Type == ctAT90xx && signature == TSignature{0x00, 0x00, 0x00} &&
        params.Report != nullptr) {
        params.Report->LockedChip = true;
        params.Report->Refusal =
            "The chip answers, but its signature reads 00 00 00: an AT90S with both lock bits programmed. "
            "Only a chip erase unlocks it.";
    }
    if (device == nullptr) return nullptr;
    if (!answered && device->Echoes) return nullptr;
    return device;
}

void Append(std::vector<uint8_t>& stream, const TAvrInstruction& instruction) {
    stream.insert(stream.end(), instruction.begin(), instruction.end());
}

// One run on an identified part.
class TAvrTarget {
public:
    TAvrTarget(const TFamily& family, const TDeviceInfo& device, const TProgParams& params, TProgRun& run)
        : family_(family), device_(device), params_(params), run_(run) {}

    // Erases the chip; a classic part then needs a reset and a new enable.
    bool Erase() {
        SendAvr(kAvrChipErase);
        AwaitAvr(device_, TAvrWork::Erase, params_.WaitErase);
        if (family_.Type != ctAT90xx) return true;
        extended_ = -1;
        Ops.SetEnables(0, 1);
        Pause(kReleaseGap);
        if (device_.Echoes) return family_.Handshake(params_);
        Ops.SetEnables(1, 1);
        Pause(kHandshakeAVR.Settle);
        SendAvr(kAvrProgrammingEnable);
        return true;
    }

    void WriteFlash() {
        if (device_.FlashPage == 0) {
            WriteBytes(TAvrWork::Flash, params_.WaitFlash, AvrWriteFlashByte, AvrReadFlash);
            return;
        }
        const TPageSpan span = PageSpanOf(params_, device_.FlashPage);
        const std::vector<uint8_t> image = PageImage(params_, span);
        run_.Progress().SetMaxValue(span.Count - 1);
        std::vector<uint8_t> stream;
        for (int32_t p = 0; p < span.Count; ++p) {
            const int32_t page = span.Address(p);
            const uint8_t* data = image.data() + span.Offset(p);
            stream.clear();
            AppendExtended(stream, page);
            for (int32_t i = 0; i < span.PageSize; ++i)
                Append(stream, AvrLoadFlashPage(page + i, span.PageSize, data[i]));
            Append(stream, AvrWriteFlashPage(page, span.PageSize));
            SendBytes(stream.data(), stream.size());
            // A page being written reads FF: a byte that is not FF tells when it is done.
            const uint8_t* probe = std::find_if(data, data + span.PageSize, [](uint8_t b) { return b != 0xFF; });
            if (probe == data + span.PageSize) {
                AwaitAvr(device_, TAvrWork::Flash, params_.WaitFlash);
            } else {
                const int32_t address = page + static_cast<int32_t>(probe - data);
                const TAvrInstruction cell = AvrReadFlash(address);
                AwaitAvr(device_, TAvrWork::Flash, params_.WaitFlash, &cell, *probe);
            }
            run_.Step(p);
        }
    }

    void WriteEEPROM() {
        if (device_.EEPROMPage == 0) {
            WriteBytes(TAvrWork::EEPROM, params_.WaitEEPROM, AvrWriteEEPROMByte, AvrReadEEPROM);
            return;
        }
        // Only the loaded bytes of a page are written, so the image needs no padding.
        const TPageSpan span = PageSpanOf(params_, device_.EEPROMPage);
        run_.Progress().SetMaxValue(span.Count - 1);
        std::vector<uint8_t> stream;
        for (int32_t p = 0; p < span.Count; ++p) {
            const int32_t page = span.Address(p);
            const int32_t from = std::max(page, params_.StartAddress);
            const int32_t to = static_cast<int32_t>(std::min<int64_t>(page + span.PageSize, EndOf(params_)));
            stream.clear();
            for (int32_t a = from; a < to; ++a)
                Append(stream, AvrLoadEEPROMPage(a, span.PageSize, params_.Data[a - params_.StartAddress]));
            Append(stream, AvrWriteEEPROMPage(page, span.PageSize));
            SendBytes(stream.data(), stream.size());
            const TAvrInstruction cell = AvrReadEEPROM(to - 1);
            AwaitAvr(device_, TAvrWork::EEPROM, params_.WaitEEPROM, &cell, params_.Data[to - 1 - params_.StartAddress]);
            run_.Step(p);
        }
    }

    // Reads Size bytes from StartAddress of the memory the block names.
    void Read(uint8_t* out) {
        const int32_t units = (params_.Size + kReadUnit - 1) / kReadUnit;
        run_.Progress().SetMaxValue(units - 1);
        // Each unit's stream is kept until its answers are used.
        std::vector<std::vector<uint8_t>> send(static_cast<size_t>(units));
        std::vector<std::vector<uint8_t>> receive(static_cast<size_t>(units));
        std::vector<size_t> dataAt;
        TReadPipeline pipeline;
        pipeline.Run(
            units,
            [&](int32_t u) {
                const int32_t from = u * kReadUnit;
                const int32_t count = std::min(kReadUnit, params_.Size - from);
                auto& stream = send[static_cast<size_t>(u)];
                for (int32_t k = 0; k < count; ++k) {
                    const int32_t address = params_.StartAddress + from + k;
                    if (!params_.EEPROM) AppendExtended(stream, address);
                    dataAt.push_back(stream.size() + kAvrDataIndex);
                    Append(stream, params_.EEPROM ? AvrReadEEPROM(address) : AvrReadFlash(address));
                }
                auto& answer = receive[static_cast<size_t>(u)];
                answer.assign(stream.size(), 0);
                pipeline.Exchange(stream.data(), answer.data(), stream.size());
            },
            [&](int32_t u) {
                const int32_t from = u * kReadUnit;
                const int32_t count = std::min(kReadUnit, params_.Size - from);
                const auto& answer = receive[static_cast<size_t>(u)];
                for (int32_t k = 0; k < count; ++k) out[from + k] = answer[dataAt[static_cast<size_t>(from + k)]];
                send[static_cast<size_t>(u)] = {};
                receive[static_cast<size_t>(u)] = {};
                run_.Step(u);
            });
    }

    ProgResult Verify() {
        run_.Phase(kColorReading, 0);
        std::vector<uint8_t> readBack(static_cast<size_t>(params_.Size));
        Read(readBack.data());
        return SameBytes(params_, params_.StartAddress, params_.Data, readBack.data(), readBack.size()) ? ProgOk
                                                                                                         : ProgVerifyFailed;
    }

private:
    // Byte by byte: each write is followed by its wait, the cell written
    // serving as the poll where the part has no ready/busy poll.
    void WriteBytes(TAvrWork work, int32_t wait, TAvrInstruction (*write)(int32_t, uint8_t),
                    TAvrInstruction (*read)(int32_t)) {
        run_.Progress().SetMaxValue(params_.Size - 1);
        for (int32_t i = 0; i < params_.Size; ++i) {
            const int32_t address = params_.StartAddress + i;
            SendAvr(write(address, params_.Data[i]));
            const TAvrInstruction cell = read(address);
            AwaitAvr(device_, work, wait, &cell, params_.Data[i]);
            run_.Step(i);
        }
    }

    // The extended address goes out before the first Flash instruction and
    // again whenever the instructions cross into another 64K words.
    void AppendExtended(std::vector<uint8_t>& stream, int32_t byteAddress) {
        if (!device_.ExtendedAddress()) return;
        const int32_t extended = byteAddress >> 17;
        if (extended == extended_) return;
        extended_ = extended;
        Append(stream, AvrLoadExtendedAddress(byteAddress));
    }

    const TFamily& family_;
    const TDeviceInfo& device_;
    const TProgParams& params_;
    TProgRun& run_;
    int32_t extended_ = -1;
};

// The attached part is smaller than the block: refused before anything is
// written, with the sizes for the caller's message.
ProgResult RefuseForDevice(const TDeviceInfo& device, const TProgParams& params) {
    if (params.Report != nullptr) {
        const int32_t memory = params.EEPROM ? device.EEPROMSize : device.FlashSize;
        params.Report->Refusal = RangeRefusalText(params.Size, params.StartAddress, memory,
                                                  std::string("the ") + device.Name + "'s " +
                                                      (params.EEPROM ? "E²PROM" : "Flash"));
    }
    return ProgNoData;
}

ProgResult WriteAvr(const TFamily& family, const TProgParams& params, IProgress& progress) {
    if (!HasWriteData(params) || !FitsFamily(family, params)) return ProgNoData;
    return GuardRun(params, [&] {
        TProgRun run(params, progress);
        run.Phase(kColorWriting, 0);
        run.Open(kAvrReadMode);
        const TDeviceInfo* device = Identify(family, params);
        if (device == nullptr) return LockedOrAbsent(params);
        if (!FitsDevice(*device, params)) return RefuseForDevice(*device, params);
        ChooseAvrClock(*device, params.TargetClock);
        if (params.Signature != nullptr && *params.Signature != device->Signature) {
            if (params.Report != nullptr) {
                char text[160];
                const auto& f = *params.Signature;
                const auto& c = device->Signature;
                std::snprintf(text, sizeof text,
                              "The file is built for signature %02X %02X %02X, the chip (%s) answers %02X %02X %02X!",
                              f[0], f[1], f[2], device->Name, c[0], c[1], c[2]);
                params.Report->Refusal = text;
            }
            return ProgNoData;
        }
        TAvrTarget target(family, *device, params, run);
        if (params.EEPROM) {
            target.WriteEEPROM();
        } else {
            if (!target.Erase()) return ProgNoDevice;
            target.WriteFlash();
        }
        if (params.Report != nullptr) params.Report->BytesWritten = params.Size;
        const ProgResult result = params.Verify ? target.Verify() : ProgOk;
        run.Close();
        return result;
    });
}

ProgResult ReadAvr(const TFamily& family, const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data) {
    data.clear();
    if (!FitsFamily(family, params)) return ProgNoData;
    return GuardRun(params, [&] {
        TProgRun run(params, progress);
        run.Phase(kColorReading, 0);
        progress.SetText(ElapsedText(0.0));
        run.Open(kAvrReadMode);
        const TDeviceInfo* device = Identify(family, params);
        if (device == nullptr) return LockedOrAbsent(params);
        if (!FitsDevice(*device, params)) return RefuseForDevice(*device, params);
        ChooseAvrClock(*device, params.TargetClock);
        std::vector<uint8_t> out(static_cast<size_t>(params.Size));
        TAvrTarget(family, *device, params, run).Read(out.data());
        data = std::move(out);
        run.Close();
        return ProgOk;
    });
}

}  // namespace

ProgResult WriteAT90xx(const TProgParams& params, IProgress& progress) { return WriteAvr(kAT90xx, params, progress); }
ProgResult ReadAT90xx(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data) {
    return ReadAvr(kAT90xx, params, progress, data);
}

ProgResult WriteATtiny(const TProgParams& params, IProgress& progress) { return WriteAvr(kATtiny, params, progress); }
ProgResult ReadATtiny(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data) {
    return ReadAvr(kATtiny, params, progress, data);
}

ProgResult WriteATmega(const TProgParams& params, IProgress& progress) { return WriteAvr(kATmega, params, progress); }
ProgResult ReadATmega(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data) {
    return ReadAvr(kATmega, params, progress, data);
}

}  // namespace kestrin
