// One JSON object written member by member, for the machine-readable outcome.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrin {

// The JSON text of a string: quoted, with quotes, backslashes and control
// characters escaped. Bytes of 0x80 and above pass as they are (UTF-8).
std::string JsonString(std::string_view text);

class TJsonObject {
public:
    TJsonObject& Add(std::string_view key, std::string_view value);
    TJsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
    TJsonObject& Add(std::string_view key, int64_t value);
    TJsonObject& Add(std::string_view key, int value) { return Add(key, int64_t{value}); }
    TJsonObject& Add(std::string_view key, bool value);
    // A number with three decimals (seconds).
    TJsonObject& AddSeconds(std::string_view key, double seconds);
    TJsonObject& AddNull(std::string_view key);
    // value is JSON text already (an object or an array).
    TJsonObject& AddRaw(std::string_view key, std::string_view json);
    std::string Text() const { return "{" + members_ + "}"; }

private:
    void Key(std::string_view key);
    std::string members_;
};

}  // namespace kestrin
