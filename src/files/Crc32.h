// CRC-32 (IEEE 802.3, the one of zip and PNG): how the backup journal and the
// virtual adapter's state file tell a damaged file from a good one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrin {

uint32_t Crc32(const uint8_t* data, std::size_t size);

}  // namespace kestrin
