#include "Ports.h"

#include <libserialport.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace kestrin::serial {

std::string PortDisplayName(const std::string& path) {
    const std::string dev = "/dev/";
    if (path.size() > dev.size() && path.compare(0, dev.size(), dev) == 0) return path.substr(dev.size());
    return path;
}

bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            // Compare the numbers by value: strip leading zeros, then length, then digits.
            size_t zi = i, zj = j;
            while (zi + 1 < ei && a[zi] == '0') ++zi;
            while (zj + 1 < ej && b[zj] == '0') ++zj;
            if (ei - zi != ej - zj) return ei - zi < ej - zj;
            const int c = a.compare(zi, ei - zi, b, zj, ej - zj);
            if (c != 0) return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::vector<PortEntry> MakePortList(const std::vector<std::string>& paths) {
    std::vector<PortEntry> list;
    for (const auto& p : paths) {
        if (p.empty()) continue;
        if (std::any_of(list.begin(), list.end(), [&](const PortEntry& e) { return e.path == p; })) continue;
        list.push_back({PortDisplayName(p), p});
    }
    std::stable_sort(list.begin(), list.end(), [](const PortEntry& x, const PortEntry& y) { return NaturalLess(x.name, y.name); });
    return list;
}

std::vector<std::string> SplitPortSetting(const std::string& value) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : value) {
        if (c == ',' || c == ':') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else if (!std::isspace(static_cast<unsigned char>(c))) {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

std::vector<PortEntry> EnumeratePorts() {
    if (const char* setting = std::getenv("VELTRO_PORTS")) return MakePortList(SplitPortSetting(setting));
    std::vector<std::string> paths;
    sp_port** ports = nullptr;
    if (sp_list_ports(&ports) == SP_OK) {
        for (sp_port** p = ports; *p != nullptr; ++p) {
            const char* name = sp_get_port_name(*p);
            if (name != nullptr) paths.emplace_back(name);
        }
        sp_free_port_list(ports);
    }
    return MakePortList(paths);
}

}  // namespace kestrin::serial
