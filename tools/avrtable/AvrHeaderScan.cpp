#include "AvrHeaderScan.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <regex>
#include <sstream>

namespace avrtable {

namespace {

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// A small recursive-descent evaluator for the constant expressions of the
// device headers.
class Evaluator {
public:
    Evaluator(const std::string& text, const MacroList& macros, int depth)
        : text_(text), macros_(macros), depth_(depth) {}

    std::optional<int64_t> Run() {
        auto v = Or();
        Skip();
        if (!v || pos_ != text_.size()) return std::nullopt;
        return v;
    }

private:
    void Skip() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }
    bool Eat(const char* token) {
        Skip();
        const std::string t = token;
        if (text_.compare(pos_, t.size(), t) != 0) return false;
        // "&" must not take the first half of "&&", "<" of "<<".
        if (t.size() == 1 && pos_ + 1 < text_.size() && text_[pos_ + 1] == t[0]) return false;
        pos_ += t.size();
        return true;
    }
    std::optional<int64_t> Or() {
        auto v = And();
        while (v && Eat("|")) {
            auto r = And();
            if (!r) return std::nullopt;
            v = *v | *r;
        }
        return v;
    }
    std::optional<int64_t> And() {
        auto v = Shift();
        while (v && Eat("&")) {
            auto r = Shift();
            if (!r) return std::nullopt;
            v = *v & *r;
        }
        return v;
    }
    std::optional<int64_t> Shift() {
        auto v = Sum();
        while (v) {
            if (Eat("<<")) {
                auto r = Sum();
                if (!r || *r < 0 || *r > 40) return std::nullopt;
                v = *v << *r;
            } else if (Eat(">>")) {
                auto r = Sum();
                if (!r || *r < 0 || *r > 40) return std::nullopt;
                v = *v >> *r;
            } else {
                break;
            }
        }
        return v;
    }
    std::optional<int64_t> Sum() {
        auto v = Product();
        while (v) {
            if (Eat("+")) {
                auto r = Product();
                if (!r) return std::nullopt;
                v = *v + *r;
            } else if (Eat("-")) {
                auto r = Product();
                if (!r) return std::nullopt;
                v = *v - *r;
            } else {
                break;
            }
        }
        return v;
    }
    std::optional<int64_t> Product() {
        auto v = Unary();
        while (v && Eat("*")) {
            auto r = Unary();
            if (!r) return std::nullopt;
            v = *v * *r;
        }
        return v;
    }
    std::optional<int64_t> Unary() {
        if (Eat("~")) {
            auto v = Unary();
            return v ? std::optional<int64_t>(~*v) : std::nullopt;
        }
        if (Eat("-")) {
            auto v = Unary();
            return v ? std::optional<int64_t>(-*v) : std::nullopt;
        }
        Skip();
        const size_t save = pos_;
        if (Eat("(")) {
            Skip();
            // A cast to an unsigned type keeps the low bits of what follows.
            static const std::regex cast(R"(^(unsigned\s+char|uint8_t|unsigned\s+int|uint16_t|unsigned)\s*\))");
            std::smatch m;
            const std::string rest = text_.substr(pos_);
            if (std::regex_search(rest, m, cast)) {
                const bool byte = m[1].str().find("char") != std::string::npos || m[1].str() == "uint8_t";
                pos_ += static_cast<size_t>(m.length(0));
                auto v = Unary();
                if (!v) return std::nullopt;
                return byte ? (*v & 0xFF) : (*v & 0xFFFF);
            }
            auto v = Or();
            if (!v || !Eat(")")) {
                pos_ = save;
                return std::nullopt;
            }
            return v;
        }
        return Primary();
    }
    std::optional<int64_t> Primary() {
        Skip();
        if (pos_ >= text_.size()) return std::nullopt;
        const char c = text_[pos_];
        if (std::isdigit(static_cast<unsigned char>(c))) {
            size_t used = 0;
            int64_t v = 0;
            try {
                v = std::stoll(text_.substr(pos_), &used, 0);
            } catch (...) {
                return std::nullopt;
            }
            pos_ += used;
            while (pos_ < text_.size() && (text_[pos_] == 'U' || text_[pos_] == 'u' || text_[pos_] == 'L' ||
                                           text_[pos_] == 'l'))
                ++pos_;
            return v;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t end = pos_;
            while (end < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[end])) || text_[end] == '_'))
                ++end;
            const std::string name = text_.substr(pos_, end - pos_);
            pos_ = end;
            if (name == "_BV") {
                if (!Eat("(")) return std::nullopt;
                auto bit = Or();
                if (!bit || !Eat(")") || *bit < 0 || *bit > 40) return std::nullopt;
                return int64_t{1} << *bit;
            }
            const auto it = macros_.last.find(name);
            if (it == macros_.last.end() || depth_ > 16) return std::nullopt;
            return Evaluator(it->second, macros_, depth_ + 1).Run();
        }
        return std::nullopt;
    }

    const std::string& text_;
    const MacroList& macros_;
    int depth_;
    size_t pos_ = 0;
};

