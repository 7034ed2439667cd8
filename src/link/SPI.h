// Binding of the adapter's driver library: one table of operation slots that the
// rest of the program calls, filled once at start-up with the library's entry
// points or, without a usable library, with harmless do-nothing fallbacks.
#pragma once

#include <string>
#include <vector>

#include "veltro/veltro.h"

namespace kestrin {

struct TOperationTable {
    VeltroGetVersionFn GetVersion;
    VeltroGetNumPortsFn GetNumPorts;
    VeltroGetPortNameFn GetPortName;
    VeltroConnectFn Connect;
    VeltroDisconnectFn Disconnect;
    VeltroGetFirmwareFn GetFirmware;
    VeltroSetReadModeFn SetReadMode;
    VeltroSetEnablesFn SetEnables;
    VeltroSetLevelsFn SetLevels;
    VeltroSetCycleTimeFn SetCycleTime;
    VeltroSPIWRFn SPIWR;
    VeltroSPIWFn SPIW;
    VeltroGetResetFBFn GetResetFB;
    VeltroGetLinesFn GetLines;
    VeltroSetReadyFn SetReady;
    VeltroGetDefaultsFn GetDefaults;
    VeltroGetCycleTimeFn GetCycleTime;
    VeltroSetLEDsFn SetLEDs;
    VeltroSetLinesFn SetLines;
    VeltroDelayFn Delay;
    VeltroCheckSerialPortsFn CheckSerialPorts;
};

// The operation table. Holds the fallbacks until a library is bound.
extern TOperationTable Ops;

// Optional operations a driver may offer beyond the table above. Empty (all
// null, version 0) without a library or when the library does not offer them.
struct TExtensionTable {
    int32_t Version = 0;
    VeltroSPIWRQueueFn SPIWRQueue = nullptr;
    VeltroSPIWRCollectFn SPIWRCollect = nullptr;
    VeltroSPIPollFn SPIPoll = nullptr;  // version 2

    bool Pipelined() const { return SPIWRQueue != nullptr && SPIWRCollect != nullptr; }
};

// Bound together with Ops, never changed afterwards.
extern TExtensionTable Extensions;

// Serial port names reported by the library; index = driver port index.
extern std::vector<std::string> PortNames;

// The adapter connection is open. Set by the main window, read by the hex view.
extern bool Connected;

// File name of the driver library on this platform.
const char* DriverFileName();

// Binds the library: from the executable's own folder, then from the absolute
// folders of LD_LIBRARY_PATH, then from the library folder of the prefix the program is
// installed in (bin/../lib, where cmake --install puts the driver), then through the
// system's library search path; never from the current working directory.
// Returns true when a complete library was bound.
bool LoadAdapterDriver();

// Binds the library at an explicit path (tests, alternative drivers).
// An empty path installs the fallbacks. Returns true when a library was bound.
bool LoadAdapterDriverFrom(const std::string& path);

// True when the table holds a library's entry points rather than the fallbacks.
bool AdapterDriverLoaded();

// Path of the bound library, empty with the fallbacks.
const std::string& AdapterDriverPath();

}  // namespace kestrin
