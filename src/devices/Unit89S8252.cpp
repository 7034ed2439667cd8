#include "devices/Unit89S8252.h"

#include <algorithm>
#include <array>

#include "devices/ReadPipeline.h"
#include "link/SPI.h"

namespace kestrin {

namespace {

constexpr uint8_t kWriteFlash = 0x02;
constexpr uint8_t kReadFlash = 0x01;
constexpr uint8_t kWriteEEPROM = 0x06;
constexpr uint8_t kReadEEPROM = 0x05;

// Reading batches this many instructions into one transfer (15 bytes).
constexpr int32_t kReadChunk = 5;

// Address bits 12..8 go into bits 7..3 of the first byte; higher bits drop
// out, so addresses repeat every 8 KB.
uint8_t FirstByte8252(uint8_t code, int32_t address) { return static_cast<uint8_t>(((address >> 8) << 3) + code); }

constexpr TByteModeFormat k89S8252{FirstByte8252, kAddressesRepeat, kAddressesRepeat, 0};

void PutInstruction(const TByteModeFormat& format, uint8_t* out, uint8_t code, int32_t address, uint8_t data) {
    out[0] = format.FirstByte(code, address);
    out[1] = static_cast<uint8_t>(address & 0xFF);
    out[2] = data;
}

// The first address must be a real one; the repetition above it is the chip's.
bool AcceptsBlock(const TByteModeFormat& format, const TProgParams& params) {
    if (params.Size < 1 || params.StartAddress < 0) return false;
    const int32_t limit = params.EEPROM ? format.EEPROMLimit : format.FlashLimit;
    return limit == kAddressesRepeat || int64_t{params.StartAddress} + params.Size <= limit;
}

void OpenByteModeRun(TProgRun& run) {
    static constexpr std::array<uint8_t, 3> kEnable{0xAC, 0x53, 0x00};
    run.Open(0);
    Ops.SetEnables(1, 1);
    Pause(1000);
    SendBytes(kEnable.data(), kEnable.size());
}

// Reads Size bytes from StartAddress on into out, kReadChunk instructions per
// transfer, stepping the gauge to the number of bytes read after each chunk.
void ReadBlock(const TByteModeFormat& format, TProgRun& run, const TProgParams& params, uint8_t* out) {
    const uint8_t code = params.EEPROM ? kReadEEPROM : kReadFlash;
    const int32_t chunks = (params.Size + kReadChunk - 1) / kReadChunk;
    // One stretch of stream per chunk, kept until its answers are used.
    std::vector<uint8_t> send(static_cast<size_t>(3 * kReadChunk) * static_cast<size_t>(chunks));
    std::vector<uint8_t> receive(send.size());
    const auto countOf = [&](int32_t c) { return std::min(kReadChunk, params.Size - c * kReadChunk); };
    TReadPipeline pipeline;
    pipeline.Run(
        chunks,
        [&](int32_t c) {
            const int32_t first = c * kReadChunk;
            uint8_t* chunk = &send[static_cast<size_t>(3 * first)];
            for (int32_t e = 0; e < countOf(c); ++e)
                PutInstruction(format, &chunk[3 * e], code, params.StartAddress + first + e, 0x00);
            pipeline.Exchange(chunk, &receive[static_cast<size_t>(3 * first)], static_cast<size_t>(3 * countOf(c)));
        },
        [&](int32_t c) {
            const int32_t first = c * kReadChunk;
            for (int32_t e = 0; e < countOf(c); ++e) out[first + e] = receive[static_cast<size_t>(3 * (first + e) + 2)];
            run.Step(first + countOf(c));
        });
}

}  // namespace

// These parts give no answer to the programming enable. So that a write to an
// empty connector does not run to its end and report success, one byte is
// read back once after its write cycle: a chip that does not hold it is not
// there (or not taking writes), and the run ends at once. Open lines read as
// 00 or FF, so the byte probed is the first one that is neither (the first
// byte when there is none).
int32_t ProbeIndex(const TProgParams& params) {
    for (int32_t i = 0; i < params.Size; ++i)
        if (params.Data[i] != 0x00 && params.Data[i] != 0xFF) return i;
    return 0;
}

void CheckWritten(const TByteModeFormat& format, const TProgParams& params, int32_t index) {
    std::array<uint8_t, 3> send{};
    std::array<uint8_t, 3> receive{};
    PutInstruction(format, send.data(), params.EEPROM ? kReadEEPROM : kReadFlash, params.StartAddress + index, 0x00);
    ExchangeBytes(send.data(), receive.data(), send.size());
    if (receive[2] != params.Data[index]) throw TRunAborted{TRunAborted::TWhy::NoAnswer};
}

ProgResult WriteByteMode(const TByteModeFormat& format, const TProgParams& params, IProgress& progress) {
    if (!HasWriteData(params) || !AcceptsBlock(format, params)) return ProgNoData;
    const uint8_t code = params.EEPROM ? kWriteEEPROM : kWriteFlash;
    const int32_t wait = std::max(params.EEPROM ? params.WaitEEPROM : params.WaitFlash, format.LeastWait);

    return GuardRun(params, [&] {
        TProgRun run(params, progress);
        run.Phase(kColorWriting, params.Size - 1);
        OpenByteModeRun(run);
        const int32_t probe = ProbeIndex(params);
        for (int32_t i = 0; i < params.Size; ++i) {
            std::array<uint8_t, 3> instruction{};
            PutInstruction(format, instruction.data(), code, params.StartAddress + i, params.Data[i]);
            SendBytes(instruction.data(), instruction.size());
            Pause(wait);
            if (i == probe) CheckWritten(format, params, i);
            if (params.Report != nullptr) params.Report->BytesWritten = i + 1;
            run.Step(i);
        }

        ProgResult result = ProgOk;
        if (params.Verify) {
            progress.SetColor(kColorReading);
            progress.SetProgress(0);
            std::vector<uint8_t> readBack(static_cast<size_t>(params.Size));
            ReadBlock(format, run, params, readBack.data());
            if (!SameBytes(params, params.StartAddress, params.Data, readBack.data(), readBack.size()))
                result = ProgVerifyFailed;
        }
        run.Close();
        return result;
    });
}

ProgResult ReadByteMode(const TByteModeFormat& format, const TProgParams& params, IProgress& progress,
                        std::vector<uint8_t>& data) {
    data.clear();
    if (!AcceptsBlock(format, params)) return ProgNoData;

    const ProgResult result = GuardRun(params, [&] {
        TProgRun run(params, progress);
        run.Phase(kColorReading, params.Size - 1);
        progress.SetText(ElapsedText(0.0));
        OpenByteModeRun(run);
        data.assign(static_cast<size_t>(params.Size), 0);
        ReadBlock(format, run, params, data.data());
        run.Close();
        return ProgOk;
    });
    if (result != ProgOk) data.clear();
    return result;
}

ProgResult Write89S8252(const TProgParams& params, IProgress& progress) {
    return WriteByteMode(k89S8252, params, progress);
}

ProgResult Read89S8252(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data) {
    return ReadByteMode(k89S8252, params, progress, data);
}

}  // namespace kestrin
