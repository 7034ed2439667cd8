// The pieces kestrin-cli is built from that a process test reaches only
// roughly: the file digest, the JSON text, option values, fuse assignments,
// the ISP questions and the progress lines.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/Sha256.h"
#include "cli/TerminalProgress.h"
#include "jobs/ChipCommands.h"

namespace kestrin::test {
namespace {

TEST(CliParts, Sha256OfKnownTexts) {
    struct Case {
        std::string text;
        const char* digest;
    };
    const std::vector<Case> cases = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits the first block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000, 'a'), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Sha256Hex(reinterpret_cast<const uint8_t*>(c.text.data()), c.text.size()), c.digest)
            << c.text.size() << " bytes";
    }
    // Fed in pieces of every size, the digest is the same.
    const std::string text(1000, 'a');
    for (size_t piece : {1u, 7u, 63u, 64u, 65u}) {
        TSha256 sha;
        for (size_t at = 0; at < text.size(); at += piece)
            sha.Update(reinterpret_cast<const uint8_t*>(text.data()) + at, std::min(piece, text.size() - at));
        EXPECT_EQ(sha.HexDigest(), cases[3].digest) << piece;
    }
}

TEST(CliParts, JsonObjectReadsBackWithEveryKindOfText) {
    const std::string awkward = "C:\\dir\\\"quoted\"\n\ttab\x01 E²PROM";
    TJsonObject object;
    object.Add("text", awkward).Add("count", int64_t{-12}).Add("flag", true).AddSeconds("t", 1.23456).AddNull("none");
    object.AddRaw("inner", TJsonObject().Add("a", 1).Text());
    const nlohmann::json parsed = nlohmann::json::parse(object.Text());
    EXPECT_EQ(parsed["text"], awkward);
    EXPECT_EQ(parsed["count"], -12);
    EXPECT_EQ(parsed["flag"], true);
    EXPECT_DOUBLE_EQ(parsed["t"].get<double>(), 1.235);
    EXPECT_TRUE(parsed["none"].is_null());
    EXPECT_EQ(parsed["inner"]["a"], 1);
}

TEST(CliParts, AddressesAndSizes) {
    struct Case {
        const char* text;
        std::optional<int64_t> address;
        std::optional<int64_t> size;
    };
    const std::vector<Case> cases = {
        {"0", 0, std::nullopt},       {"512", 512, 512},          {"0x200", 512, 512},
        {"0XFFFF", 0xFFFF, 0xFFFF},   {"65536", 65536, 65536},        {"0x3FFFF", 0x3FFFF, 0x3FFFF},
        {"0x40000", std::nullopt, 0x40000}, {"0x40001", std::nullopt, std::nullopt},
        {"0x10000000000000000", std::nullopt, std::nullopt},
        {"-1", std::nullopt, std::nullopt}, {"12k", std::nullopt, std::nullopt}, {"0x", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},   {" 5", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseAddress(c.text), c.address) << c.text;
        EXPECT_EQ(ParseSize(c.text), c.size) << c.text;
    }
}

