#include "link/SPI.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace kestrin {

namespace {

int32_t VELTRO_CALL FbGetVersion() { return 0; }
int32_t VELTRO_CALL FbGetNumPorts() { return 0; }
const char* VELTRO_CALL FbGetPortName(int32_t) { return ""; }
int32_t VELTRO_CALL FbConnect(int32_t, int32_t) { return VELTRO_CONNECT_NO_DRIVER; }
void VELTRO_CALL FbDisconnect() {}
int32_t VELTRO_CALL FbGetFirmware() { return 0; }
void VELTRO_CALL FbSetReadMode(int32_t) {}
void VELTRO_CALL FbSetEnables(int32_t, int32_t) {}
void VELTRO_CALL FbSetLevels(int32_t, int32_t, int32_t) {}
void VELTRO_CALL FbSetCycleTime(int32_t) {}
int32_t VELTRO_CALL FbSPIWR(const uint8_t*, uint8_t*, int32_t) { return 0; }
int32_t VELTRO_CALL FbSPIW(const uint8_t*, int32_t) { return 0; }
int32_t VELTRO_CALL FbGetResetFB() { return 0; }
void VELTRO_CALL FbGetLines(int32_t*, int32_t*, int32_t*, int32_t*, int32_t*, int32_t*) {}
void VELTRO_CALL FbSetReady(int32_t) {}
void VELTRO_CALL FbGetDefaults(int32_t*, int32_t*, int32_t*, int32_t*, int32_t*) {}
int32_t VELTRO_CALL FbGetCycleTime() { return 0; }
void VELTRO_CALL FbSetLEDs(int32_t, int32_t) {}
void VELTRO_CALL FbSetLines(int32_t, int32_t, int32_t, int32_t) {}
void VELTRO_CALL FbDelay(int32_t) {}
void VELTRO_CALL FbCheckSerialPorts(int32_t) {}

constexpr TOperationTable kFallbacks = {
    FbGetVersion, FbGetNumPorts, FbGetPortName, FbConnect,  FbDisconnect,  FbGetFirmware, FbSetReadMode,
    FbSetEnables, FbSetLevels,   FbSetCycleTime, FbSPIWR,   FbSPIW,        FbGetResetFB,  FbGetLines,
    FbSetReady,   FbGetDefaults, FbGetCycleTime, FbSetLEDs, FbSetLines,    FbDelay,       FbCheckSerialPorts,
};

std::string g_boundPath;

#if defined(_WIN32)
using Handle = HMODULE;
Handle OpenLibrary(const std::string& path) { return LoadLibraryA(path.c_str()); }
void* Symbol(Handle h, const char* name) { return reinterpret_cast<void*>(GetProcAddress(h, name)); }
void CloseLibrary(Handle h) { FreeLibrary(h); }
#else
using Handle = void*;
Handle OpenLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* Symbol(Handle h, const char* name) { return dlsym(h, name); }
void CloseLibrary(Handle h) { dlclose(h); }
#endif

template <typename Fn>
bool Lookup(Handle h, const char* name, Fn& slot) {
    void* p = Symbol(h, name);
    if (p == nullptr) return false;
    slot = reinterpret_cast<Fn>(p);
    return true;
}

// The pipelined transfers are used only as a complete set from a driver that
// declares their version.
TExtensionTable LookupExtensions(Handle h) {
    TExtensionTable x;
    VeltroExtensionVersionFn version = nullptr;
    if (!Lookup(h, "VeltroExtensionVersion", version)) return x;
    x.Version = version();
    if (x.Version < VELTRO_EXTENSION_PIPELINE || !Lookup(h, "SPIWRQueue", x.SPIWRQueue) ||
        !Lookup(h, "SPIWRCollect", x.SPIWRCollect))
        return TExtensionTable{x.Version, nullptr, nullptr, nullptr};
    if (x.Version < VELTRO_EXTENSION_POLL || !Lookup(h, "SPIPoll", x.SPIPoll)) x.SPIPoll = nullptr;
    return x;
}

std::filesystem::path ExecutableFolder() {
#if defined(_WIN32)
    std::array<char, MAX_PATH> buf{};
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0 || n >= buf.size()) return {};
    return std::filesystem::path(std::string(buf.data(), n)).parent_path();
#else
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return exe.parent_path();
#endif
}

}  // namespace

TOperationTable Ops = kFallbacks;
TExtensionTable Extensions;
std::vector<std::string> PortNames;
bool Connected = false;

const char* DriverFileName() {
#if defined(_WIN32)
    return "Veltro.dll";
#else
    return "libVeltro.so";
#endif
}

bool AdapterDriverLoaded() { return !g_boundPath.empty(); }

const std::string& AdapterDriverPath() { return g_boundPath; }

