// Numbers as users type them in settings, command lines and fields: decimal,
// or hexadecimal after "0x" (letter case ignored), the whole text and nothing
// else.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrin {

// Empty for an empty text, a sign, spaces, other characters or a value beyond 64 bits.
std::optional<uint64_t> ParseUnsignedText(std::string_view text);

}  // namespace kestrin
