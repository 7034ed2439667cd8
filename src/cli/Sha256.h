// SHA-256 of a byte string, for the outcome record of a data file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrin {

class TSha256 {
public:
    TSha256();
    void Update(const uint8_t* data, size_t count);
    // The digest as 64 lower-case hexadecimal digits; the object is spent afterwards.
    std::string HexDigest();

private:
    void Block(const uint8_t* block);
    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> buffer_{};
    size_t buffered_ = 0;
    uint64_t length_ = 0;
};

std::string Sha256Hex(const uint8_t* data, size_t count);

// The digest of a file's contents; empty when it cannot be read (or is beyond 256 MB).
std::string FileSha256(const std::string& fileName);

}  // namespace kestrin
