#include "patch/BlockWriter.h"

#include <algorithm>

#include "patch/DiffFormat.h"
#include "sys/Crc32.h"

namespace slv2::diff {
namespace {

constexpr uint32_t kSinkBuffer = 1 << 16;

void PutField(TByteSink& out, uint32_t value) {
  uint8_t field[4];
  PutU32(field, value);
  out.Put(field, 4);
}

void PutHeader(TByteSink& out, uint32_t sourceLength, BlockKind kind) {
  PutField(out, sourceLength);
  uint8_t k = kind;
  out.Put(&k, 1);
}

uint32_t Pieces(uint32_t length) {
  return (length + kMaxCopyLength - 1) / kMaxCopyLength;
}

// A copy longer than a command takes goes in pieces that end on a fixed grid
// of target positions where that takes no more commands, so that the
// commands of long unchanged stretches come out the same in block after
// block, where the compression finds them again.
template <class Piece>
void SplitCopy(const TCopy& c, Piece piece) {
  uint32_t done = 0;
  uint32_t first = kMaxCopyLength - c.target % kMaxCopyLength;
  if (first < c.length && 1 + Pieces(c.length - first) == Pieces(c.length)) {
    piece(first, c.source, c.target);
    done = first;
  }
  while (done < c.length) {
    uint32_t n = std::min(c.length - done, kMaxCopyLength);
    piece(n, c.source + done, c.target + done);
    done += n;
  }
}

// Commands for the copies, plus the command of length 0 that takes in literal
// bytes after the last copy.
uint64_t CommandCount(uint32_t targetLength, const std::vector<TCopy>& copies) {
  uint64_t count = 0;
  uint32_t end = 0;
  for (const TCopy& c : copies) {
    SplitCopy(c, [&](uint32_t, uint32_t, uint32_t) { ++count; });
    end = c.target + c.length;
  }
  return count + (end < targetLength ? 1 : 0);
}

uint64_t LiteralCount(uint32_t targetLength, const std::vector<TCopy>& copies) {
  uint64_t count = targetLength;
  for (const TCopy& c : copies)
    count -= c.length;
  return count;
}

}  // namespace

TStreamSink::TStreamSink(TStream& stream) : stream_(stream) {
  buffer_.reserve(kSinkBuffer);
}

void TStreamSink::Put(const void* data, uint32_t count) {
  auto* bytes = static_cast<const uint8_t*>(data);
  if (buffer_.size() + count > kSinkBuffer) Flush();
  if (count >= kSinkBuffer) {
    stream_.WriteBuffer(bytes, static_cast<int32_t>(count));
  } else {
    buffer_.insert(buffer_.end(), bytes, bytes + count);
  }
}

void TStreamSink::Flush() {
  stream_.WriteBuffer(buffer_.data(), static_cast<int32_t>(buffer_.size()));
  buffer_.clear();
}

void WriteStoredBlock(TByteSink& out, uint32_t sourceLength, const uint8_t* data, uint32_t length) {
  PutHeader(out, sourceLength, kStoredBlock);
  PutField(out, length);
  PutField(out, CalcCRC32(data, length));
  out.Put(data, length);
}

void WriteSkipBlock(TByteSink& out, const uint8_t* source, uint32_t length) {
  PutHeader(out, length, kDeltaBlock);
  PutField(out, 0);  // the CRC of the empty chunk it rebuilds
  PutField(out, CalcCRC32(source, length));
  PutField(out, 0);
  PutField(out, 0);
}

void WriteDeltaBlock(TByteSink& out, const uint8_t* source, uint32_t sourceLength,
                     const uint8_t* target, uint32_t targetLength,
                     const std::vector<TCopy>& copies) {
  PutHeader(out, sourceLength, kDeltaBlock);
  PutField(out, CalcCRC32(target, targetLength));
  PutField(out, CalcCRC32(source, sourceLength));
  PutField(out, static_cast<uint32_t>(LiteralCount(targetLength, copies)));
  PutField(out, static_cast<uint32_t>(CommandCount(targetLength, copies) * kCommandSize));
  uint32_t at = 0;
  for (const TCopy& c : copies) {
    out.Put(target + at, c.target - at);
    at = c.target + c.length;
  }
  out.Put(target + at, targetLength - at);

  uint8_t command[kCommandSize];
  auto put = [&](uint32_t length, uint32_t sourceOffset, uint32_t targetOffset) {
    PutU16(command, static_cast<uint16_t>(length));
    PutU32(command + 2, sourceOffset + 1);
    PutU32(command + 6, targetOffset + 1);
    out.Put(command, kCommandSize);
  };
  for (const TCopy& c : copies)
    SplitCopy(c, put);
  if (at < targetLength) put(0, 0, targetLength);
}

void WriteEndBlock(TByteSink& out) {
  PutHeader(out, 0, kStoredBlock);
  PutField(out, 0);
}

uint64_t DeltaBlockSize(uint32_t targetLength, const std::vector<TCopy>& copies) {
  return kDeltaHeaderSize + LiteralCount(targetLength, copies) +
         CommandCount(targetLength, copies) * kCommandSize;
}

}  // namespace slv2::diff
