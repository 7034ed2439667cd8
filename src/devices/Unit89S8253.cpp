#include "devices/Unit89S8253.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "devices/PageSpan.h"
#include "devices/ReadPipeline.h"
#include "link/SPI.h"

namespace kestrin {

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

// The part a run talks to; every helper below is told, none remembers.
class TPaged {
public:
    explicit TPaged(TPageFamily family) : family_(family) {}

    bool Is8253() const { return family_ == TPageFamily::AT89S8253; }
    TPageFamily Family() const { return family_; }

    int32_t PageSize(bool eeprom) const {
        if (eeprom) return kEEPROMPageSize;
        return Is8253() ? 64 : 256;
    }

    // Writes the instruction header for the page at address into out; returns its length.
    size_t PageHeader(uint8_t opcode, bool eeprom, int32_t address, uint8_t* out) const {
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

    // One page write, header and data built into one stream. The AT89S52 has
    // no E²PROM page write; nothing is sent for it.
    void SendPage(bool eeprom, int32_t address, const uint8_t* page) const {
        if (eeprom && !Is8253()) return;
        std::array<uint8_t, kLargestHeader + kLargestPage> buffer{};
        const size_t header = PageHeader(eeprom ? kEEPROMPageWrite : kFlashPageWrite, eeprom, address, buffer.data());
        const auto size = static_cast<size_t>(PageSize(eeprom));
        std::memcpy(buffer.data() + header, page, size);
        SendBytes(buffer.data(), header + size);
    }

    // One page write as the restores send it: the header in a call of its own.
    void SendPageHeaderFirst(bool eeprom, int32_t address, const uint8_t* page) const {
        std::array<uint8_t, kLargestHeader> header{};
        SendBytes(header.data(), PageHeader(eeprom ? kEEPROMPageWrite : kFlashPageWrite, eeprom, address, header.data()));
        SendBytes(page, static_cast<size_t>(PageSize(eeprom)));
    }

    // One page read: the header goes out, then the page is clocked in while zero bytes are sent.
    void ReadPage(TReadPipeline& pipeline, bool eeprom, int32_t address, uint8_t* out) const {
        static constexpr std::array<uint8_t, kLargestPage> kZeros{};
        std::array<uint8_t, kLargestHeader> header{};
        pipeline.Send(header.data(),
                      PageHeader(eeprom ? kEEPROMPageRead : kFlashPageRead, eeprom, address, header.data()));
        const auto size = static_cast<size_t>(PageSize(eeprom));
        std::fill_n(out, size, 0);  // a driver without an adapter leaves the buffer as it was
        pipeline.Exchange(kZeros.data(), out, size);
    }

    bool Handshake() const { return EnterProgModePaged(family_); }

    TPageSpan SpanOf(const TProgParams& params, bool eeprom) const { return PageSpanOf(params, PageSize(eeprom)); }

    // A block the page instructions can address. Checked before anything is sent.
    bool AcceptsBlock(const TProgParams& params, bool eeprom) const {
        const int64_t end = int64_t{params.StartAddress} + params.Size;
        return params.Size >= 1 && params.StartAddress >= 0 && end <= PageAddressSpace(family_, eeprom);
    }

    bool AcceptsWrite(const TProgParams& params, bool eeprom) const {
        return HasWriteData(params) && AcceptsBlock(params, eeprom);
    }

    // Reads span's pages into out; labelled runs show the elapsed time after each page.
    void ReadPages(TProgRun& run, bool eeprom, const TPageSpan& span, uint8_t* out, bool label) const {
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

private:
    TPageFamily family_;
};

// The memory a writer is not writing (AT89S8253 only): read before the chip
// erase, handed to the keeper (the backup journal on disk) before the erase
// may start, written back and read back afterwards. Until it is back in the
// chip the copy sits in the caller's report as well.
class TOtherMemory {
public:
    TOtherMemory(const TPaged& chip, TProgRun& run, bool eeprom, int32_t wait, IBackupKeeper* keeper)
        : chip_(chip), run_(run), eeprom_(eeprom), wait_(wait), keeper_(keeper),
          pages_(eeprom ? kEEPROMPages : kFlashPages8253),
          copy_(static_cast<size_t>(pages_) * static_cast<size_t>(chip.PageSize(eeprom))) {}

    // Reads the memory and has it kept; throws (BackupNotKept) when the
    // keeper cannot keep it, so that nothing gets erased.
    void Take() {
        run_.Phase(kColorReading, pages_ - 1);
        chip_.ReadPages(run_, eeprom_, Span(), copy_.data(), false);
        TStrandedBackup backup{eeprom_, copy_};
        std::string reason;
        if (keeper_ != nullptr && !keeper_->Keep(backup, reason)) {
            if (TRunReport* report = run_.Report()) report->Refusal = reason;
            throw TRunAborted{TRunAborted::TWhy::BackupNotKept};
        }
        if (TRunReport* report = run_.Report()) report->PendingBackup = std::move(backup);
        taken_ = true;
    }

    // A copy kept from an earlier run, to be written back.
    void Load(const uint8_t* data) {
        std::copy_n(data, copy_.size(), copy_.begin());
        if (TRunReport* report = run_.Report()) report->PendingBackup = TStrandedBackup{eeprom_, copy_};
        taken_ = true;
    }

    size_t Bytes() const { return copy_.size(); }

    // Writes the copy back page by page, then reads it back. A page write
    // keeps the chip busy for its write cycle and it ignores what arrives
    // meanwhile, so every page is followed by the profile's wait. A stop is
    // not taken while it runs: the copy must get back into the chip. Only a
    // copy read back the same is released (keeper and report); false when
    // it read back differently.
    bool Restore() {
        if (!taken_) return true;
        run_.SetStoppable(false);
        const TPageSpan span = Span();
        run_.Phase(kColorWriting, pages_ - 1);
        for (int32_t p = 0; p < pages_; ++p) {
            chip_.SendPageHeaderFirst(eeprom_, span.Address(p), copy_.data() + span.Offset(p));
            Pause(wait_);
            run_.Tick(p);
        }
        run_.Phase(kColorReading, pages_ - 1);
        std::vector<uint8_t> readBack(copy_.size());
        chip_.ReadPages(run_, eeprom_, span, readBack.data(), false);
        const bool same = readBack == copy_;
        TRunReport* report = run_.Report();
        if (same) {
            if (keeper_ != nullptr) keeper_->Restored();
            if (report != nullptr) report->PendingBackup.reset();
        } else if (report != nullptr) {
            report->RestoreFailed = true;
        }
        run_.SetStoppable(true);
        return same;
    }

private:
    TPageSpan Span() const { return TPageSpan{0, pages_, chip_.PageSize(eeprom_)}; }

    const TPaged& chip_;
    TProgRun& run_;
    bool eeprom_;
    int32_t wait_;
    IBackupKeeper* keeper_;
    int32_t pages_;
    std::vector<uint8_t> copy_;
    bool taken_ = false;
};

void EraseChip(int32_t eraseWait, int32_t releaseWait) {
    SendBytes(kChipErase.data(), kChipErase.size());
    Pause(eraseWait);
    Ops.SetEnables(0, 1);
    Pause(releaseWait);
}

// Reads the written pages back and compares them with the image.
ProgResult VerifyPages(const TPaged& chip, TProgRun& run, const TProgParams& params, bool eeprom, const TPageSpan& span) {
    run.Phase(kColorReading, span.Count - 1);
    std::vector<uint8_t> readBack(span.Bytes());
    chip.ReadPages(run, eeprom, span, readBack.data(), true);
    const auto from = readBack.data() + (params.StartAddress - span.First);
    return SameBytes(params, params.StartAddress, params.Data, from, static_cast<size_t>(params.Size)) ? ProgOk
                                                                                                       : ProgVerifyFailed;
}

// Everything after the erase: the pages, the verify on request, then the
// other memory back into the chip (a difference found does not stop it; a stop
// ends the writing and the verify, never the restore).
template <typename WritePages>
ProgResult WriteAfterErase(const TPaged& chip, TProgRun& run, const TProgParams& params, bool eeprom,
                           const TPageSpan& span, TOtherMemory& other, WritePages&& writePages) {
    ProgResult result = ProgOk;
    try {
        writePages();
        if (params.Report != nullptr) params.Report->BytesWritten = params.Size;
        if (params.Verify) result = VerifyPages(chip, run, params, eeprom, span);
    } catch (const TRunAborted& aborted) {
        if (aborted.Why == TRunAborted::TWhy::Stopped) other.Restore();
        throw;
    }
    if (!other.Restore()) result = ProgVerifyFailed;
    run.Close();
    return result;
}

ProgResult ReadPaged(const TPaged& chip, const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data) {
    data.clear();
    const bool eeprom = params.EEPROM;
    if (!chip.AcceptsBlock(params, eeprom)) return ProgNoData;
    const TPageSpan span = chip.SpanOf(params, eeprom);
    return GuardRun(params, [&] {
        TProgRun run(params, progress);
        run.Phase(kColorReading, span.Count - 1);
        progress.SetText(ElapsedText(0.0));
        run.Open(1);
        if (!chip.Handshake()) return ProgNoDevice;
        Pause(kAfterEnable);
        std::vector<uint8_t> pages(span.Bytes());
        chip.ReadPages(run, eeprom, span, pages.data(), true);
        const auto from = pages.begin() + (params.StartAddress - span.First);
        data.assign(from, from + params.Size);
        run.Close();
        return ProgOk;
    });
}

ProgResult WriteFlashPaged(const TPaged& chip, const TProgParams& params, IProgress& progress) {
    if (!chip.AcceptsWrite(params, false)) return ProgNoData;
    const bool backup = params.Backup && chip.Is8253();
    const TPageSpan span = chip.SpanOf(params, false);
    const std::vector<uint8_t> image = PageImage(params, span);
    return GuardRun(params, [&] {
        TProgRun run(params, progress);
        TOtherMemory eepromCopy(chip, run, true, params.WaitEEPROM, params.Keeper);
        run.Phase(kColorWriting, span.Count - 1);
        run.Open(1);
        if (!chip.Handshake()) return ProgNoDevice;
        Pause(kAfterEnable);
        if (backup) {
            eepromCopy.Take();
            run.Phase(kColorWriting, span.Count - 1);
        }
        EraseChip(params.WaitErase, 500000);
        if (!chip.Handshake()) return ProgNoDevice;
        return WriteAfterErase(chip, run, params, false, span, eepromCopy, [&] {
            for (int32_t p = 0; p < span.Count; ++p) {
                chip.SendPage(false, span.Address(p), image.data() + span.Offset(p));
                Pause(params.WaitFlash);
                run.Step(p);
            }
        });
    });
}

ProgResult WriteEEPROMPaged(const TPaged& chip, const TProgParams& params, IProgress& progress) {
    if (!chip.AcceptsWrite(params, true)) return ProgNoData;
    static constexpr std::array<uint8_t, kEEPROMPageSize> kBlankPage = [] {
        std::array<uint8_t, kEEPROMPageSize> page{};
        page.fill(0xFF);
        return page;
    }();
    const TPageSpan span = chip.SpanOf(params, true);
    const std::vector<uint8_t> image = PageImage(params, span);
    return GuardRun(params, [&] {
        TProgRun run(params, progress);
        TOtherMemory flashCopy(chip, run, false, params.WaitFlash, params.Keeper);
        run.Phase(kColorWriting, span.Count - 1);
        run.Open(1);
        // The E²PROM has no erase of its own: the pages must be blank before
        // they are written, so the chip erase is never skipped. A target that
        // misses the first handshake gets a second one before it.
        if (!chip.Handshake() && !chip.Handshake()) return ProgNoDevice;
        Pause(kAfterEnable);
        if (params.Backup) {
            flashCopy.Take();
            run.Phase(kColorWriting, span.Count - 1);
        }
        EraseChip(10000, 20000);
        if (!chip.Handshake()) return ProgNoDevice;
        return WriteAfterErase(chip, run, params, true, span, flashCopy, [&] {
            for (int32_t p = 0; p < span.Count; ++p) {
                chip.SendPage(true, span.Address(p), kBlankPage.data());
                Pause(params.WaitEEPROM);
                chip.SendPage(true, span.Address(p), image.data() + span.Offset(p));
                Pause(params.WaitEEPROM);
                run.Step(p);
            }
        });
    });
}

ProgResult WriteBackPaged(const TPaged& chip, const TProgParams& params, IProgress& progress) {
    return GuardRun(params, [&] {
        TProgRun run(params, progress);
        TOtherMemory copy(chip, run, params.EEPROM, params.EEPROM ? params.WaitEEPROM : params.WaitFlash,
                          params.Keeper);
        if (params.Data == nullptr || params.Size != static_cast<int32_t>(copy.Bytes())) return ProgNoData;
        run.Phase(kColorWriting, 0);
        run.Open(1);
        if (!chip.Handshake()) return ProgNoDevice;
        Pause(kAfterEnable);
        copy.Load(params.Data);
        const bool same = copy.Restore();
        run.Close();
        return same ? ProgOk : ProgVerifyFailed;
    });
}

}  // namespace

int32_t PageAddressSpace(TPageFamily family, bool eeprom) {
    if (family == TPageFamily::AT89S52) return eeprom ? 0 : 8192;
    return eeprom ? 2048 : 16384;
}

bool EnterProgModePaged(TPageFamily family) {
    return EnterProgMode(family == TPageFamily::AT89S8253 ? kHandshake89S8253 : kHandshake89S52);
}

bool EnterProgMode89S8253() { return EnterProgModePaged(TPageFamily::AT89S8253); }
bool EnterProgMode89S52() { return EnterProgModePaged(TPageFamily::AT89S52); }

ProgResult Write89S8253(const TProgParams& params, IProgress& progress) {
    if (!HasWriteData(params)) return ProgNoData;
    const TPaged chip(TPageFamily::AT89S8253);
    return params.EEPROM ? WriteEEPROMPaged(chip, params, progress) : WriteFlashPaged(chip, params, progress);
}

ProgResult WriteBack89S8253(const TProgParams& params, IProgress& progress) {
    return WriteBackPaged(TPaged(TPageFamily::AT89S8253), params, progress);
}

ProgResult Write89S52(const TProgParams& params, IProgress& progress) {
    if (!HasWriteData(params) || params.EEPROM) return ProgNoData;
    return WriteFlashPaged(TPaged(TPageFamily::AT89S52), params, progress);
}

ProgResult Read89S8253(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data) {
    return ReadPaged(TPaged(TPageFamily::AT89S8253), params, progress, data);
}

ProgResult Read89S52(const TProgParams& params, IProgress& progress, std::vector<uint8_t>& data) {
    return ReadPaged(TPaged(TPageFamily::AT89S52), params, progress, data);
}

bool WriteFuseLock89S8253(uint8_t fuseBits, uint8_t lockBits) {
    if (!EnterProgMode89S8253()) return false;
    const std::array<uint8_t, 4> fuses{0xAC, static_cast<uint8_t>(0x10 | (fuseBits & 0x0F)), 0x00, 0x00};
    const std::array<uint8_t, 4> locks{0xAC, static_cast<uint8_t>(0xE0 | (lockBits & 0x07)), 0x00, 0x00};
    if (!SendBytes(fuses.data(), fuses.size())) return false;
    Pause(kFuseWriteTime89S8253);
    return SendBytes(locks.data(), locks.size());
}

void ReadFuseLockBits89S8253(uint8_t& fuseBits, uint8_t& lockBits) {
    fuseBits = ReadInstruction(0x21, 0x00, 0x00) & 0x0F;
    lockBits = ReadInstruction(0x24, 0x00, 0x00) & 0x07;
}

bool ReadFuseLock89S8253(uint8_t& fuseBits, uint8_t& lockBits) {
    if (!EnterProgMode89S8253()) return false;
    ReadFuseLockBits89S8253(fuseBits, lockBits);
    return true;
}

}  // namespace kestrin
