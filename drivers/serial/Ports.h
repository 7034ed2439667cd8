// The serial ports offered to the program, in a stable order.
#pragma once

#include <string>
#include <vector>

namespace kestrin::serial {

struct PortEntry {
    std::string name;  // what the user sees: "ttyUSB0", "ttyACM1", "pts/3"
    std::string path;  // what is opened: "/dev/ttyUSB0"
};

// The name shown for a device path: the path below /dev, or the path itself elsewhere.
std::string PortDisplayName(const std::string& path);

// Orders names so that "ttyUSB2" comes before "ttyUSB10".
bool NaturalLess(const std::string& a, const std::string& b);

// Builds the list from device paths: display names, natural order, no duplicates.
std::vector<PortEntry> MakePortList(const std::vector<std::string>& paths);

// Splits a VELTRO_PORTS value ("/dev/ttyUSB0,/dev/pts/4"; commas or colons).
std::vector<std::string> SplitPortSetting(const std::string& value);

// The ports of this machine: VELTRO_PORTS when set, otherwise the serial ports
// that libserialport finds.
std::vector<PortEntry> EnumeratePorts();

}  // namespace kestrin::serial
