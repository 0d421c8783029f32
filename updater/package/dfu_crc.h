// The CRC of the USB DFU 1.1 file suffix: reflected CRC-32, polynomial
// 0x04C11DB7, initial value 0xFFFFFFFF and no final inversion (the parameter
// set known as CRC-32/JAMCRC).
#pragma once

#include <cstddef>
#include <cstdint>

namespace norbix {

// Continues a JAMCRC register over `length` bytes.
std::uint32_t dfuCrcUpdate(std::uint32_t crc, const std::uint8_t* data,
                           std::size_t length);

// The dwCRC value a 65550-byte file must carry: the register after its first
// 65546 bytes.
std::uint32_t computeDfuCrc(const std::uint8_t* file);

// Runs the register over all 65550 bytes, dwCRC included; a file whose dwCRC
// matches leaves the register at 0.
bool checkDfuCrc(const std::uint8_t* file);

}  // namespace norbix
