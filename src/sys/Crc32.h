// CRC-32 of ISO-HDLC and zlib (reflected polynomial 0xEDB88320, register
// started at all ones, result inverted). One routine serves the difference
// format and the compressed-stream header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace slv2 {

// The checksum of `length` bytes; 0 for an empty range.
uint32_t CalcCRC32(const void* buffer, size_t length);
// The raw register update, without the initial and final inversion, so that a
// checksum can be carried over several buffers.
uint32_t UpdateCRC32(const void* buffer, uint32_t crc, size_t length);

}  // namespace slv2