bool LoadAdapterDriverFrom(const std::string& path) {
    PortNames.clear();
    Ops = kFallbacks;
    Extensions = {};
    g_boundPath.clear();
    if (path.empty()) return false;

    // The handle stays open for the rest of the run; the table points into it.
    Handle h = OpenLibrary(path);
    if (h == nullptr) return false;

    TOperationTable t = kFallbacks;
    bool complete = Lookup(h, "GetVersion", t.GetVersion) && Lookup(h, "GetNumPorts", t.GetNumPorts) &&
                    Lookup(h, "GetPortName", t.GetPortName) && Lookup(h, "Connect", t.Connect) &&
                    Lookup(h, "Disconnect", t.Disconnect) && Lookup(h, "GetFirmware", t.GetFirmware) &&
                    Lookup(h, "SetReadMode", t.SetReadMode) && Lookup(h, "SetEnables", t.SetEnables) &&
                    Lookup(h, "SetLevels", t.SetLevels) && Lookup(h, "SetCycleTime", t.SetCycleTime) &&
                    Lookup(h, "SPIWR", t.SPIWR) && Lookup(h, "SPIW", t.SPIW) &&
                    Lookup(h, "GetResetFB", t.GetResetFB) && Lookup(h, "GetLines", t.GetLines) &&
                    Lookup(h, "SetReady", t.SetReady) && Lookup(h, "GetDefaults", t.GetDefaults) &&
                    Lookup(h, "GetCycleTime", t.GetCycleTime) && Lookup(h, "SetLEDs", t.SetLEDs) &&
                    Lookup(h, "SetLines", t.SetLines) && Lookup(h, "Delay", t.Delay);
    if (!complete) {
        // A library without one of the twenty named operations is treated as absent.
        CloseLibrary(h);
        return false;
    }

    if (t.GetVersion() >= 17) {
        if (!Lookup(h, "CheckSerialPorts", t.CheckSerialPorts)) t.CheckSerialPorts = kFallbacks.CheckSerialPorts;
    }
    Ops = t;
    g_boundPath = path;
    Extensions = LookupExtensions(h);

    if (Ops.GetNumPorts() > 0) {
        const int32_t count = Ops.GetNumPorts();
        for (int32_t i = 0; i < count; ++i) {
            const char* name = Ops.GetPortName(i);
            PortNames.emplace_back(name != nullptr ? name : "");
        }
    }
    return true;
}

namespace {

// The library folders of the prefix the program is installed in.
std::vector<std::filesystem::path> InstalledDriverFolders(const std::filesystem::path& executableFolder) {
    std::vector<std::filesystem::path> folders;
#ifdef KESTRIN_INSTALL_LIBDIR
    if (executableFolder.empty()) return folders;
    const std::filesystem::path prefix = executableFolder.parent_path();
    for (const char* libdir : {KESTRIN_INSTALL_LIBDIR, "lib"}) {
        const std::filesystem::path lib(libdir);
        if (lib.is_absolute()) continue;
        const auto folder = (prefix / lib).lexically_normal();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
#else
    (void)executableFolder;
#endif
    return folders;
}

// Binds the driver in folder when there is one.
bool LoadFromFolder(const std::filesystem::path& folder) {
    const auto candidate = folder / DriverFileName();
    std::error_code ec;
    return std::filesystem::exists(candidate, ec) && LoadAdapterDriverFrom(candidate.string());
}

}  // namespace

bool LoadAdapterDriver() {
    const std::filesystem::path executableFolder = ExecutableFolder();
    if (!executableFolder.empty() && LoadFromFolder(executableFolder)) return true;
#if defined(_WIN32)
    // Keep the current folder out of the DLL search order.
    SetDllDirectoryA("");
    return LoadAdapterDriverFrom(DriverFileName());
#else
    // LD_LIBRARY_PATH first, but only its absolute folders: an empty or relative
    // element would make the loader look in the current working directory.
    bool relativeElement = false;
    if (const char* llp = std::getenv("LD_LIBRARY_PATH")) {
        const std::string s = llp;
        size_t start = 0;
        while (start <= s.size()) {
            size_t end = s.find(':', start);
            if (end == std::string::npos) end = s.size();
            const std::string dir = s.substr(start, end - start);
            if (dir.empty() || dir.front() != '/') {
                relativeElement = true;
            } else if (LoadFromFolder(dir)) {
                return true;
            }
            start = end + 1;
        }
    }
    // Then where cmake --install put the driver beside the program.
    for (const auto& folder : InstalledDriverFolders(executableFolder))
        if (LoadFromFolder(folder)) return true;
    if (!relativeElement) return LoadAdapterDriverFrom(DriverFileName());  // ld.so cache and default folders
    for (const char* dir : {"/usr/local/lib", "/usr/lib/x86_64-linux-gnu", "/usr/lib", "/lib"})
        if (LoadFromFolder(dir)) return true;
    return LoadAdapterDriverFrom("");
#endif
}

}  // namespace kestrin