TEST(CliParts, ChipNamesGiveProfilesOfTheirType) {
    struct Case {
        const char* name;
        bool known;
        uint8_t type;
        int32_t waitEEPROM;
        int32_t waitErase;
    };
    const std::vector<Case> cases = {
        {"AT89S8252", true, ctAT89S8252, 4000, -1}, {"at89s8253", true, ctAT89S8253, 4500, 500000},
        {"AT89S52", true, ctAT89S52, -1, 500000},   {"AT89S53", true, ctAT89S53, -1, -1},
        {"ATmega", true, ctATmega, 9000, 10000},     {"AT89C2051", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const auto profile = ChipProfile(c.name);
        ASSERT_EQ(profile.has_value(), c.known) << c.name;
        if (!c.known) continue;
        EXPECT_EQ(profile->Type, c.type) << c.name;
        EXPECT_EQ(profile->WaitEEPROM, c.waitEEPROM) << c.name;
        EXPECT_EQ(profile->WaitErase, c.waitErase) << c.name;
        EXPECT_FALSE(profile->IsDefault);
    }
    // A part of the device table brings its own type and write times.
    const auto mega = ChipProfile("ATmega328P");
    ASSERT_TRUE(mega.has_value());
    EXPECT_EQ(mega->Type, ctATmega);
    EXPECT_GT(mega->WaitFlash, 0);
}

TEST(CliParts, FormatsByNameAndByExtension) {
    EXPECT_EQ(FormatEntry("auto", "fw.HEX"), 2);
    EXPECT_EQ(FormatEntry("auto", "fw.obj"), 2);
    EXPECT_EQ(FormatEntry("auto", "fw.bin"), 1);
    EXPECT_EQ(FormatEntry("auto", "firmware"), 1);
    EXPECT_EQ(FormatEntry("hex", "fw.bin"), 2);
    EXPECT_EQ(FormatEntry("bin", "fw.hex"), 1);
    EXPECT_EQ(FormatEntry("srec", "fw.bin"), 4);
    EXPECT_EQ(FormatEntry("elf", "fw.bin"), 5);
    EXPECT_EQ(FormatEntry("auto", "fw.s19"), 4);
    EXPECT_EQ(FormatEntry("auto", "fw.elf"), 5);
    EXPECT_EQ(FormatEntry("auto", "fw.eep"), 2);
    EXPECT_EQ(FormatEntry("ihex", "fw.hex"), std::nullopt);
}

TEST(CliParts, FuseAssignments) {
    struct Case {
        uint8_t type;
        const char* text;
        bool ok;
        uint8_t low, high, fuses, lock;
    };
    const std::vector<Case> cases = {
        {ctATmega, "low=0xE2,high=0xD9", true, 0xE2, 0xD9, 0, 0},
        {ctATtiny, "high=217", true, 0x11, 0xD9, 0, 0},
        {ctAT89S8253, "fuses=0x0E,lock=7", true, 0x11, 0x22, 0x0E, 0x07},
        {ctAT89S8253, "fuses=0x1F", false, 0, 0, 0, 0},  // four user fuses only
        {ctATmega, "low=0x100", false, 0, 0, 0, 0},
        {ctATmega, "lock=0x100", false, 0, 0, 0, 0},
        {ctATmega, "low", false, 0, 0, 0, 0},
        {ctATmega, "low=0xE2,", false, 0, 0, 0, 0},
        {ctAT89S8252, "low=1", false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        TFuseBits bits{0x11, 0x22, 0, 0};
        const auto error = ApplyFuseAssignments(c.type, c.text, bits);
        EXPECT_EQ(!error.has_value(), c.ok) << c.text << ": " << error.value_or("");
        if (!c.ok) continue;
        EXPECT_EQ(bits.FuseLow, c.low) << c.text;
        EXPECT_EQ(bits.FuseHigh, c.high) << c.text;
        EXPECT_EQ(bits.UserFuses, c.fuses) << c.text;
        EXPECT_EQ(bits.LockBits, c.lock) << c.text;
    }

    // An AVR's extended fuse and lock byte; the extended byte only where the part has one.
    TFuseBits avr;
    EXPECT_FALSE(ApplyFuseAssignments(ctATmega, "extended=0xFD,lock=0xFC", avr, FindDevice("ATmega328P")));
    EXPECT_EQ(avr.FuseExtended, 0xFD);
    EXPECT_EQ(avr.AvrLock, 0xFC);
    EXPECT_EQ(ApplyFuseAssignments(ctATmega, "extended=0xFD", avr, FindDevice("ATmega8")),
              "\"extended\": not a fuse of the ATmega8 (low, high, lock)");
}

TEST(CliParts, BitsThatCutOffSerialProgrammingAreNamed) {
    struct Case {
        uint8_t type;
        const char* part;
        TFuseBits bits;
        std::vector<std::string> reasons;  // a word each reason holds
    };
    const TFuseBits chip{0xE1, 0xD9, 0, 0};
    const std::vector<Case> cases = {
        {ctATmega, "ATmega328P", {0xE2, 0xD9, 0, 0}, {}},
        {ctATmega, "ATmega328P", {0xE1, 0xF9, 0, 0}, {"SPIEN"}},
        {ctATmega, "ATmega328P", {0xE1, 0x59, 0, 0}, {"RSTDISBL"}},
        {ctATmega, "ATmega328P", {0xE1, 0x99, 0, 0}, {"DWEN"}},
        {ctATmega, "ATmega8", {0xE1, 0x99, 0, 0}, {}},  // bit 6 is WDTON there
        {ctATtiny, "ATtiny13", {0xE1, 0xD9, 0, 0}, {"SPIEN"}},  // SPIEN sits in the low fuse
        {ctATtiny, "ATtiny2313", {0x61, 0xD8, 0, 0}, {"RSTDISBL"}},
        {ctATmega, "ATmega4809", {0xE2, 0xD9, 0, 0}, {"not known"}},
        {ctATmega, "ATmega4809", chip, {}},
        {ctAT89S8253, "", {0, 0, 0x01, 0x07}, {"Fuse1"}},
        {ctAT89S8253, "", {0, 0, 0x0E, 0x07}, {}},
    };
    for (const Case& c : cases) {
        const auto reasons = IspCuttingReasons(c.type, c.part, chip, c.bits);
        ASSERT_EQ(reasons.size(), c.reasons.size()) << c.part << " " << int{c.bits.FuseHigh};
        for (size_t i = 0; i < reasons.size(); ++i)
            EXPECT_NE(reasons[i].find(c.reasons[i]), std::string::npos) << reasons[i];
    }
}

// Feeds the gauge calls of a run into the progress display, as a non-terminal sees them.
std::string PhaseLines(TJobKind kind, const std::vector<std::pair<uint32_t, int32_t>>& phases) {
    std::FILE* out = std::tmpfile();
    {
        TTerminalProgress progress(out, false, kind, 1000, 2048);
        for (const auto& [color, units] : phases) {
            progress.SetColor(color);
            progress.SetProgress(0);
            progress.SetMaxValue(units > 0 ? units - 1 : 3);
            for (int32_t u = 0; u < units; ++u) progress.SetProgress(u);
        }
        progress.Finish();
    }
    std::rewind(out);
    std::string text;
    for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) text += static_cast<char>(c);
    std::fclose(out);
    std::string names;
    for (size_t at = 0; at < text.size();) {
        const size_t colon = text.find(':', at);
        names += text.substr(at, colon - at) + " ";
        at = text.find('\n', at) + 1;
    }
    return names;
}

TEST(CliParts, PhasesAreNamedByWhatTheJobDoes) {
    const uint32_t w = kColorWriting;
    const uint32_t r = kColorReading;
    // The page-mode write opens its gauge before the backup and leaves it at zero.
    EXPECT_EQ(PhaseLines(TJobKind::Write, {{w, 0}, {r, 8}, {w, 4}, {r, 4}, {w, 8}}), "backup write verify restore ");
    EXPECT_EQ(PhaseLines(TJobKind::Write, {{w, 10}, {r, 10}}), "write verify ");
    EXPECT_EQ(PhaseLines(TJobKind::Read, {{r, 10}}), "read ");
    EXPECT_EQ(PhaseLines(TJobKind::Erase, {{w, 1}}), "erase ");
    // Without progress, a phase leaves no line.
    std::FILE* out = std::tmpfile();
    {
        TTerminalProgress progress(out, false, TJobKind::Write, 10, 0);
        progress.SetColor(w);
        progress.SetProgress(0);
        progress.SetMaxValue(9);
        progress.Finish();
    }
    EXPECT_EQ(std::ftell(out), 0);
    std::fclose(out);
}

TEST(CliParts, LiveLineShowsBytesRateAndTimeLeft) {
    EXPECT_EQ(TTerminalProgress::LiveLine("write", 2000, 8000, 1.0), "write      2000/8000 bytes  25%  2.0 kB/s  0:03 left");
    EXPECT_EQ(TTerminalProgress::LiveLine("verify", 0, 512, 0.0), "verify        0/512 bytes   0%");
    EXPECT_EQ(TTerminalProgress::PhaseLine("restore", 2048, 1.25), "restore: 2048 bytes in 1.2 s");
}

// What an ELF program's fuse sections offer for the chip that was read.
TEST(CliParts, ElfFuseValuesAreOfferedOnlyForTheirPart) {
    auto chipOf = [](const char* part) {
        TFuseBits bits;
        bits.Device = FindDevice(part);
        bits.Signature = bits.Device->Signature;
        bits.FuseLow = 0x62;
        bits.FuseHigh = 0xD9;
        bits.FuseExtended = 0xFF;
        return bits;
    };
    auto file = [](std::vector<uint8_t> fuses, std::optional<uint8_t> lock, std::optional<TSignature> signature) {
        DataFileContents c;
        if (!fuses.empty()) c.fuses = fuses;
        c.lock = lock;
        c.signature = signature;
        return c;
    };
    const struct {
        const char* what;
        uint8_t type;
        const char* part;
        DataFileContents contents;
        std::string values, refusal;
        uint8_t low, extended, lock;
    } cases[] = {
        {"all three and the lock", ctATmega, "ATmega328P", file({0xE2, 0xD9, 0xFD}, 0xFC, TSignature{0x1E, 0x95, 0x0F}),
         "low=E2 high=D9 extended=FD lock=FC", "", 0xE2, 0xFD, 0xFC},
        {"the lock alone keeps the fuses", ctATmega, "ATmega328P", file({}, 0xFE, std::nullopt), "lock=FE", "", 0x62,
         0xFF, 0xFE},
        {"one fuse byte", ctATtiny, "ATtiny13", file({0x6A}, std::nullopt, std::nullopt), "low=6A", "", 0x6A, 0xFF, 0xFF},
        {"more fuse bytes than the part", ctATmega, "ATmega8", file({0xE1, 0xD9, 0xFF}, std::nullopt, std::nullopt), "",
         "the file sets 3 fuse bytes, the ATmega8 has 2", 0x62, 0xFF, 0xFF},
        {"an unknown signature", ctATmega, "ATmega8", file({0xE1}, std::nullopt, TSignature{0x1E, 0x12, 0x34}), "",
         "the file is built for signature 1E 12 34, the attached chip is an ATmega8", 0x62, 0xFF, 0xFF},
        {"no fuses at all", ctATmega, "ATmega8", file({}, std::nullopt, std::nullopt), "",
         "the file holds no fuse or lock values", 0x62, 0xFF, 0xFF},
        {"an 8051", ctAT89S8253, "ATmega8", file({0xE1}, std::nullopt, std::nullopt), "",
         "the AT89S8253 takes no fuse values from an ELF program", 0x62, 0xFF, 0xFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TElfFuseOffer offer = ElfFuseOffer(c.type, c.contents, chipOf(c.part));
        EXPECT_EQ(offer.Values, c.values);
        EXPECT_EQ(offer.Refusal, c.refusal);
        EXPECT_EQ(offer.Bits.FuseLow, c.low);
        EXPECT_EQ(offer.Bits.FuseExtended, c.extended);
        EXPECT_EQ(offer.Bits.AvrLock, c.lock);
    }
}

}  // namespace
}  // namespace kestrin::test
