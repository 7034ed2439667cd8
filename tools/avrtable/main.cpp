// avrtable: writes the AVR part table from avr-libc's device headers.
//
//   avrtable --cc COMPILER --include AVR_INCLUDE_DIR --out FILE.cpp
//
// Each part's header is run through the host C preprocessor (-dD lists every
// macro it defines) with the part's __AVR_name__ macro set, as avr-gcc would
// set it; the file is rewritten only when its text changes.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "AvrHeaderScan.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool RunPreprocessor(const std::string& cc, const std::string& include, const std::string& macro, std::string& out) {
    const std::string command = Quote(cc) + " -E -dD -x c -nostdinc -I" + Quote(include) + " -D" + macro + " " +
                                Quote(include + "/avr/io.h") + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    out.clear();
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    return pclose(pipe) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string cc, include, outPath;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--cc") cc = argv[i + 1];
        else if (key == "--include") include = argv[i + 1];
        else if (key == "--out") outPath = argv[i + 1];
    }
    if (cc.empty() || include.empty() || outPath.empty()) {
        std::cerr << "usage: avrtable --cc COMPILER --include AVR_INCLUDE_DIR --out FILE.cpp\n";
        return 2;
    }
    const std::string io = ReadAll(include + "/avr/io.h");
    const auto parts = avrtable::PartsOfIoHeader(io);
    if (parts.empty()) {
        std::cerr << "avrtable: no parts in " << include << "/avr/io.h\n";
        return 1;
    }
    std::vector<avrtable::PartRow> rows;
    std::map<std::string, std::map<std::string, std::string>> commentsOfFile;
    std::string dump;
    for (const auto& part : parts) {
        if (part.name.rfind("ATxmega", 0) == 0) {
            std::cout << "avrtable: left out " << part.name << " (" << avrtable::ExclusionReason(part, {}) << ")\n";
            continue;
        }
        if (!RunPreprocessor(cc, include, part.macro, dump)) {
            std::cerr << "avrtable: the preprocessor failed on " << part.name << "\n";
            return 1;
        }
        const auto macros = avrtable::MacrosOfDump(dump);
        const std::string reason = avrtable::ExclusionReason(part, macros);
        if (!reason.empty()) {
            std::cout << "avrtable: left out " << part.name << " (" << reason << ")\n";
            continue;
        }
        std::map<std::string, std::string> comments;
        for (const auto& file : avrtable::IncludedFiles(dump))
            if (file.find("/avr/io") != std::string::npos) {
                auto cached = commentsOfFile.find(file);
                if (cached == commentsOfFile.end()) {
                    cached = commentsOfFile.emplace(file, std::map<std::string, std::string>{}).first;
                    avrtable::CollectFuseComments(ReadAll(file), cached->second);
                }
                comments.insert(cached->second.begin(), cached->second.end());
            }
        rows.push_back(avrtable::RowOf(part, macros, comments));
    }
    const std::string text = avrtable::TableSource(rows);
    if (ReadAll(outPath) != text) {
        std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out) {
            std::cerr << "avrtable: cannot write " << outPath << "\n";
            return 1;
        }
    }
    std::cout << "avrtable: " << rows.size() << " AVR parts\n";
    return 0;
}
