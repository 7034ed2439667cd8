#include "jobs/ChipCommands.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "config/NumberText.h"
#include "devices/AvrIsp.h"
#include "devices/DeviceTable.h"
#include "devices/Unit89S8253.h"
#include "files/FileExchg.h"
#include "files/FileResult.h"
#include "link/SPI.h"

namespace kestrin {

namespace {

// A chip erase of the byte-mode parts takes about 16 ms; reads during it return 00.
constexpr int32_t kByteModeEraseWait = 20000;
constexpr int32_t kPagedEraseWait = 500000;
constexpr int32_t kAvrEraseWait = 10000;

int32_t WaitOr(int32_t profileWait, int32_t fallback) { return profileWait >= 0 ? std::max(profileWait, fallback) : fallback; }

TJobOutcome Refused(std::string message, bool informational = false) {
    TJobOutcome outcome;
    outcome.Message = std::move(message);
    outcome.Informational = informational;
    return outcome;
}

TProgParams LinesOf(const TProfile& profile, TRunReport& report, const TStopSignal* stop) {
    TProgParams params = ProfileBlock(profile);
    params.Report = &report;
    params.Stop = stop;
    return params;
}

// Sends the erase of the profile's family to a target just taken into its
// programming state, and waits it out. False when the target did not answer.
bool EraseTarget(const TProfile& profile, TProgRun& run) {
    static constexpr std::array<uint8_t, 3> kByteModeEnable{0xAC, 0x53, 0x00};
    static constexpr std::array<uint8_t, 3> kByteModeErase{0xAC, 0x04, 0x00};
    static constexpr std::array<uint8_t, 4> kPagedErase{0xAC, 0x80, 0x00, 0x00};
    switch (profile.Type) {
        case ctAT89S8252:
        case ctAT89S53:
            run.Open(0);
            Ops.SetEnables(1, 1);
            Pause(1000);
            SendBytes(kByteModeEnable.data(), kByteModeEnable.size());
            SendBytes(kByteModeErase.data(), kByteModeErase.size());
            Pause(WaitOr(profile.WaitErase, kByteModeEraseWait));
            return true;
        case ctAT89S8253:
        case ctAT89S52: {
            run.Open(1);
            const TPageFamily family = profile.Type == ctAT89S8253 ? TPageFamily::AT89S8253 : TPageFamily::AT89S52;
            if (!EnterProgModePaged(family)) return false;
            SendBytes(kPagedErase.data(), kPagedErase.size());
            Pause(WaitOr(profile.WaitErase, kPagedEraseWait));
            return true;
        }
        case ctAT90xx:
        case ctATtiny:
        case ctATmega: {
            run.Open(kAvrReadMode);
            const bool answered = profile.Type == ctATtiny   ? EnterProgModeATtiny()
                                  : profile.Type == ctATmega ? EnterProgModeATmega()
                                                             : EnterProgModeAT90S(profile.SCK, profile.MOSI, profile.MISO);
            // The AT90S1200 never answers the enable; its signature tells that it is there.
            const TDeviceInfo* device = FindDevice(ReadAvrSignature());
            if (!answered && (device == nullptr || device->Echoes)) return false;
            SendAvr(kAvrChipErase);
            if (device != nullptr) {
                AwaitAvr(*device, TAvrWork::Erase, profile.WaitErase);
            } else {
                Pause(WaitOr(profile.WaitErase, kAvrEraseWait));
            }
            return true;
        }
        default: return false;
    }
}

std::optional<uint8_t> ParseByte(std::string_view text) {
    const std::optional<uint64_t> value = ParseUnsignedText(text);
    if (!value || *value > 0xFF) return std::nullopt;
    return static_cast<uint8_t>(*value);
}

}  // namespace

TJobOutcome RunEraseJob(const TProfile& profile, IProgress& progress, const TStopSignal* stop) {
    if (auto refused = ProfileRefusalText(profile)) return Refused(*refused);
    TRunReport report;
    const TProgParams params = LinesOf(profile, report, stop);
    const ProgResult result = GuardRun(params, [&] {
        TProgRun run(params, progress);
        run.Phase(kColorWriting, 1);
        run.CheckStop();
        if (!EraseTarget(profile, run)) return ProgNoDevice;
        run.Step(1);
        run.Close();
        return ProgOk;
    });
    return RoutineOutcome(result, report);
}

TJobOutcome RunVerifyJob(const TJobRequest& request, IProgress& progress, const TStopSignal* stop) {
    std::vector<uint8_t> image;
    int32_t size = 0;
    const FileResult read = ReadDataFile(request.FileName, request.FileType, image, size);
    auto withFile = [&](TJobOutcome outcome) {
        outcome.FileResult = read;
        outcome.FileSize = read == FileOk ? size : 0;
        return outcome;
    };
    if (read == FileIoError && size > 0) return withFile(Refused(kCantOpenText));
    if (read != FileOk || size == 0 || image.size() != static_cast<size_t>(size))
        return withFile(Refused(kFileEmptyText, true));

    TJobRequest readRequest = request;
    readRequest.Image.reset();
    readRequest.Size = size;
    TJobOutcome chip = RunReadJob(readRequest, progress, stop);
    if (!chip.Ok()) return withFile(std::move(chip));
    const auto [wrote, found] = std::mismatch(image.begin(), image.end(), chip.Data.begin(), chip.Data.end());
    TJobOutcome outcome = std::move(chip);
    if (wrote != image.end()) {
        TDifference difference;
        difference.Address = request.StartAddress + static_cast<int32_t>(wrote - image.begin());
        difference.Wrote = *wrote;
        difference.Read = *found;
        outcome.Result = TJobResult::VerifyFailed;
        outcome.Status = ProgResultText(ProgVerifyFailed);
        outcome.Message = DifferenceText(difference);
        outcome.FirstDifference = difference;
    }
    return withFile(std::move(outcome));
}

std::vector<TFuseField> FuseFieldsOf(uint8_t type, const TDeviceInfo* device) {
    switch (type) {
        case ctATtiny:
        case ctATmega: {
            static const TFuseField kAvrFuses[] = {{"low", &TFuseBits::FuseLow, 0xFF},
                                                  {"high", &TFuseBits::FuseHigh, 0xFF},
                                                  {"extended", &TFuseBits::FuseExtended, 0xFF}};
            const int count = device != nullptr && device->Part != nullptr ? device->Part->fuseCount : 3;
            std::vector<TFuseField> fields(kAvrFuses, kAvrFuses + std::clamp(count, 0, 3));
            fields.push_back({"lock", &TFuseBits::AvrLock, 0xFF});
            return fields;
        }
        case ctAT89S8253: return {{"fuses", &TFuseBits::UserFuses, 0x0F}, {"lock", &TFuseBits::LockBits, 0x07}};
        default: return {};
    }
}

std::optional<std::string> ApplyFuseAssignments(uint8_t type, const std::string& assignments, TFuseBits& bits,
                                                const TDeviceInfo* device) {
    const std::vector<TFuseField> fields = FuseFieldsOf(type, device);
    if (fields.empty()) return std::string("the ") + ControllerName(type) + " has no fuse or lock bits to write";
    std::string_view rest = assignments;
    while (true) {
        const size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        const size_t equals = item.find('=');
        if (equals == std::string_view::npos) return "\"" + std::string(item) + "\": expected NAME=VALUE";
        const std::string_view name = item.substr(0, equals);
        const auto field = std::find_if(fields.begin(), fields.end(), [&](const TFuseField& f) { return name == f.Name; });
        if (field == fields.end()) {
            std::string known;
            for (const TFuseField& f : fields) known += (known.empty() ? "" : ", ") + std::string(f.Name);
            return "\"" + std::string(name) + "\": not a fuse of the " +
                   (device != nullptr ? std::string(device->Name) : ControllerName(type)) + " (" + known + ")";
        }
        const std::optional<uint8_t> value = ParseByte(item.substr(equals + 1));
        if (!value || (*value & ~field->Mask) != 0)
            return "\"" + std::string(item) + "\": the value must be a number from 0 to " + std::to_string(field->Mask);
        bits.*(field->Field) = *value;
        if (comma == std::string_view::npos) return std::nullopt;
        rest.remove_prefix(comma + 1);
    }
}

std::vector<std::string> IspCuttingReasons(uint8_t type, const std::string& part, const TFuseBits& chip,
                                           const TFuseBits& bits) {
    std::vector<std::string> reasons;
    TFuseBits checked = bits;
    if (type == ctATtiny || type == ctATmega) {
        if (checked.Device == nullptr) checked.Device = FindDevice(part);
        if (checked.Device == nullptr) {
            // Without the part's layout no bit can be named: any change asks.
            if (chip.FuseLow != bits.FuseLow || chip.FuseHigh != bits.FuseHigh || chip.FuseExtended != bits.FuseExtended)
                reasons.push_back("The fuse layout of " + (part.empty() ? std::string("this part") : part) +
                                  " is not known here: a changed fuse may switch its serial programming off.");
            return reasons;
        }
    }
    for (const TCutOff& cut : SerialProgrammingCutOffs(type, checked)) reasons.push_back(cut.Consequence);
    return reasons;
}

TElfFuseOffer ElfFuseOffer(uint8_t type, const DataFileContents& file, const TFuseBits& chip) {
    TElfFuseOffer offer;
    offer.Bits = chip;
    if (type != ctATtiny && type != ctATmega) {
        offer.Refusal = std::string("the ") + ControllerName(type) + " takes no fuse values from an ELF program";
        return offer;
    }
    const size_t fuseCount = file.fuses ? file.fuses->size() : 0;
    if (fuseCount == 0 && !file.lock) {
        offer.Refusal = "the file holds no fuse or lock values";
        return offer;
    }
    if (chip.Device == nullptr || chip.Device->Part == nullptr) {
        offer.Refusal = "the attached chip's part is not known";
        return offer;
    }
    if (file.signature && *file.signature != chip.Signature) {
        const TDeviceInfo* built = FindDevice(*file.signature);
        offer.Refusal = "the file is built for " +
                        (built != nullptr ? std::string(built->Name) : "signature " + SignatureText(file.signature->data(), file.signature->size())) +
                        ", the attached chip is an " + chip.Device->Name;
        return offer;
    }
    const auto partFuses = static_cast<size_t>(chip.Device->Part->fuseCount);
    if (fuseCount > partFuses) {
        offer.Refusal = "the file sets " + std::to_string(fuseCount) + " fuse bytes, the " + chip.Device->Name +
                        " has " + std::to_string(partFuses);
        return offer;
    }
    const std::vector<TFuseField> fields = FuseFieldsOf(type, chip.Device);
    for (size_t i = 0; i < fuseCount; ++i) offer.Bits.*(fields[i].Field) = (*file.fuses)[i];
    if (file.lock) offer.Bits.AvrLock = *file.lock;
    for (size_t i = 0; i < fields.size(); ++i) {
        const bool fromFile = i < fuseCount || (fields[i].Field == &TFuseBits::AvrLock && file.lock);
        if (!fromFile) continue;
        char item[32];
        std::snprintf(item, sizeof item, "%s=%02X", fields[i].Name, offer.Bits.*(fields[i].Field));
        offer.Values += (offer.Values.empty() ? "" : " ") + std::string(item);
    }
    return offer;
}

namespace {

TJobOutcome FuseOutcome(TJobResult result, const std::string& status, const std::string& message) {
    TJobOutcome outcome;
    outcome.Result = result;
    outcome.Status = status;
    outcome.Message = message;
    return outcome;
}

TJobOutcome NoFuseBits(uint8_t type) {
    return FuseOutcome(TJobResult::Refused, "", std::string("the ") + ControllerName(type) + " has no fuse bits");
}

}  // namespace

TJobOutcome RunFuseReadJob(uint8_t type, const TLineLevels& levels, TFuseBits& bits, TFuseRead& detail) {
    detail = ReadFuseBits(type, levels, bits);
    switch (detail) {
        case TFuseRead::Read: return FuseOutcome(TJobResult::Ok, "Ok", "Ok");
        case TFuseRead::NotConnected: return FuseOutcome(TJobResult::Refused, "", "not connected to the adapter");
        case TFuseRead::NoWriter:
            return NoFuseBits(type);
        case TFuseRead::UnknownPart: return FuseOutcome(TJobResult::Refused, "", "a signature no known part has");
        case TFuseRead::LinkLost:
            return FuseOutcome(TJobResult::NoDevice, "no device", "the adapter went away during the run");
        case TFuseRead::NoAnswer: break;
    }
    return FuseOutcome(TJobResult::NoDevice, "no device", "no device");
}

TJobOutcome RunFuseWriteJob(uint8_t type, const TLineLevels& levels, const TFuseBits& bits, TFuseBits& chip,
                            TFuseWrite& detail) {
    detail = WriteFuseBits(type, levels, bits, chip);
    switch (detail) {
        case TFuseWrite::Written: return FuseOutcome(TJobResult::Ok, "Ok", "Ok");
        case TFuseWrite::NoWriter:
            return NoFuseBits(type);
        case TFuseWrite::OtherChip:
            return FuseOutcome(TJobResult::Refused, "", "another chip answers than the one the bits were read from");
        case TFuseWrite::Differs:
            return FuseOutcome(TJobResult::VerifyFailed, "failed", "the chip reads back other bits than were written");
        case TFuseWrite::LinkLost:
            return FuseOutcome(TJobResult::NoDevice, "no device", "the adapter went away during the run");
        case TFuseWrite::NoAnswer: break;
    }
    return FuseOutcome(TJobResult::NoDevice, "no device", "no device");
}

}  // namespace kestrin
