// The compressed-stream format of update storages: a stream element may hold
// zlib data behind a 16-byte header; every reader of elements goes through
// Decompress, which inflates such elements and copies all others unchanged.
//
// Header (bytes 0-11 stored XORed with the key byte, all numbers
// little-endian):
//   0  4  magic "SlvZ"
//   4  4  uncompressed size (read unsigned, so up to 4 GiB - 1)
//   8  4  CRC-32 of the uncompressed data
//   12 1  key byte (plain)
//   13 3  not examined (written as zeros)
// followed by one zlib stream (RFC 1950) of the uncompressed data.
#pragma once

#include <cstdint>

#include "storage/Stream.h"
#include "sys/Exception.h"

namespace slv2 {

SLV2_DECLARE_EXCEPTION(EZDeflateError, Exception);

// The magic that marks a compressed element. The publisher's tool writes it
// and every updater in the field expects it: it never changes.
inline constexpr char kZHeaderMagic[4] = {'S', 'l', 'v', 'Z'};
inline constexpr int kZHeaderSize = 16;

struct TgmZHeader {
  uint8_t bytes[kZHeaderSize] = {};  // bytes 0-11 unscrambled

  uint32_t UncompressedSize() const;
  uint32_t Crc() const;
  uint8_t Key() const { return bytes[12]; }
};

// Reads the first 16 bytes of `source`; true when they are a valid header,
// and the source is then positioned after it. A stream that fails to read
// raises its error: taken as uncompressed, a compressed element would be
// installed as its raw bytes once the read succeeds again.
bool ReadHeader(TStream& source, TgmZHeader* header);

// Copies `source` into `destination`, inflating it when it carries the
// header; never raises. A compressed element replaces the destination's
// content from position 0 with the first header's size bytes of the inflated
// data; a zlib stream that yields fewer fails, one that goes on is cut there,
// one that ends there must end with its checksum, and the header's CRC must
// match what was inflated: a damaged element is never taken for a good one,
// whoever reads it. An element without the header is copied whole, from its
// beginning, to the destination's current position. The stated size is never
// trusted for memory or for sizing the destination: after a failure the
// destination holds exactly what was inflated before it.
bool Decompress(TStream& source, TStream& destination);

// Writes the whole of `source`, from its beginning, as a compressed element
// (header and zlib data at `level`) at the destination's position, which
// must be seekable. Returns the number of bytes written. Raises
// EZDeflateError for a source of 4 GiB or more, stream errors otherwise.
int64_t Compress(TStream& source, TStream& destination, int level);

}  // namespace slv2
