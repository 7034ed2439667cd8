#include "StateFile.h"

#include "files/Crc32.h"
#include "files/DurableFile.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <strings.h>
#include <vector>

namespace kestrin::virt {

namespace {

constexpr char kMagic[8] = {'K', 'V', 'S', 'T', 'A', 'T', 'E', '1'};
constexpr size_t kNameBytes = 16;
constexpr chips::Space kSaved[] = {chips::Space::Flash, chips::Space::Eeprom, chips::Space::Fuses,
                                   chips::Space::Lock};

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t GetU32(const uint8_t* p) {
    return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

std::vector<uint8_t> Serialize(const chips::Chip& chip) {
    size_t total = sizeof kMagic + kNameBytes + 4;
    for (auto s : kSaved) total += 4 + chip.Size(s);
    std::vector<uint8_t> out(sizeof kMagic + kNameBytes, 0);
    out.reserve(total);
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    std::memcpy(out.data() + sizeof kMagic, chip.Name().data(), std::min(kNameBytes - 1, chip.Name().size()));
    for (auto s : kSaved) {
        const auto& m = chip.Memory(s);
        PutU32(out, static_cast<uint32_t>(m.size()));
        for (uint8_t b : m) out.push_back(b);
    }
    PutU32(out, Crc32(out.data(), out.size()));
    return out;
}

}  // namespace

uint32_t StateChecksum(const chips::Chip& chip) {
    const auto bytes = Serialize(chip);
    return GetU32(bytes.data() + bytes.size() - 4);
}

LoadResult LoadState(const std::string& path, chips::Chip& chip) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return LoadResult::Missing;
    std::ifstream in(path, std::ios::binary);
    if (!in) return LoadResult::Damaged;
    // The largest chip plus headers is far below this; anything bigger is not ours.
    constexpr std::streamsize kMaxBytes = 1 << 22;
    std::vector<uint8_t> data;
    data.resize(kMaxBytes + 1);
    in.read(reinterpret_cast<char*>(data.data()), kMaxBytes + 1);
    data.resize(static_cast<size_t>(in.gcount()));
    if (data.size() > static_cast<size_t>(kMaxBytes)) return LoadResult::Damaged;

    const size_t header = sizeof kMagic + kNameBytes;
    if (data.size() < header + 4 || std::memcmp(data.data(), kMagic, sizeof kMagic) != 0) return LoadResult::Damaged;
    const size_t body = data.size() - 4;
    if (Crc32(data.data(), body) != GetU32(data.data() + body)) return LoadResult::Damaged;
    const char* name = reinterpret_cast<const char*>(data.data() + sizeof kMagic);
    if (strncasecmp(name, chip.Name().c_str(), kNameBytes) != 0) return LoadResult::Damaged;

    // Check every section before touching the chip.
    size_t at = header;
    std::vector<std::pair<size_t, size_t>> sections;
    for (auto s : kSaved) {
        if (at + 4 > body) return LoadResult::Damaged;
        const uint32_t n = GetU32(data.data() + at);
        at += 4;
        if (n != chip.Size(s) || n > body - at) return LoadResult::Damaged;
        sections.emplace_back(at, n);
        at += n;
    }
    if (at != body) return LoadResult::Damaged;
    for (size_t i = 0; i < std::size(kSaved); ++i)
        chip.Write(kSaved[i], 0, data.data() + sections[i].first, sections[i].second);
    return LoadResult::Loaded;
}

bool SaveState(const std::string& path, const chips::Chip& chip, std::string& error) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    if (target.has_parent_path() && !MakeFolders(target.parent_path().string(), &error)) return false;
    const auto bytes = Serialize(chip);
    return ReplaceFileDurably(path, bytes.data(), bytes.size(), &error);
}

}  // namespace kestrin::virt
