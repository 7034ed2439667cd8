// The adapter connection of one command: the driver bound, the port chosen
// by name, the connection opened with the profile's line levels and closed
// again however the command ends.
#pragma once

#include <string>

#include "config/UnitConfig.h"

namespace kestrin {

// The index in PortNames of the port a user named: the same name, letter case
// ignored, with or without a leading "/dev/"; -1 when there is none.
int PortIndexOf(const std::string& name);

class TAdapterSession {
public:
    TAdapterSession() = default;
    ~TAdapterSession();
    TAdapterSession(const TAdapterSession&) = delete;
    TAdapterSession& operator=(const TAdapterSession&) = delete;

    // Connects through port (empty: the stored COMIndex). False with Error
    // set when there is no such port or the adapter did not connect.
    bool Open(const std::string& port, const TProfile& profile);
    // The port's name, for messages.
    const std::string& PortName() const { return portName_; }
    const std::string& Error() const { return error_; }

private:
    bool open_ = false;
    std::string portName_;
    std::string error_;
};

}  // namespace kestrin
