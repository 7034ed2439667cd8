#include "devices/Unit89S8253.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "devices/PageSpan.h"
#include "devices/ReadPipeline.h"
#include "link/SPI.h"

namespace kestrin {

TPageFamily PageFamily = TPageFamily::AT89S8253;

namespace {

constexpr uint8_t kFlashPageWrite = 0x50;
constexpr uint8_t kFlashPageRead = 0x30;
constexpr uint8_t kEEPROMPageWrite = 0xD0;
constexpr uint8_t kEEPROMPageRead = 0xB0;
constexpr std::array<uint8_t, 4> kChipErase{0xAC, 0x80, 0x00, 0x00};

constexpr int32_t kEEPROMPageSize = 32;
constexpr int32_t kEEPROMPages = 64;       // AT89S8253: 2 KB
constexpr int32_t kFlashPages8253 = 192;   // AT89S8253: 12 KB
constexpr int32_t kLargestPage = 256;      // AT89S52 Flash
constexpr int32_t kLargestHeader = 3;

// Pause after the handshake before the first instruction of a run.
constexpr int32_t kAfterEnable = 20000;

// Copies of the memory a writer is not writing, taken before the chip erase.
std::array<uint8_t, 16384> FlashBackup;
std::array<uint8_t, kEEPROMPages * kEEPROMPageSize> EEPROMBackup;
std::optional<TStrandedBackup> Stranded;

bool Is8253() { return PageFamily == TPageFamily::AT89S8253; }

int32_t PageSize(bool eeprom) {
    if (eeprom) return kEEPROMPageSize;
    return Is8253() ? 64 : 256;
}

// Writes the instruction header for the page at address into out; returns its length.
size_t PageHeader(uint8_t opcode, bool eeprom, int32_t address, uint8_t* out) {
    out[0] = opcode;
    if (eeprom) {
        out[1] = static_cast<uint8_t>((address >> 8) & 0x07);
        out[2] = static_cast<uint8_t>(address & 0xE0);
        return 3;
    }
    if (!Is8253()) {
        // The AT89S52 page instruction has no low-address byte.
        out[1] = static_cast<uint8_t>((address >> 8) & 0x1F);
        return 2;
    }
    out[1] = static_cast<uint8_t>((address >> 8) & 0x3F);
    out[2] = static_cast<uint8_t>(address & 0xC0);
    return 3;
}

// One page write, header and data built into one stream.
void SendPage(bool eeprom, int32_t address, const uint8_t* page) {
    std::array<uint8_t, kLargestHeader + kLargestPage> buffer{};
    const size_t header = PageHeader(eeprom ? kEEPROMPageWrite : kFlashPageWrite, eeprom, address, buffer.data());
    const auto size = static_cast<size_t>(PageSize(eeprom));
    std::memcpy(buffer.data() + header, page, size);
    SendBytes(buffer.data(), header + size);
}

// One page write as the restores send it: the header in a call of its own.
void SendPageHeaderFirst(bool eeprom, int32_t address, const uint8_t* page) {
    std::array<uint8_t, kLargestHeader> header{};
    SendBytes(header.data(), PageHeader(eeprom ? kEEPROMPageWrite : kFlashPageWrite, eeprom, address, header.data()));
    SendBytes(page, static_cast<size_t>(PageSize(eeprom)));
}

// One page read: the header goes out, then the page is clocked in while zero bytes are sent.
void ReadPage(TReadPipeline& pipeline, bool eeprom, int32_t address, uint8_t* out) {
    static constexpr std::array<uint8_t, kLargestPage> kZeros{};
    std::array<uint8_t, kLargestHeader> header{};
    pipeline.Send(header.data(), PageHeader(eeprom ? kEEPROMPageRead : kFlashPageRead, eeprom, address, header.data()));
    const auto size = static_cast<size_t>(PageSize(eeprom));
    std::fill_n(out, size, 0);  // a driver without an adapter leaves the buffer as it was
    pipeline.Exchange(kZeros.data(), out, size);
}

TPageSpan SpanOf(const TProgParams& params, bool eeprom) { return PageSpanOf(params, PageSize(eeprom)); }

// A block the page instructions can address. Checked before anything is sent.
bool AcceptsBlock(const TProgParams& params, bool eeprom) {
    const int64_t end = int64_t{params.StartAddress} + params.Size;
    return params.Size >= 1 && params.StartAddress >= 0 && end <= PageAddressSpace(PageFamily, eeprom);
}

bool AcceptsWrite(const TProgParams& params, bool eeprom) {
    return HasWriteData(params) && AcceptsBlock(params, eeprom);
}

// Reads span's pages into out; labelled runs show the elapsed time after each page.
void ReadPages(TProgRun& run, bool eeprom, const TPageSpan& span, uint8_t* out, bool label) {
    TReadPipeline pipeline;
    pipeline.Run(
        span.Count, [&](int32_t p) { ReadPage(pipeline, eeprom, span.Address(p), out + span.Offset(p)); },
        [&](int32_t p) {
            if (label)
                run.Step(p);
            else
                run.Tick(p);
        });
}

// Writes whole memory copies back page by page. A page write keeps the chip
// busy for its write cycle and it ignores what arrives meanwhile, so every
// page is followed by the profile's wait.
void RestorePages(TProgRun& run, bool eeprom, int32_t pages, const uint8_t* from, int32_t wait) {
    const TPageSpan span{0, pages, PageSize(eeprom)};
    run.Phase(kColorWriting, pages - 1);
    for (int32_t p = 0; p < pages; ++p) {
        SendPageHeaderFirst(eeprom, span.Address(p), from + span.Offset(p));
        Pause(wait);
        run.Tick(p);
    }
}

void BackupEEPROM89S8253(TProgRun& run) {
    run.Phase(kColorReading, kEEPROMPages - 1);
    ReadPages(run, true, TPageSpan{0, kEEPROMPages, kEEPROMPageSize}, EEPROMBackup.data(), false);
}

void RestoreEEPROM89S8253(const TProgParams& params, TProgRun& run) {
    RestorePages(run, true, kEEPROMPages, EEPROMBackup.data(), params.WaitEEPROM);
}

void BackupFlash89S8253(TProgRun& run) {
    run.Phase(kColorReading, kFlashPages8253 - 1);
    ReadPages(run, false, TPageSpan{0, kFlashPages8253, PageSize(false)}, FlashBackup.data(), false);
}

void RestoreFlash89S8253(const TProgParams& params, TProgRun& run) {
    RestorePages(run, false, kFlashPages8253, FlashBackup.data(), params.WaitFlash);
}

// Keeps a backup that cannot be written back for the caller to save.
void Strand(bool eeprom) {
    const uint8_t* from = eeprom ? EEPROMBackup.data() : FlashBackup.data();
    const size_t size = eeprom ? EEPROMBackup.size() : static_cast<size_t>(kFlashPages8253 * PageSize(false));
    Stranded = TStrandedBackup{eeprom, std::vector<uint8_t>(from, from + size)};
}

void EraseChip(int32_t eraseWait, int32_t releaseWait) {
    SendBytes(kChipErase.data(), kChipErase.size());
    Pause(eraseWait);
    Ops.SetEnables(0, 1);
    Pause(releaseWait);
}

// Reads the written pages back and compares them with the image.
ProgResult VerifyPages(TProgRun& run, const TProgParams& params, bool eeprom, const TPageSpan& span) {
    run.Phase(kColorReading, span.Count - 1);
    std::vector<uint8_t> readBack(span.Bytes());
    ReadPages(run, eeprom, span, readBack.data(), true);
    const auto from = readBack.begin() + (params.StartAddress - span.First);
    return std::equal(from, from + params.Size, params.Data) ? ProgOk : ProgVerifyFailed;
}

// After the pages are written: verification on request, then the backup of
// the other memory back into the chip (a difference found does not stop it).
ProgResult FinishWrite(TProgRun& run, const TProgParams& params, bool eeprom, const TPageSpan& span, bool restore) {
    const ProgResult result = params.Verify ? VerifyPages(run, params, eeprom, span) : ProgOk;
    if (restore && eeprom) RestoreFlash89S8253(params, run);
    if (restore && !eeprom) RestoreEEPROM89S8253(params, run);
    run.Close();
    return result;
}

ProgResult ReadPaged(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data) {
    data.clear();
    const bool eeprom = params.EEPROM;
    if (!AcceptsBlock(params, eeprom)) return ProgNoData;
    const TPageSpan span = SpanOf(params, eeprom);

    TProgRun run(params, progress);
    run.Phase(kColorReading, span.Count - 1);
    progress.SetText(ElapsedText(0.0));
    run.Open(1);
    if (!EnterProgMode89S8253()) return ProgNoDevice;
    Pause(kAfterEnable);
    std::vector<uint8_t> pages(span.Bytes());
    ReadPages(run, eeprom, span, pages.data(), true);
    const auto from = pages.begin() + (params.StartAddress - span.First);
    data.assign(from, from + params.Size);
    run.Close();
    return ProgOk;
}

}  // namespace

int32_t PageAddressSpace(TPageFamily family, bool eeprom) {
    if (family == TPageFamily::AT89S52) return eeprom ? 0 : 8192;
    return eeprom ? 2048 : 16384;
}

bool EnterProgMode89S8253() { return EnterProgMode(Is8253() ? kHandshake89S8253 : kHandshake89S52); }

void WriteFlashPage89S8253(int32_t address, const uint8_t* page) { SendPage(false, address, page); }

void WriteEEPROMPage89S8253(int32_t address, const uint8_t* page) {
    if (Is8253()) SendPage(true, address, page);
}

ProgResult WriteFlash89S8253(const TProgParams& params, IProgress& progress) {
    if (!AcceptsWrite(params, false)) return ProgNoData;
    const bool backup = params.Backup && Is8253();
    const TPageSpan span = SpanOf(params, false);
    const std::vector<uint8_t> image = PageImage(params, span);

    TProgRun run(params, progress);
    run.Phase(kColorWriting, span.Count - 1);
    run.Open(1);
    if (!EnterProgMode89S8253()) return ProgNoDevice;
    Pause(kAfterEnable);
    if (backup) {
        BackupEEPROM89S8253(run);
        run.Phase(kColorWriting, span.Count - 1);
    }
    EraseChip(params.WaitErase, 500000);
    if (!EnterProgMode89S8253()) {
        if (backup) Strand(true);
        return ProgNoDevice;
    }
    for (int32_t p = 0; p < span.Count; ++p) {
        WriteFlashPage89S8253(span.Address(p), image.data() + span.Offset(p));
        Pause(params.WaitFlash);
        run.Step(p);
    }
    return FinishWrite(run, params, false, span, backup);
}

ProgResult WriteEEPROM89S8253(const TProgParams& params, IProgress& progress) {
    if (!AcceptsWrite(params, true)) return ProgNoData;
    static constexpr std::array<uint8_t, kEEPROMPageSize> kBlankPage = [] {
        std::array<uint8_t, kEEPROMPageSize> page{};
        page.fill(0xFF);
        return page;
    }();
    const TPageSpan span = SpanOf(params, true);
    const std::vector<uint8_t> image = PageImage(params, span);

    TProgRun run(params, progress);
    run.Phase(kColorWriting, span.Count - 1);
    run.Open(1);
    // Without an answer the erase (and with it the backup) is skipped and the
    // pages are written over what the E²PROM holds.
    bool backupTaken = false;
    if (EnterProgMode89S8253()) {
        Pause(kAfterEnable);
        if (params.Backup) {
            BackupFlash89S8253(run);
            backupTaken = true;
            run.Phase(kColorWriting, span.Count - 1);
        }
        EraseChip(10000, 20000);
    }
    if (!EnterProgMode89S8253()) {
        if (backupTaken) Strand(false);
        return ProgNoDevice;
    }
    for (int32_t p = 0; p < span.Count; ++p) {
        WriteEEPROMPage89S8253(span.Address(p), kBlankPage.data());
        Pause(params.WaitEEPROM);
        WriteEEPROMPage89S8253(span.Address(p), image.data() + span.Offset(p));
        Pause(params.WaitEEPROM);
        run.Step(p);
    }
    return FinishWrite(run, params, true, span, backupTaken);
}

ProgResult Write89S8253(const TProgParams& params, IProgress& progress) {
    PageFamily = TPageFamily::AT89S8253;
    if (!HasWriteData(params)) return ProgNoData;
    return params.EEPROM ? WriteEEPROM89S8253(params, progress) : WriteFlash89S8253(params, progress);
}

ProgResult Write89S52(const TProgParams& params, IProgress& progress) {
    PageFamily = TPageFamily::AT89S52;
    if (!HasWriteData(params) || params.EEPROM) return ProgNoData;
    return WriteFlash89S8253(params, progress);
}

ProgResult Read89S8253(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data) {
    PageFamily = TPageFamily::AT89S8253;
    return ReadPaged(params, progress, data);
}

ProgResult Read89S52(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data) {
    PageFamily = TPageFamily::AT89S52;
    return ReadPaged(params, progress, data);
}

bool WriteFuseLock89S8253(uint8_t fuseBits, uint8_t lockBits) {
    PageFamily = TPageFamily::AT89S8253;
    if (!EnterProgMode89S8253()) return false;
    const std::array<uint8_t, 4> fuses{0xAC, static_cast<uint8_t>(0x10 | (fuseBits & 0x0F)), 0x00, 0x00};
    const std::array<uint8_t, 4> locks{0xAC, static_cast<uint8_t>(0xE0 | (lockBits & 0x07)), 0x00, 0x00};
    SendBytes(fuses.data(), fuses.size());
    Pause(kFuseWriteTime89S8253);
    SendBytes(locks.data(), locks.size());
    return true;
}

void ReadFuseLockBits89S8253(uint8_t& fuseBits, uint8_t& lockBits) {
    fuseBits = ReadInstruction(0x21, 0x00, 0x00) & 0x0F;
    lockBits = ReadInstruction(0x24, 0x00, 0x00) & 0x07;
}

bool ReadFuseLock89S8253(uint8_t& fuseBits, uint8_t& lockBits) {
    PageFamily = TPageFamily::AT89S8253;
    if (!EnterProgMode89S8253()) return false;
    ReadFuseLockBits89S8253(fuseBits, lockBits);
    return true;
}

std::optional<TStrandedBackup> TakeStrandedBackup() {
    std::optional<TStrandedBackup> out = std::move(Stranded);
    Stranded.reset();
    return out;
}

}  // namespace kestrin
