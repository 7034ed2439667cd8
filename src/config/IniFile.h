// An INI text file held in memory, read and changed by section and key the way
// users of such files expect from the platform's profile functions:
// - section and key names match without regard to (ASCII) case;
// - a write replaces one value and leaves every other line as it stands
//   (other sections and keys, comments, blank lines, order);
// - a key name may contain blanks ("Last file");
// - integers read in decimal, or in hexadecimal after "0x" or "$";
//   a missing key or a value that is not a number gives the caller's default;
// - booleans are integers, non-zero meaning true, written as "1" and "0";
// - CR LF and LF line ends both read, and a file keeps its line ends;
// - values are UTF-8 bytes and come back as they went in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrin {

// A value as the file stores a number; nothing when it is not one (or does
// not fit 32 bits; hexadecimal may use all 32 bits, "0xFFFFFFFF" is -1).
std::optional<int32_t> ParseIniInteger(std::string_view text);

class IniFile {
public:
    // How a file on disk was found.
    enum class LoadResult { Read, Missing, Unreadable };

    IniFile() { Parse({}); }

    // Replaces the content with the file's; a missing file reads as empty, and
    // so does an unreadable one, which is reported so that a later save does
    // not replace a file it could not see.
    LoadResult Load(const std::string& fileName, std::string* error = nullptr);
    void Parse(std::string_view text);
    std::string Text() const;

    // Writes the whole text to a temporary file beside fileName and puts it in
    // place only when everything was written; on failure the old file stays
    // as it was, no temporary file is left and error says why.
    bool Save(const std::string& fileName, std::string* error = nullptr) const;

    bool HasSection(std::string_view section) const;
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

    std::string ReadString(std::string_view section, std::string_view key, const std::string& def) const;
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

private:
    struct Line {
        std::string text;
        std::string key;         // folded key name; empty for any other line
        size_t valueStart = 0;   // where the value starts in text
    };
    struct Section {
        std::string header;      // the "[name]" line as it stands; empty for the lines before the first section
        std::vector<Line> lines;
    };

    const Line* FindKey(std::string_view section, std::string_view key) const;
    Section& SectionFor(std::string_view section);

    std::vector<Section> sections_;
    std::unordered_map<std::string, size_t> sectionIndex_;  // folded name -> first section of that name
    bool crlf_ = false;
    bool bom_ = false;
};

}  // namespace kestrin
