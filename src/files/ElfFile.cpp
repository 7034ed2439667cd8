#include "files/ElfFile.h"

#include <gelf.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "files/FileIo.h"

namespace kestrin {

namespace {

// One run of bytes for a load address: a section, or a program header where
// the file has no section headers.
struct Piece {
    std::string name;  // "section .text", "program header 2"
    uint64_t address = 0;  // load address
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
};

enum class Memory { Flash, Eeprom, Fuse, Lock, Signature };

struct ElfCloser {
    void operator()(Elf* elf) const { elf_end(elf); }
};

std::string Hex(uint64_t address) { return AddressText(static_cast<uint32_t>(std::min<uint64_t>(address, 0xFFFFFFFF))); }

std::string TypeProblem(unsigned type) {
    switch (type) {
        case ET_REL: return "an ELF relocatable object (.o), not a linked program";
        case ET_DYN: return "an ELF shared object, not a linked program";
        case ET_CORE: return "an ELF core dump, not a linked program";
        default: return "an ELF file of type " + std::to_string(type) + ", not a linked program";
    }
}

// The identification bytes decide before libelf is asked: they alone tell an
// ELF file of another kind from no ELF file.
std::string IdentProblem(const uint8_t* data, std::size_t size) {
    if (size < 4 || std::memcmp(data, ELFMAG, SELFMAG) != 0)
        return "not an ELF file (it does not begin with 7F 45 4C 46)";
    if (size < EI_NIDENT) return "a damaged ELF file (it ends inside its identification)";
    switch (data[EI_CLASS]) {
        case ELFCLASS32: break;
        case ELFCLASS64: return "a 64-bit ELF file; avr-gcc links AVR programs as 32-bit ELF files";
        default: return "an ELF file of an unknown class (neither 32- nor 64-bit)";
    }
    switch (data[EI_DATA]) {
        case ELFDATA2LSB: break;
        case ELFDATA2MSB: return "a big-endian ELF file; avr-gcc links AVR programs as little-endian ELF files";
        default: return "an ELF file of an unknown byte order";
    }
    return {};
}

// Sorts the pieces of one memory by address and names the first overlap.
std::string OverlapProblem(std::vector<const Piece*>& pieces) {
    std::sort(pieces.begin(), pieces.end(), [](const Piece* a, const Piece* b) { return a->address < b->address; });
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        const Piece& before = *pieces[i - 1];
        const Piece& after = *pieces[i];
        if (after.address < before.address + before.size)
            return before.name + " and " + after.name + " overlap at " + Hex(after.address);
    }
    return {};
}

// An image of the pieces, their addresses less base.
MemoryImage Image(const std::vector<const Piece*>& pieces, uint64_t base) {
    uint64_t end = 0;
    for (const Piece* piece : pieces) end = std::max(end, piece->address - base + piece->size);
    ImageBuilder builder(static_cast<uint32_t>(end));
    for (const Piece* piece : pieces) {
        std::copy_n(piece->bytes, piece->size, builder.Place(static_cast<uint32_t>(piece->address - base), piece->size));
    }
    return builder.Finish();
}

FileResult ReadElf(const uint8_t* data, std::size_t size, DataFileContents& contents) {
    if (std::string problem = IdentProblem(data, size); !problem.empty())
        return ReadFailure(contents, FileFormatError, std::move(problem));

    static const unsigned version = elf_version(EV_CURRENT);
    if (version == EV_NONE) return ReadFailure(contents, FileFormatError, "libelf cannot be used");
    // libelf reads from memory it may touch; it gets a copy of its own.
    std::vector<char> copy(data, data + size);
    const std::unique_ptr<Elf, ElfCloser> elf(elf_memory(copy.data(), copy.size()));
    if (!elf || elf_kind(elf.get()) != ELF_K_ELF)
        return ReadFailure(contents, FileFormatError, "a damaged ELF file (its header cannot be read)");
    // The gelf_ calls copy each header out: libelf would hand out pointers into
    // the file, misaligned wherever the file puts its tables at odd offsets.
    GElf_Ehdr header;
    if (!gelf_getehdr(elf.get(), &header))
        return ReadFailure(contents, FileFormatError, "a damaged ELF file (its header cannot be read)");
    if (header.e_type != ET_EXEC) return ReadFailure(contents, FileFormatError, TypeProblem(header.e_type));
    if (header.e_machine != EM_AVR) {
        return ReadFailure(contents, FileFormatError,
                    "an ELF file for another processor (machine " + std::to_string(header.e_machine) +
                        "), not for an AVR");
    }

    std::size_t programCount = 0, sectionCount = 0, names = 0;
    if (elf_getphdrnum(elf.get(), &programCount) != 0 || elf_getshdrnum(elf.get(), &sectionCount) != 0)
        return ReadFailure(contents, FileFormatError, "a damaged ELF file (its header tables cannot be read)");
    // Each program header takes 32 bytes of the file: a count beyond that is damage, not a reason to take memory.
    if (programCount > size / 32)
        return ReadFailure(contents, FileFormatError, "a damaged ELF file (its program headers cannot be read)");
    std::vector<GElf_Phdr> program(programCount);
    for (std::size_t i = 0; i < programCount; ++i) {
        if (!gelf_getphdr(elf.get(), static_cast<int>(i), &program[i]))
            return ReadFailure(contents, FileFormatError, "a damaged ELF file (its program headers cannot be read)");
    }
    const bool haveNames = elf_getshdrstrndx(elf.get(), &names) == 0;

    auto inFile = [size](uint64_t offset, uint64_t count) { return offset <= size && count <= size - offset; };
    std::vector<Piece> pieces;
    Elf_Scn* section = nullptr;
    while ((section = elf_nextscn(elf.get(), section)) != nullptr) {
        GElf_Shdr sh;
        if (!gelf_getshdr(section, &sh))
            return ReadFailure(contents, FileFormatError, "a damaged ELF file (a section header cannot be read)");
        if (!(sh.sh_flags & SHF_ALLOC) || sh.sh_type == SHT_NOBITS || sh.sh_size == 0) continue;
        const char* name = haveNames ? elf_strptr(elf.get(), names, sh.sh_name) : nullptr;
        Piece piece;
        piece.name = "section " + (name && *name ? std::string(name) : std::to_string(elf_ndxscn(section)));
        if (!inFile(sh.sh_offset, sh.sh_size))
            return ReadFailure(contents, FileFormatError, piece.name + " reaches beyond the end of the file");
        piece.bytes = data + sh.sh_offset;
        piece.size = static_cast<uint32_t>(sh.sh_size);
        // The load address is where the program header holding the section puts it.
        piece.address = sh.sh_addr;
        for (const GElf_Phdr& ph : program) {
            if (ph.p_type == PT_LOAD && ph.p_offset <= sh.sh_offset &&
                sh.sh_offset + sh.sh_size <= ph.p_offset + ph.p_filesz) {
                piece.address = ph.p_paddr + (sh.sh_offset - ph.p_offset);
                break;
            }
        }
        pieces.push_back(std::move(piece));
    }
    if (sectionCount == 0) {
        for (std::size_t i = 0; i < programCount; ++i) {
            const GElf_Phdr& ph = program[i];
            if (ph.p_type != PT_LOAD || ph.p_filesz == 0) continue;
            Piece piece;
            piece.name = "program header " + std::to_string(i);
            if (!inFile(ph.p_offset, ph.p_filesz))
                return ReadFailure(contents, FileFormatError, piece.name + " reaches beyond the end of the file");
            piece.bytes = data + ph.p_offset;
            piece.size = static_cast<uint32_t>(ph.p_filesz);
            piece.address = ph.p_paddr;
            pieces.push_back(std::move(piece));
        }
    }

    // Each piece to its memory; a piece must lie wholly inside one.
    std::vector<const Piece*> flash, eeprom, fuses, lock, signature;
    for (const Piece& piece : pieces) {
        const uint64_t first = piece.address, end = piece.address + piece.size;
        const std::string where = piece.name + " at " + Hex(first);
        if (end <= kElfRamBase) {
            flash.push_back(&piece);
        } else if (first < kElfRamBase) {
            return ReadFailure(contents, FileFormatError, where + " reaches beyond the Flash's 8 MB");
        } else if (first < kElfEepromBase) {
            return ReadFailure(contents, FileFormatError, where + " lies in the chip's RAM, which is not programmed");
        } else if (end <= kElfFuseBase) {
            eeprom.push_back(&piece);
        } else if (first < kElfFuseBase) {
            return ReadFailure(contents, FileFormatError, where + " reaches beyond the E²PROM's 64 KB");
        } else if (first < kElfLockBase) {
            if (end > kElfFuseBase + kElfMaxFuses)
                return ReadFailure(contents, FileFormatError, where + " holds fuse bytes beyond the 16th");
            fuses.push_back(&piece);
        } else if (first < kElfSignatureBase) {
            if (first != kElfLockBase || piece.size != 1)
                return ReadFailure(contents, FileFormatError, where + " is no lock byte: one byte at 830000h");
            lock.push_back(&piece);
        } else if (first < kElfWindowEnd) {
            if (first != kElfSignatureBase || piece.size != 3)
                return ReadFailure(contents, FileFormatError, where + " is no signature: three bytes at 840000h");
            signature.push_back(&piece);
        } else {
            return ReadFailure(contents, FileFormatError, where + " lies in no memory a chip is programmed in");
        }
    }
    for (auto* memory : {&flash, &eeprom, &fuses, &lock, &signature}) {
        if (std::string problem = OverlapProblem(*memory); !problem.empty())
            return ReadFailure(contents, FileFormatError, std::move(problem));
    }
    if (flash.empty() && eeprom.empty() && fuses.empty() && lock.empty())
        return ReadFailure(contents, FileNoData, "the ELF file holds nothing to program");

    try {
        if (!flash.empty()) contents.image = Image(flash, 0);
        if (!eeprom.empty()) contents.eeprom = Image(eeprom, kElfEepromBase);
        if (!fuses.empty()) {
            const MemoryImage fuseImage = Image(fuses, kElfFuseBase);
            // A missing fuse byte must not turn into FF: that would unprogram SPIEN.
            if (fuseImage.ranges.size() != 1 || fuseImage.ranges[0].first != 0) {
                const uint32_t gap = fuseImage.ranges[0].first != 0 ? 0 : fuseImage.ranges[0].end;
                return ReadFailure(contents, FileFormatError,
                            "the fuse bytes have a gap at " + Hex(kElfFuseBase + gap));
            }
            contents.fuses = fuseImage.bytes;
        }
        if (!lock.empty()) contents.lock = lock[0]->bytes[0];
        if (!signature.empty()) {
            const uint8_t* s = signature[0]->bytes;
            contents.signature = std::array<uint8_t, 3>{s[2], s[1], s[0]};
        }
        return FileOk;
    } catch (const std::bad_alloc&) {
        return ReadFailure(contents, FileIoError, "there is not enough memory for the image");
    }
}

}  // namespace

FileResult ReadElfBytes(const uint8_t* data, std::size_t size, DataFileContents& contents) {
    contents = DataFileContents{};
    try {
        return ReadElf(data, size, contents);
    } catch (const std::exception&) {
        return ReadFailure(contents, FileIoError, "there is not enough memory for the file");
    }
}

FileResult ReadElfFile(const std::string& fileName, DataFileContents& contents) {
    return ReadFileWith(fileName, contents, ReadElfBytes);
}

FileResult ReadElfFile(const std::string& fileName, std::vector<uint8_t>& image, int32_t& size) {
    DataFileContents contents;
    return ImageOnly(ReadElfFile(fileName, contents), contents, image, size);
}

}  // namespace kestrin