uint32_t Value(const MacroList& macros, const std::string& name, int64_t fallback) {
    const auto it = macros.last.find(name);
    if (it == macros.last.end()) return static_cast<uint32_t>(fallback);
    const auto v = Evaluate(it->second, macros);
    return static_cast<uint32_t>(v ? *v : fallback);
}

// "(unsigned char)~_BV(n)": the bit a fuse macro clears; -1 for anything else.
int ClearedBit(const std::string& replacement, const MacroList& macros) {
    const auto v = Evaluate(replacement, macros);
    if (!v) return -1;
    const uint8_t cleared = static_cast<uint8_t>(~*v);
    for (int bit = 0; bit < 8; ++bit)
        if (cleared == (1u << bit)) return bit;
    return -1;
}

std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) continue;
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::vector<HeaderPart> PartsOfIoHeader(const std::string& ioHeaderText) {
    // Each part has its branch: #elif defined (__AVR_ATmega328P__) followed by an include.
    static const std::regex branch(R"(#\s*(?:el)?if\s+defined\s*\(?\s*__AVR_([A-Za-z0-9_]+)__\s*\)?\s*\n\s*#\s*include)");
    std::vector<HeaderPart> parts;
    for (auto it = std::sregex_iterator(ioHeaderText.begin(), ioHeaderText.end(), branch); it != std::sregex_iterator();
         ++it) {
        const std::string name = (*it)[1].str();
        if (std::none_of(parts.begin(), parts.end(), [&](const HeaderPart& p) { return p.name == name; }))
            parts.push_back({name, "__AVR_" + name + "__"});
    }
    return parts;
}

MacroList MacrosOfDump(const std::string& dumpText) {
    MacroList list;
    std::istringstream in(dumpText);
    static const std::regex define(R"(^\s*#\s*define\s+([A-Za-z_][A-Za-z0-9_]*)(\([^)]*\))?\s*(.*)$)");
    static const std::regex undef(R"(^\s*#\s*undef\s+([A-Za-z_][A-Za-z0-9_]*))");
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_search(line, m, define)) {
            if (m[2].matched) continue;  // function-like macros carry no values the table needs
            const std::string name = m[1].str();
            const std::string value = Trim(m[3].str());
            list.ordered.emplace_back(name, value);
            list.last[name] = value;
        } else if (std::regex_search(line, m, undef)) {
            list.last.erase(m[1].str());
            list.ordered.emplace_back(m[1].str(), std::string());
            list.ordered.back().first.insert(0, "#undef ");
        }
    }
    return list;
}

std::vector<std::string> IncludedFiles(const std::string& dumpText) {
    std::vector<std::string> files;
    static const std::regex marker(R"re(^#\s+\d+\s+"([^"<][^"]*)")re");
    std::istringstream in(dumpText);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_search(line, m, marker) && std::find(files.begin(), files.end(), m[1].str()) == files.end())
            files.push_back(m[1].str());
    }
    return files;
}

