// Scratch folders and file helpers for the data-file tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/ScratchDir.h"

namespace kestrin::test {

namespace fs = std::filesystem;

// The path of a UTF-8 file name.
inline fs::path PathOf(const std::string& name) { return fs::path(std::u8string(name.begin(), name.end())); }

inline std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void Spit(const fs::path& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

inline std::vector<uint8_t> RandomImage(std::mt19937& rng, std::size_t size) {
    std::vector<uint8_t> image(size);
    for (auto& byte : image) byte = static_cast<uint8_t>(rng());
    return image;
}

}  // namespace kestrin::test
