#include "config/IniFile.h"

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "files/DurableFile.h"

namespace kestrin {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
#if defined(_WIN32)
constexpr bool kNativeCrlf = true;
#else
constexpr bool kNativeCrlf = false;
#endif

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string Fold(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool QuotedPair(std::string_view s) { return s.size() >= 2 && IsQuote(s.front()) && s.front() == s.back(); }

// A value keeps its outer blanks and quotes across a write and a read only
// when it is quoted, since readers drop both; line breaks cannot be stored
// in a line and would let a value forge keys of its own.
std::string EncodeValue(std::string_view value) {
    std::string out(value);
    for (char& c : out) {
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    }
    if (!out.empty() && (IsBlank(out.front()) || IsBlank(out.back()) || QuotedPair(out))) {
        out = '"' + out + '"';
    }
    return out;
}

std::string DecodeValue(std::string_view raw) {
    std::string_view v = Trim(raw);
    if (QuotedPair(v)) v = v.substr(1, v.size() - 2);
    return std::string(v);
}

fs::path PathFromUtf8(const std::string& name) { return fs::path(std::u8string(name.begin(), name.end())); }

std::string ErrnoText(int err) { return std::error_code(err, std::generic_category()).message(); }

}  // namespace

std::optional<int32_t> ParseIniInteger(std::string_view text) {
    std::string_view s = Trim(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    } else if (!s.empty() && s.front() == '$') {
        base = 16;
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    uint32_t magnitude = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    if (base == 10 && magnitude > (negative ? 0x80000000u : 0x7FFFFFFFu)) return std::nullopt;
    // Hexadecimal spells the 32 bits themselves.
    uint32_t bits = negative ? 0u - magnitude : magnitude;
    return static_cast<int32_t>(bits);
}

IniFile::LoadResult IniFile::Load(const std::string& fileName, std::string* error) {
    Parse({});
    const fs::path path = PathFromUtf8(fileName);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) return LoadResult::Missing;
    if (ec || status.type() != fs::file_type::regular) {
        if (error != nullptr) *error = ec ? ec.message() : "not a regular file";
        return LoadResult::Unreadable;
    }
    std::ifstream in(path, std::ios::binary);
    std::string content;
    if (in.is_open()) content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
        if (error != nullptr) *error = ErrnoText(errno);
        return LoadResult::Unreadable;
    }
    Parse(content);
    return LoadResult::Read;
}

void IniFile::Parse(std::string_view text) {
    sections_.assign(1, Section{});
    sectionIndex_.clear();
    crlf_ = kNativeCrlf;
    bom_ = text.substr(0, kBom.size()) == kBom;
    if (bom_) text.remove_prefix(kBom.size());

    bool firstEnd = true;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        const bool cr = !line.empty() && line.back() == '\r';
        if (cr) line.remove_suffix(1);
        if (nl != std::string_view::npos && firstEnd) {
            crlf_ = cr;
            firstEnd = false;
        }

        const std::string_view trimmed = Trim(line);
        const size_t close = trimmed.find(']');
        if (!trimmed.empty() && trimmed.front() == '[' && close != std::string_view::npos) {
            sectionIndex_.emplace(Fold(Trim(trimmed.substr(1, close - 1))), sections_.size());
            sections_.push_back(Section{std::string(line), {}});
            continue;
        }
        Line entry{std::string(line), {}, 0};
        const size_t eq = line.find('=');
        const bool comment = !trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#');
        if (!comment && eq != std::string_view::npos && !Trim(line.substr(0, eq)).empty()) {
            entry.key = Fold(Trim(line.substr(0, eq)));
            entry.valueStart = eq + 1;
            while (entry.valueStart < line.size() && IsBlank(line[entry.valueStart])) ++entry.valueStart;
        }
        sections_.back().lines.push_back(std::move(entry));
    }
}

std::string IniFile::Text() const {
    const char* eol = crlf_ ? "\r\n" : "\n";
    std::string out = bom_ ? std::string(kBom) : std::string();
    for (size_t i = 0; i < sections_.size(); ++i) {
        if (i > 0) out.append(sections_[i].header).append(eol);
        for (const Line& line : sections_[i].lines) out.append(line.text).append(eol);
    }
    return out;
}

bool IniFile::Save(const std::string& fileName, std::string* error) const {
    // Through a symbolic link the file it names is replaced, not the link.
    const std::string text = Text();
    return ReplaceFileDurably(fileName, text.data(), text.size(), error);
}

bool IniFile::HasSection(std::string_view section) const { return sectionIndex_.contains(Fold(section)); }

const IniFile::Line* IniFile::FindKey(std::string_view section, std::string_view key) const {
    const auto it = sectionIndex_.find(Fold(section));
    if (it == sectionIndex_.end()) return nullptr;
    const std::string folded = Fold(key);
    for (const Line& line : sections_[it->second].lines) {
        if (line.key == folded) return &line;
    }
    return nullptr;
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const {
    const Line* line = FindKey(section, key);
    if (line == nullptr) return std::nullopt;
    return DecodeValue(std::string_view(line->text).substr(line->valueStart));
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, const std::string& def) const {
    return Value(section, key).value_or(def);
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
    const std::optional<std::string> value = Value(section, key);
    if (!value) return def;
    return ParseIniInteger(*value).value_or(def);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

IniFile::Section& IniFile::SectionFor(std::string_view section) {
    const auto it = sectionIndex_.find(Fold(section));
    if (it != sectionIndex_.end()) return sections_[it->second];
    // A new section goes at the end, set off by a blank line.
    Section& last = sections_.back();
    const bool empty = sections_.size() == 1 && last.lines.empty();
    if (!empty && (last.lines.empty() || !Trim(last.lines.back().text).empty())) {
        last.lines.push_back(Line{});
    }
    sectionIndex_.emplace(Fold(section), sections_.size());
    sections_.push_back(Section{"[" + std::string(section) + "]", {}});
    return sections_.back();
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string encoded = EncodeValue(value);
    Section& sec = SectionFor(section);
    const std::string folded = Fold(key);
    size_t insertAt = 0;
    for (size_t i = 0; i < sec.lines.size(); ++i) {
        Line& line = sec.lines[i];
        if (line.key.empty()) continue;
        if (line.key == folded) {
            line.text.replace(line.valueStart, std::string::npos, encoded);
            return;
        }
        insertAt = i + 1;
    }
    // A new key follows the last key of its section, before any comment or
    // blank lines that lead into the next section.
    Line entry{std::string(key) + "=" + encoded, folded, key.size() + 1};
    sec.lines.insert(sec.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

}  // namespace kestrin
