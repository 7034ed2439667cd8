#include "cli/AdapterSession.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string_view>

#include "link/SPI.h"
#include "veltro/veltro.h"

namespace kestrin {

namespace {

// The connect results as the main window words them.
const char* const kConnectTexts[] = {
    "opened",
    "COM interface can't be opened",
    "Veltro not connected",
    "firmware not supported",
    "Veltro.dll not found",
};

std::string_view WithoutDev(std::string_view name) {
    constexpr std::string_view kDev = "/dev/";
    if (name.substr(0, kDev.size()) == kDev) name.remove_prefix(kDev.size());
    return name;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

int PortIndexOf(const std::string& name) {
    for (size_t i = 0; i < PortNames.size(); ++i)
        if (SameName(WithoutDev(PortNames[i]), WithoutDev(name))) return static_cast<int>(i);
    return -1;
}

bool TAdapterSession::Open(const std::string& port, const TProfile& profile) {
    int32_t index = Config.COMIndex;
    if (!port.empty()) {
        index = PortIndexOf(port);
        if (index < 0) {
            std::string known;
            for (const std::string& p : PortNames) known += (known.empty() ? "" : ", ") + p;
            error_ = "no port " + port + " (ports: " + (known.empty() ? std::string("none") : known) + ")";
            return false;
        }
    }
    portName_ = index >= 0 && static_cast<size_t>(index) < PortNames.size() ? PortNames[static_cast<size_t>(index)]
                                                                               : "port " + std::to_string(index);
    const int32_t result = Ops.Connect(index, 1);
    if (result != VELTRO_CONNECT_OK) {
        error_ = result > 0 && result < static_cast<int32_t>(std::size(kConnectTexts))
                     ? kConnectTexts[result]
                     : "the adapter did not connect (" + std::to_string(result) + ")";
        if (result == 4) error_ += std::string(" (") + DriverFileName() + ")";
        error_ += " on " + portName_;
        return false;
    }
    open_ = true;
    Connected = true;
    Ops.SetEnables(0, 1);
    Ops.SetLevels(profile.SCK, profile.MOSI, profile.MISO);
    Ops.SetCycleTime(0);
    return true;
}

TAdapterSession::~TAdapterSession() {
    if (!open_) return;
    Ops.SetReady(0);
    Ops.Disconnect();
    Connected = false;
}

}  // namespace kestrin