void CollectFuseComments(const std::string& headerText, std::map<std::string, std::string>& comments) {
    static const std::regex line(R"(#\s*define\s+FUSE_([A-Za-z0-9_]+)[^\n/]*/\*\s*([^*\n]*?)\s*\*/)");
    for (auto it = std::sregex_iterator(headerText.begin(), headerText.end(), line); it != std::sregex_iterator();
         ++it)
        comments.emplace((*it)[1].str(), (*it)[2].str());
}

std::optional<int64_t> Evaluate(const std::string& expression, const MacroList& macros) {
    return Evaluator(expression, macros, 0).Run();
}

std::string ExclusionReason(const HeaderPart& part, const MacroList& macros) {
    const std::string& n = part.name;
    if (StartsWith(n, "ATxmega")) return "XMEGA: programmed over PDI";
    static const char* const tpi[] = {"ATtiny4", "ATtiny5", "ATtiny9", "ATtiny10", "ATtiny20", "ATtiny40"};
    for (const char* t : tpi)
        if (n == t) return "programmed over TPI";
    // The ATtiny11 and ATtiny28 have high-voltage and parallel programming only.
    if (n == "ATtiny11" || n == "ATtiny28") return "no serial programming interface";
    if (macros.Has("FUSES_START") || macros.Has("MAPPED_PROGMEM_START")) return "memory-mapped NVM (PDI/UPDI)";
    if (!macros.Has("SIGNATURE_0") || !macros.Has("SIGNATURE_1") || !macros.Has("SIGNATURE_2"))
        return "no signature";
    if (!macros.Has("FLASHEND")) return "no Flash size";
    const uint32_t fuses = Value(macros, "FUSE_MEMORY_SIZE", 0);
    if (fuses > 3) return "more than three fuse bytes (not an SPI ISP part)";
    return {};
}

PartRow RowOf(const HeaderPart& part, const MacroList& macros, const std::map<std::string, std::string>& comments) {
    PartRow row;
    row.name = part.name;
    if (StartsWith(part.name, "AT90S") && !macros.Has("SPM_PAGESIZE"))
        row.family = Family::Classic;
    else if (StartsWith(part.name, "ATtiny"))
        row.family = Family::Tiny;
    else
        row.family = Family::Mega;
    for (int i = 0; i < 3; ++i)
        row.signature[static_cast<size_t>(i)] =
            static_cast<uint8_t>(Value(macros, "SIGNATURE_" + std::to_string(i), 0));
    row.flashBytes = Value(macros, "FLASHEND", -1) + 1;
    row.flashPageBytes = macros.Has("SPM_PAGESIZE") ? Value(macros, "SPM_PAGESIZE", 0) : 0;
    row.eepromBytes = macros.Has("E2END") ? Value(macros, "E2END", -1) + 1 : 0;
    if (row.eepromBytes == 0 && macros.Has("E2SIZE")) row.eepromBytes = Value(macros, "E2SIZE", 0);
    row.eepromPageBytes = macros.Has("E2PAGESIZE") ? Value(macros, "E2PAGESIZE", 0) : 0;
    row.fuseCount = static_cast<int>(Value(macros, "FUSE_MEMORY_SIZE", 0));

    // The bits of each fuse byte are defined before that byte's default:
    // LFUSE_DEFAULT (or FUSE_DEFAULT of a one-byte part) closes the low byte,
    // HFUSE_DEFAULT the high, EFUSE_DEFAULT the extended.
    int byte = 0;
    for (const auto& [name, value] : row.fuseCount > 0 ? macros.ordered : decltype(macros.ordered){}) {
        if (name == "FUSE_MEMORY_SIZE" || name == "FUSE_DEFAULT" || name == "LFUSE_DEFAULT" || name == "HFUSE_DEFAULT" ||
            name == "EFUSE_DEFAULT") {
            if (name == "FUSE_MEMORY_SIZE") continue;
            const int index = name == "EFUSE_DEFAULT" ? 2 : name == "HFUSE_DEFAULT" ? 1 : 0;
            if (const auto v = Evaluate(value, macros)) row.fuseDefaults[static_cast<size_t>(index)] = static_cast<uint8_t>(*v);
            byte = index + 1;
            continue;
        }
        if (!StartsWith(name, "FUSE_") || byte >= row.fuseCount) continue;
        const int bit = ClearedBit(value, macros);
        if (bit < 0) continue;
        const std::string bitName = name.substr(5);
        auto& slot = row.fuseBits[static_cast<size_t>(byte)][static_cast<size_t>(bit)];
        if (!slot.empty()) continue;
        slot = bitName;
        const auto c = comments.find(bitName);
        if (c != comments.end()) row.fuseComments[static_cast<size_t>(byte)][static_cast<size_t>(bit)] = c->second;
    }
    if (row.fuseCount > 0) {
        // Unused bits of a fuse byte stay unprogrammed.
        for (int b = row.fuseCount; b < 3; ++b) row.fuseDefaults[static_cast<size_t>(b)] = 0xFF;
    } else {
        row.fuseDefaults = {0xFF, 0xFF, 0xFF};
    }
    if (macros.Has("__LOCK_BITS_EXIST")) row.lockMask |= 0x03;
    if (macros.Has("__BOOT_LOCK_BITS_0_EXIST")) row.lockMask |= 0x0C;
    if (macros.Has("__BOOT_LOCK_BITS_1_EXIST")) row.lockMask |= 0x30;
    if (row.family == Family::Classic) {
        // The classic parts' fuses are reached in parallel mode only; their
        // serial lock write carries LB1 and LB2 in bits 1 and 2.
        row.fuseCount = 0;
        row.fuseDefaults = {0xFF, 0xFF, 0xFF};
        row.fuseBits = {};
        row.fuseComments = {};
        row.lockMask = 0x06;
    }
    // The ATtiny26 has no SPM, so its header names no page size, yet its
    // serial programming loads and writes 16-word pages (ATtiny26 datasheet
    // 1477, "Serial Programming Instruction Set").
    if (row.name == "ATtiny26") row.flashPageBytes = 32;
    return row;
}

