#include "storage/gmZLibUtil.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "storage/ZInflateStream.h"
#include "sys/Crc32.h"

namespace slv2 {

namespace {

uint32_t LoadLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void StoreLE32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Elements move through blocks of at most this size: large enough that a
// typical file goes in one write and the compound file is read in whole runs
// of sectors, small enough that memory never depends on an element's size.
constexpr int64_t kCopyBlock = 1 << 20;

// A copy buffer for up to `wanted` bytes, left uninitialised: it is always
// filled before it is read, and clearing it would cost as much as the copy.
struct Block {
  explicit Block(int64_t wanted)
      : size(static_cast<int32_t>(std::clamp<int64_t>(wanted, 1, kCopyBlock))),
        data(std::make_unique_for_overwrite<char[]>(static_cast<size_t>(size))) {}
  int32_t size;
  std::unique_ptr<char[]> data;
};

void Scramble(uint8_t* bytes) {
  for (int i = 0; i < 12; ++i)
    bytes[i] ^= bytes[12];
}

// Inflates the element behind a valid header into the emptied destination:
// the `length` bytes of `input` that follow the header, then the source from
// its position.
bool Inflate(TStream& source, const char* input, size_t length, TStream& destination,
             const TgmZHeader& header) {
  destination.SetSize(0);
  destination.SetPosition(0);
  int64_t left = header.UncompressedSize();
  if (left == 0) return header.Crc() == 0;
  TZInflateStream inflater(source, input, length);
  Block buffer(left);
  uint32_t crc = 0xFFFFFFFFu;
  while (left > 0) {
    int32_t got = inflater.Read(buffer.data.get(),
                                static_cast<int32_t>(std::min<int64_t>(left, buffer.size)));
    if (got <= 0) return false;  // the data ended before the stated size
    destination.WriteBuffer(buffer.data.get(), got);
    crc = UpdateCRC32(buffer.data.get(), crc, static_cast<size_t>(got));
    left -= got;
  }
  // Data the zlib stream holds beyond the stated size is not the element's
  // and is left unread (the CRC covers only the stated size). A stream that
  // ends here must end complete, its Adler-32 verified.
  char probe;
  if (inflater.Read(&probe, 1) == 0 && !inflater.Finished()) return false;
  return ~crc == header.Crc();
}

// The first read of an element: enough for a small one whole, and no more
// than a compressed one would have read anyway before inflating.
constexpr int32_t kFirstRead = 65536;

bool IsHeader(TgmZHeader* header) {
  Scramble(header->bytes);
  return std::memcmp(header->bytes, kZHeaderMagic, 4) == 0;
}

// Releases a deflater on every path out of Compress.
struct Deflater {
  z_stream z{};
  explicit Deflater(int level) {
    if (deflateInit(&z, level) != Z_OK) throw EZDeflateError(zError(Z_STREAM_ERROR));
  }
  ~Deflater() { deflateEnd(&z); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;
};

}  // namespace

uint32_t TgmZHeader::UncompressedSize() const {
  return LoadLE32(bytes + 4);
}
uint32_t TgmZHeader::Crc() const {
  return LoadLE32(bytes + 8);
}

bool ReadHeader(TStream& source, TgmZHeader* header) {
  if (source.Size() < kZHeaderSize) return false;
  source.SetPosition(0);
  // The size promised the bytes: fewer is a failed read, not a plain element.
  if (source.Read(header->bytes, kZHeaderSize) != kZHeaderSize) {
    throw EReadError("Stream read error");
  }
  return IsHeader(header);
}

bool Decompress(TStream& source, TStream& destination) {
  try {
    // One read serves for the header and the first bytes of the content.
    int64_t size = source.Size();
    source.SetPosition(0);
    Block buffer(size);
    int32_t got = source.Read(buffer.data.get(), std::min(buffer.size, kFirstRead));
    // The size promised the bytes: fewer is a failed read, not a plain
    // element (taken as one, a compressed element would be installed as its
    // raw bytes once the read succeeds again).
    if (got < 0 || (got < kZHeaderSize && size >= kZHeaderSize)) {
      throw EReadError("Stream read error");
    }
    TgmZHeader header;
    if (got >= kZHeaderSize) {
      std::memcpy(header.bytes, buffer.data.get(), kZHeaderSize);
      if (IsHeader(&header)) {
        return Inflate(source, buffer.data.get() + kZHeaderSize,
                       static_cast<size_t>(got - kZHeaderSize), destination, header);
      }
    }
    while (got > 0) {
      destination.WriteBuffer(buffer.data.get(), got);
      got = source.Read(buffer.data.get(), buffer.size);
      if (got < 0) throw EReadError("Stream read error");
    }
    return true;
  } catch (const std::exception&) {
    return false;  // the contract: damaged data and stream failures are a false result
  }
}

int64_t Compress(TStream& source, TStream& destination, int level) {
  constexpr int64_t kLimit = 0xFFFFFFFF;
  int64_t headerAt = destination.Position();
  uint8_t header[kZHeaderSize] = {};
  destination.WriteBuffer(header, kZHeaderSize);

  Deflater deflater(level);
  std::vector<unsigned char> in(TStream::kCopyBufferSize), out(65536);
  uint32_t crc = 0xFFFFFFFFu;
  int64_t total = 0;
  source.SetPosition(0);
  int flush = Z_NO_FLUSH;
  while (flush != Z_FINISH) {
    int32_t got = source.Read(in.data(), static_cast<int32_t>(in.size()));
    if (got < 0) throw EReadError("Stream read error");
    total += got;
    if (total > kLimit) throw EZDeflateError("The stream is too large to be compressed");
    crc = UpdateCRC32(in.data(), crc, static_cast<size_t>(got));
    flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
    deflater.z.next_in = in.data();
    deflater.z.avail_in = static_cast<uInt>(got);
    int code;
    do {
      deflater.z.next_out = out.data();
      deflater.z.avail_out = static_cast<uInt>(out.size());
      code = deflate(&deflater.z, flush);
      if (code == Z_STREAM_ERROR) throw EZDeflateError(zError(code));
      destination.WriteBuffer(out.data(), static_cast<int32_t>(out.size() - deflater.z.avail_out));
    } while (deflater.z.avail_out == 0 || (flush == Z_FINISH && code != Z_STREAM_END));
  }

  crc = ~crc;
  std::memcpy(header, kZHeaderMagic, 4);
  StoreLE32(header + 4, static_cast<uint32_t>(total));
  StoreLE32(header + 8, crc);
  // Any key serves; one taken from the checksum keeps builds reproducible.
  header[12] = static_cast<uint8_t>(crc ^ crc >> 8 ^ crc >> 16 ^ crc >> 24);
  Scramble(header);
  int64_t end = destination.Position();
  destination.SetPosition(headerAt);
  destination.WriteBuffer(header, kZHeaderSize);
  destination.SetPosition(end);
  return end - headerAt;
}

}  // namespace slv2
