// The chip's memories on disk, so that what one session writes the next one
// reads back. Layout (little endian): "KVSTATE1", chip name (16 bytes, NUL
// padded), then Flash, E²PROM, fuses and lock bits each as a 32-bit length and
// its bytes, then a CRC-32 of everything before it.
#pragma once

#include <string>

#include "Chip.h"

namespace kestrin::virt {

enum class LoadResult { Loaded, Missing, Damaged };

// Fills the chip from the file. On Missing or Damaged the chip is left alone.
LoadResult LoadState(const std::string& path, chips::Chip& chip);

// Writes the file atomically (temporary file, then rename), creating its
// folder. False with a message when it cannot be written.
bool SaveState(const std::string& path, const chips::Chip& chip, std::string& error);

// A checksum of the memories that the state file keeps, to tell whether a
// save is due.
uint32_t StateChecksum(const chips::Chip& chip);

}  // namespace kestrin::virt