std::string TableSource(const std::vector<PartRow>& rows) {
    std::ostringstream out;
    out << "// Generated by tools/avrtable from avr-libc's device headers. Do not edit.\n"
           "#include \"AvrParts.h\"\n\n"
           "namespace kestrin::avrparts {\n\nnamespace {\n\n"
           "constexpr AvrFamily C = AvrFamily::Classic, T = AvrFamily::Tiny, M = AvrFamily::Mega;\n\n"
           "const AvrPart kParts[] = {\n";
    char hex[64];
    const auto names = [&](const std::array<std::array<std::string, 8>, 3>& table) {
        out << "{{";
        for (size_t b = 0; b < 3; ++b) {
            out << (b ? ", {" : "{");
            for (size_t i = 0; i < 8; ++i) {
                out << (i ? ", " : "");
                if (table[b][i].empty())
                    out << "nullptr";
                else
                    out << Quoted(table[b][i]);
            }
            out << "}";
        }
        out << "}}";
    };
    for (const PartRow& r : rows) {
        const char family = r.family == Family::Classic ? 'C' : r.family == Family::Tiny ? 'T' : 'M';
        std::snprintf(hex, sizeof hex, "{0x%02X, 0x%02X, 0x%02X}", r.signature[0], r.signature[1], r.signature[2]);
        out << "    {" << Quoted(r.name) << ", " << family << ", " << hex << ", " << r.flashBytes << ", "
            << r.flashPageBytes << ", " << r.eepromBytes << ", " << r.eepromPageBytes << ", " << r.fuseCount << ", ";
        std::snprintf(hex, sizeof hex, "{0x%02X, 0x%02X, 0x%02X}", r.fuseDefaults[0], r.fuseDefaults[1],
                      r.fuseDefaults[2]);
        out << hex << ",\n     ";
        names(r.fuseBits);
        out << ",\n     ";
        names(r.fuseComments);
        std::snprintf(hex, sizeof hex, ", 0x%02X},\n", r.lockMask);
        out << hex;
    }
    out << "};\n\n}  // namespace\n\n"
           "std::span<const AvrPart> AllAvrParts() { return kParts; }\n\n"
           "}  // namespace kestrin::avrparts\n";
    return out.str();
}

}  // namespace avrtable
