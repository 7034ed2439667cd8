// Configuration of the virtual adapter: the keys of its INI file, which are
// also the keys of VV_SetOption.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Chip.h"

namespace kestrin::virt {

struct StuckBitSpec {
    chips::Space space;
    uint32_t address;
    unsigned bit;
    bool value;
};

// Exit code of a process ended by power_cut_after_transfers.
constexpr int kPowerCutExitCode = 99;

struct Options {
    std::string chip = "AT89S8252";
    std::vector<std::string> ports = {"COM1"};
    bool unplugged = false;
    bool oldFirmware = false;
    int firmware = 0x21;
    bool realtime = false;
    std::string stateFile;  // may hold "~/" and "{chip}"; empty: no persistence
    bool noTarget = false;
    unsigned answerFromAttempt = 1;
    std::vector<StuckBitSpec> stuckBits;
    // Inverters on the lines between adapter and target.
    bool wireSck = false;
    bool wireMosi = false;
    bool wireMiso = false;
    uint32_t byteTimeUs = 0;  // SPI transfer time of one byte; 0: as the adapter's clock gives it
    // The target's own clock in kHz; an SCK phase of no more than two of its
    // cycles (three from 12 MHz) is too fast: the byte is lost and reads as 0xFF. 0: any clock.
    uint32_t targetKhz = 0;
    // The adapter is pulled out after this many SPI transfers of a
    // connection: later transfers fail (-1) as a lost serial port does. 0: never.
    uint64_t unplugAfterTransfers = 0;
    // The process using the adapter ends at once (_exit) after this many SPI
    // transfers of a connection, as a power loss would end it; the chip's
    // memory is saved first. 0: never.
    uint64_t powerCutAfterTransfers = 0;
    // A production line's chip change: after the adapter's LEDs show an
    // outcome, the chip stays for swapRemoveMs, is gone for swapAbsentMs (the
    // handshake finds nothing), and then a new, erased chip sits in the socket.
    bool chipSwap = false;
    uint32_t swapRemoveMs = 0;
    uint32_t swapAbsentMs = 0;
    // The stuck bits sit in this chip of the sequence only (1 = the first); 0: in every chip.
    unsigned stuckBitChip = 0;
};

// The built-in configuration, with the state file in the user's config folder.
Options DefaultOptions();

// Sets one key; false with a message for an unknown key or a bad value
// (the options stay as they were).
bool SetOption(Options& options, const std::string& key, const std::string& value, std::string& error);

// Reads "key = value" lines ([sections] are ignored, # and ; start comments).
// Returns false when the file cannot be read; bad lines are reported in errors
// and skipped.
bool LoadIniFile(const std::string& path, Options& options, std::vector<std::string>& errors);

// The user's folder for the virtual adapter's files, empty when there is no home.
std::string ConfigFolder();
// The INI file in use: $VELTRO_VIRTUAL_CONFIG, else ConfigFolder()/virtual.ini.
std::string ConfigFilePath();
// The state file path with "~/", "{chip}", "{port}" and "{-port}" resolved;
// empty for no persistence. "{-port}" is nothing for the first port of the
// list and "-<port>" for the others, so the first port keeps the file a
// single-port setup always had and every other port has one of its own.
std::string ResolveStatePath(const std::string& pattern, const std::string& chip, const std::string& port = "",
                             bool firstPort = true);

}  // namespace kestrin::virt
