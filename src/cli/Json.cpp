#include "cli/Json.h"

#include <cstdio>

namespace kestrin {

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

void TJsonObject::Key(std::string_view key) {
    if (!members_.empty()) members_ += ",";
    members_ += JsonString(key) + ":";
}

TJsonObject& TJsonObject::Add(std::string_view key, std::string_view value) {
    Key(key);
    members_ += JsonString(value);
    return *this;
}

TJsonObject& TJsonObject::Add(std::string_view key, int64_t value) {
    Key(key);
    members_ += std::to_string(value);
    return *this;
}

TJsonObject& TJsonObject::Add(std::string_view key, bool value) {
    Key(key);
    members_ += value ? "true" : "false";
    return *this;
}

TJsonObject& TJsonObject::AddSeconds(std::string_view key, double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    Key(key);
    members_ += text;
    return *this;
}

TJsonObject& TJsonObject::AddNull(std::string_view key) {
    Key(key);
    members_ += "null";
    return *this;
}

TJsonObject& TJsonObject::AddRaw(std::string_view key, std::string_view json) {
    Key(key);
    members_ += json;
    return *this;
}

}  // namespace kestrin
