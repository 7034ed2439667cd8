// Builds small ELF files byte by byte, for the ELF reader's edge cases, its
// fuzzer's thoughts and the benchmark: any class and byte order, sections with
// separate run and load addresses, with or without program and section headers.
// It writes the structures of the System V ABI itself (no libelf), so that a
// fault of the reader's libelf use cannot hide in the files it is tested with.
#pragma once

#include <elf.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kestrin::test {

struct ElfSection {
    std::string name;
    uint64_t address = 0;        // run address (VMA): sh_addr, p_vaddr
    uint64_t loadAddress = 0;    // load address (LMA): p_paddr
    std::vector<uint8_t> bytes;  // contents; for SHT_NOBITS only the size counts
    uint32_t type = SHT_PROGBITS;
    uint64_t flags = SHF_ALLOC;
    bool loaded = true;          // a PT_LOAD program header holds it
};

struct ElfSpec {
    bool wide = false;       // ELFCLASS64
    bool bigEndian = false;  // ELFDATA2MSB
    uint16_t type = ET_EXEC;
    uint16_t machine = EM_AVR;
    bool sectionHeaders = true;
    std::vector<ElfSection> sections;
};

// A section as avr-gcc places it: run and load address the same.
inline ElfSection Section(std::string name, uint64_t address, std::vector<uint8_t> bytes) {
    ElfSection s;
    s.name = std::move(name);
    s.address = s.loadAddress = address;
    s.bytes = std::move(bytes);
    return s;
}

class ElfWriter {
public:
    explicit ElfWriter(const ElfSpec& spec) : spec_(spec) {}

    std::vector<uint8_t> Build() {
        const bool wide = spec_.wide;
        const std::size_t ehsize = wide ? 64 : 52, phentsize = wide ? 56 : 32, shentsize = wide ? 64 : 40;
        std::size_t phnum = 0;
        for (const ElfSection& s : spec_.sections) phnum += s.loaded ? 1 : 0;

        // Layout: header, program headers, contents, section names, section headers.
        std::vector<uint64_t> offsets;
        uint64_t offset = ehsize + phnum * phentsize;
        for (const ElfSection& s : spec_.sections) {
            offsets.push_back(offset);
            if (s.type != SHT_NOBITS) offset += s.bytes.size();
        }
        std::string names(1, '\0');
        std::vector<uint32_t> nameAt;
        for (const ElfSection& s : spec_.sections) {
            nameAt.push_back(static_cast<uint32_t>(names.size()));
            names += s.name + '\0';
        }
        const uint32_t shstrtabName = static_cast<uint32_t>(names.size());
        names += std::string(".shstrtab") + '\0';
        const uint64_t namesOffset = offset;
        const uint64_t shoff = (namesOffset + names.size() + 7) / 8 * 8;
        const std::size_t shnum = spec_.sectionHeaders ? spec_.sections.size() + 2 : 0;

        // e_ident, then the header.
        const uint8_t ident[EI_NIDENT] = {ELFMAG0, ELFMAG1, ELFMAG2, ELFMAG3,
                                          static_cast<uint8_t>(wide ? ELFCLASS64 : ELFCLASS32),
                                          static_cast<uint8_t>(spec_.bigEndian ? ELFDATA2MSB : ELFDATA2LSB),
                                          EV_CURRENT};
        out_.assign(ident, ident + EI_NIDENT);
        Put(spec_.type, 2);
        Put(spec_.machine, 2);
        Put(EV_CURRENT, 4);
        PutAddress(0);                                // e_entry
        PutAddress(phnum ? ehsize : 0);               // e_phoff
        PutAddress(shnum ? shoff : 0);                // e_shoff
        Put(0, 4);                                    // e_flags
        Put(ehsize, 2);
        Put(phentsize, 2);
        Put(phnum, 2);
        Put(shentsize, 2);
        Put(shnum, 2);
        Put(shnum ? shnum - 1 : 0, 2);                // e_shstrndx: the last section

        for (std::size_t i = 0; i < spec_.sections.size(); ++i) {
            const ElfSection& s = spec_.sections[i];
            if (!s.loaded) continue;
            const uint64_t fileSize = s.type == SHT_NOBITS ? 0 : s.bytes.size();
            Put(PT_LOAD, 4);
            if (wide) Put(PF_R, 4);
            PutAddress(offsets[i]);
            PutAddress(s.address);
            PutAddress(s.loadAddress);
            PutAddress(fileSize);
            PutAddress(s.bytes.size());
            if (!wide) Put(PF_R, 4);
            PutAddress(1);  // p_align
        }
        for (const ElfSection& s : spec_.sections) {
            if (s.type != SHT_NOBITS) out_.insert(out_.end(), s.bytes.begin(), s.bytes.end());
        }
        out_.insert(out_.end(), names.begin(), names.end());
        out_.resize(shoff, 0);
        if (shnum) {
            PutSectionHeader(0, SHT_NULL, 0, 0, 0, 0);
            for (std::size_t i = 0; i < spec_.sections.size(); ++i) {
                const ElfSection& s = spec_.sections[i];
                PutSectionHeader(nameAt[i], s.type, s.flags, s.address, offsets[i], s.bytes.size());
            }
            PutSectionHeader(shstrtabName, SHT_STRTAB, 0, 0, namesOffset, names.size());
        }
        return out_;
    }

private:
    void Put(uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = spec_.bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
            out_.push_back(static_cast<uint8_t>(value >> shift));
        }
    }
    void PutAddress(uint64_t value) { Put(value, spec_.wide ? 8 : 4); }
    void PutSectionHeader(uint32_t name, uint32_t type, uint64_t flags, uint64_t address, uint64_t offset,
                          uint64_t size) {
        Put(name, 4);
        Put(type, 4);
        PutAddress(flags);
        PutAddress(address);
        PutAddress(offset);
        PutAddress(size);
        Put(0, 4);  // sh_link
        Put(0, 4);  // sh_info
        PutAddress(1);
        PutAddress(0);
    }

    const ElfSpec& spec_;
    std::vector<uint8_t> out_;
};

inline std::vector<uint8_t> BuildElf(const ElfSpec& spec) { return ElfWriter(spec).Build(); }

// A linked program as avr-gcc leaves one built with FUSES and LOCKBITS: a few
// words of code, the fuse bytes, the lock byte when given, and the signature
// (as the chip answers it; the file holds it reversed) when given.
inline std::vector<uint8_t> AvrProgramWithFuses(const std::vector<uint8_t>& fuses, int lock = -1,
                                                const std::vector<uint8_t>& signature = {}) {
    ElfSpec spec;
    spec.sections.push_back(Section(".text", 0, {0x0C, 0x94, 0x34, 0x00, 0xFF, 0xCF}));
    if (!fuses.empty()) spec.sections.push_back(Section(".fuse", 0x820000, fuses));
    if (lock >= 0) spec.sections.push_back(Section(".lock", 0x830000, {static_cast<uint8_t>(lock)}));
    if (!signature.empty())
        spec.sections.push_back(Section(".signature", 0x840000, {signature.rbegin(), signature.rend()}));
    return BuildElf(spec);
}

}  // namespace kestrin::test
