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

namespace kestrin::test {

namespace fs = std::filesystem;

// A fresh folder for one test, removed with everything in it afterwards.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "kestrin-files-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const fs::path& Path() const { return path_; }
    // A file name in the folder, as the UTF-8 string the file functions take.
    std::string Name(const std::string& leaf) const {
        const std::u8string name = (path_ / fs::path(std::u8string(leaf.begin(), leaf.end()))).u8string();
        return std::string(name.begin(), name.end());
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
        return names;
    }

private:
    fs::path path_;
};

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
